// The configuration dialog: all eleven settings in one box, saved together when accepted.
#ifndef BSOPANEL_SETTINGS_CONFIG_DIALOG_H
#define BSOPANEL_SETTINGS_CONFIG_DIALOG_H

#include "shell/messages.h"

// Items of the dialog that the code fills and reads back.
enum ConfigDialogItem {
    ConfigAddToDisksMenu = 1,
    ConfigDisksMenuDigit = 2,
    ConfigPathToOutbound = 6,
    ConfigAddress = 8,
    ConfigLinksPanelMode = 13,
    ConfigFilesPanelMode = 15,
    ConfigNoChangePanelMode = 16,
    ConfigAutoRefresh = 17,
    ConfigFirstPollFlavor = 19,   // four buttons: immediate, crash, direct, normal
    ConfigFirstAttachFlavor = 24, // five buttons: the same and hold
    ConfigOk = 30,
    ConfigOldEmptyBundleDays = 33,
    ConfigItemCount = 34
};

extern const DialogTemplateItem ConfigDialogTemplate[ConfigItemCount];

// Returns 1 when the user accepted and the settings were saved, 0 otherwise (nothing changes).
int ShowConfigDialog();

#endif
