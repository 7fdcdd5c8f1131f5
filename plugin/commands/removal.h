// The removal inside a link: after a question, the lines that name the chosen files leave the
// link's flow files. The files themselves stay on disk, untouched.
#ifndef BSOPANEL_COMMANDS_REMOVAL_H
#define BSOPANEL_COMMANDS_REMOVAL_H

#include "shell/browser.h"

// Works on the selected items, or on the current item when none is selected.
void RemoveFromOutbound(BSOBrowser *Browser);

// F8 in a link, instead of the host's own delete (which would leave the flow lines naming the
// files it deleted): asks whether to take the files out of the queue only (the first, safe
// answer) or also delete them. Under the link's busy flag each file's lines go first; the file
// is deleted only after, and only when no flow file of the link still names it. Rows that are
// no queued file are handled as the removal handles them.
void DeleteFromQueue(BSOBrowser *Browser);

#endif
