// The removal inside a link: after a question, the lines that name the chosen files leave the
// link's flow files. The files themselves stay on disk, untouched.
#ifndef BSOPANEL_COMMANDS_REMOVAL_H
#define BSOPANEL_COMMANDS_REMOVAL_H

#include "shell/browser.h"

// Works on the selected items, or on the current item when none is selected.
void RemoveFromOutbound(BSOBrowser *Browser);

#endif
