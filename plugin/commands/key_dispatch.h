// The panel keys the plugin takes over, each running an outbound command, in one table with
// their key bar labels. ProcessKey hands its calls here unchanged; GetOpenPluginInfo takes the
// key bar from here.
#ifndef BSOPANEL_COMMANDS_KEY_DISPATCH_H
#define BSOPANEL_COMMANDS_KEY_DISPATCH_H

#include "plugin_api.h"
#include "shell/browser.h"

// 1 when the key ran a command (the panel is then updated and redrawn, whatever the command
// did), 0 to leave the key to the host.
int DispatchKey(BSOBrowser *Browser, int Key, unsigned int ControlState);

// The key bar of the view Browser shows, filled from the key table: process-wide storage the
// host reads until it asks again, its texts fetched anew on every call.
KeyBarTitles *PanelKeyBar(const BSOBrowser *Browser);

#endif
