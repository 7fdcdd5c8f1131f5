// The panel keys the plugin takes over, each running an outbound command. ProcessKey hands its
// calls here unchanged.
#ifndef BSOPANEL_COMMANDS_KEY_DISPATCH_H
#define BSOPANEL_COMMANDS_KEY_DISPATCH_H

#include "shell/browser.h"

// 1 when the key ran a command (the panel is then updated and redrawn, whatever the command
// did), 0 to leave the key to the host.
int DispatchKey(BSOBrowser *Browser, int Key, unsigned int ControlState);

#endif
