// Files copied or moved onto the panel are attached to a link: one line per file is appended
// to the link's flow file of the chosen flavor; the files stay where they are. PutFiles hands
// its calls here unchanged.
#ifndef BSOPANEL_COMMANDS_FILE_ATTACH_H
#define BSOPANEL_COMMANDS_FILE_ATTACH_H

#include "plugin_api.h"
#include "shell/browser.h"
#include "shell/messages.h"

enum AttachDialogItem {
    AttachAddress = 2,
    AttachFirstFlavor = 4, // five buttons: immediate, crash, direct, normal, hold
    AttachDeleteAfterSending = 9,
    AttachOk = 11,
    AttachItemCount = 13
};

extern const DialogTemplateItem AttachDialogTemplate[AttachItemCount];

// 1 when at least one file was attached, 0 when nothing was: the dialog cancelled, an address
// that does not parse, a busy link not confirmed, every file refused with a warning, a flow
// file that could not be written (its box names it and the system's reason). With OPM_SILENT
// in OpMode the address cannot be changed.
int AttachFiles(BSOBrowser *Browser, PluginPanelItem *PanelItem, int ItemsNumber, int Move,
                int OpMode);

#endif
