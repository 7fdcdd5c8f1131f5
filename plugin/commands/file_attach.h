// Files copied or moved onto the panel are attached to a link. PutFiles hands its calls here
// unchanged.
#ifndef BSOPANEL_COMMANDS_FILE_ATTACH_H
#define BSOPANEL_COMMANDS_FILE_ATTACH_H

#include "plugin_api.h"
#include "shell/browser.h"

// 1 when the dialog was confirmed and every item was processed, 0 when nothing was written.
int AttachFiles(BSOBrowser *Browser, PluginPanelItem *PanelItem, int ItemsNumber, int Move,
                int OpMode);

#endif
