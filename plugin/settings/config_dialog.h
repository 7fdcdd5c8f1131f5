// The configuration dialog: every setting in one box, saved together when accepted. Its items
// come from the settings table, a row at a time, so that a new setting is one row there.
#ifndef BSOPANEL_SETTINGS_CONFIG_DIALOG_H
#define BSOPANEL_SETTINGS_CONFIG_DIALOG_H

#include "settings/settings.h"
#include "shell/messages.h"

// The most items the dialog can have: the frame, a label and up to five radio buttons per
// setting, the separator and the two buttons.
const int ConfigMaxItems = 1 + SettingCount * (1 + FlavorCount) + 3;

// The dialog as the table lays it out, top down in the table's order: a check box, a label
// with its field beside it, or a label with a radio group under it; radio groups that follow
// one another stand side by side. Fields line up after the longest label.
struct ConfigDialogLayout {
    DialogTemplateItem Items[ConfigMaxItems];
    int Count;
    int Ok; // the OK button; Cancel follows it
    int Width, Height;
};
void BuildConfigDialog(ConfigDialogLayout *Layout);

// The item that shows the setting with the registry name Name (its check box, its field or the
// first button of its group); -1 for no such setting.
int ConfigItem(const char *Name);

// The OK button: the item after the frame, every setting's items and the separator.
int ConfigOkItem();

// Returns 1 when the user accepted and the settings were saved, 0 otherwise (nothing changes).
int ShowConfigDialog();

#endif
