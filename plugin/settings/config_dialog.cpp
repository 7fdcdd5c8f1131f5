#include "settings/config_dialog.h"

#include "settings/settings.h"
#include "shell/host.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const DialogTemplateItem ConfigDialogTemplate[ConfigItemCount] = {
    DialogFrame(3, 1, 72, 16, MsgConfigTitle),
    DialogCheckBox(5, 2, 0, MsgConfigAddToDisksMenu),
    Focused(DialogDigitField(6, 3, 3)),
    DialogText(9, 3, 0, MsgConfigDisksMenuDigit),
    DialogSeparator(5, 4),
    DialogText(5, 5, 29, MsgConfigOutboundPath),
    DialogEdit(27, 5, 70),
    DialogText(5, 6, 29, MsgConfigAddress),
    DialogEdit(27, 6, 70),
    DialogSeparator(5, 7),
    DialogText(5, 7, 0, MsgConfigModesAndFlavors),
    DialogText(5, 8, 0, MsgConfigViewModes),
    DialogText(9, 9, 26, MsgConfigLinksMode),
    DialogDigitField(6, 9, 0),
    DialogText(9, 10, 26, MsgConfigFilesMode),
    DialogDigitField(6, 10, 0),
    DialogCheckBox(5, 11, 26, MsgConfigNoChangeMode),
    DialogCheckBox(5, 13, 26, MsgConfigAutoRefresh),
    DialogText(27, 8, 49, MsgConfigPollFlavor),
    DialogRadioButton(27, 9, 49, MsgFlavorImmediate, true),
    DialogRadioButton(27, 10, 49, MsgFlavorCrash, false),
    DialogRadioButton(27, 11, 49, MsgFlavorDirect, false),
    DialogRadioButton(27, 12, 49, MsgFlavorNormal, false),
    DialogText(50, 8, 70, MsgConfigAttachFlavor),
    DialogRadioButton(50, 9, 70, MsgFlavorImmediate, true),
    DialogRadioButton(50, 10, 70, MsgFlavorCrash, false),
    DialogRadioButton(50, 11, 70, MsgFlavorDirect, false),
    DialogRadioButton(50, 12, 70, MsgFlavorNormal, false),
    DialogRadioButton(50, 13, 70, MsgFlavorHold, false),
    DialogSeparator(5, 14),
    DialogButton(15, MsgOk, true),
    DialogButton(15, MsgCancel, false),
    DialogText(9, 12, 25, MsgConfigOldEmptyDays),
    DialogEdit(5, 12, 7),
};

// A digit field read the way strtol reads it (blanks, sign, digits up to the first other
// character); no digits give 0, and a number beyond an int is held at the int's limit.
static int ReadNumberField(const char *Text) {
    long value = strtol(Text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// Copies an edit field into a settings text, cut so that the registry value reads back.
static void TakeSettingsText(char (&Target)[256], const char *Text) {
    size_t length = strlen(Text);
    if (length > SettingsTextLimit - 1) {
        length = SettingsTextLimit - 1;
#ifndef _WIN32
        // UTF-8 on POSIX: cut on a character boundary.
        while (length > 0 && (static_cast<unsigned char>(Text[length]) & 0xC0) == 0x80) --length;
#endif
    }
    memcpy(Target, Text, length);
    Target[length] = 0;
}

// Position of the first selected button of a radio group, or Current when none is.
static int SelectedPosition(const FarDialogItem *First, int Count, int Current) {
    for (int i = 0; i < Count; ++i)
        if (First[i].Selected) return i;
    return Current;
}

int ShowConfigDialog() {
    DialogTemplateItem templates[ConfigItemCount];
    memcpy(templates, ConfigDialogTemplate, sizeof(templates));
    FarDialogItem items[ConfigItemCount];
    ExpandDialogTemplate(templates, items, ConfigItemCount);

    items[ConfigAddToDisksMenu].Selected = Settings.AddToDisksMenu;
    items[ConfigNoChangePanelMode].Selected = Settings.NoChangePanelMode;
    items[ConfigAutoRefresh].Selected = Settings.AutoRefresh;
    if (Settings.DisksMenuDigit != 0)
        snprintf(items[ConfigDisksMenuDigit].Data, sizeof(items[0].Data), "%d",
                 Settings.DisksMenuDigit);
    snprintf(items[ConfigLinksPanelMode].Data, sizeof(items[0].Data), "%d",
             Settings.LinksPanelMode);
    snprintf(items[ConfigFilesPanelMode].Data, sizeof(items[0].Data), "%d",
             Settings.FilesPanelMode);
    snprintf(items[ConfigPathToOutbound].Data, sizeof(items[0].Data), "%s",
             Settings.PathToOutbound);
    snprintf(items[ConfigAddress].Data, sizeof(items[0].Data), "%s", Settings.Address);
    snprintf(items[ConfigOldEmptyBundleDays].Data, sizeof(items[0].Data), "%d",
             Settings.OldEmptyBundleDays);
    // The flavors are kept in range at load; reducing again keeps one button of each group on
    // whatever the record holds.
    items[ConfigFirstPollFlavor + static_cast<unsigned>(Settings.PollFlavor) % 4].Selected = 1;
    items[ConfigFirstAttachFlavor + static_cast<unsigned>(Settings.AttachFlavor) % 5].Selected = 1;

    // An own address that does not parse would make every link's path wrong: the dialog comes
    // back, with everything as typed, until it parses or the user cancels.
    for (;;) {
        int result = HostInfo.Dialog(HostInfo.ModuleNumber, -1, -1, 76, 18, "BSOCfg", items,
                                     ConfigItemCount);
        if (result != ConfigOk) return 0;
        for (FarDialogItem &item : items) item.Data[sizeof(item.Data) - 1] = 0;
        char address[sizeof(Settings.Address)];
        TakeSettingsText(address, items[ConfigAddress].Data);
        FtnAddress parsed;
        if (ParseAddress(&parsed, address, nullptr)) break;
        const char *lines[] = {GetMessageText(MsgConfigTitle), GetMessageText(MsgBadAddress),
                               items[ConfigAddress].Data, GetMessageText(MsgAddressForm),
                               GetMessageText(MsgOk)};
        HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, lines, 5, 1);
    }

    Settings.AddToDisksMenu = items[ConfigAddToDisksMenu].Selected;
    Settings.NoChangePanelMode = items[ConfigNoChangePanelMode].Selected;
    Settings.AutoRefresh = items[ConfigAutoRefresh].Selected;
    Settings.DisksMenuDigit = ReadNumberField(items[ConfigDisksMenuDigit].Data);
    Settings.LinksPanelMode = ReadNumberField(items[ConfigLinksPanelMode].Data);
    Settings.FilesPanelMode = ReadNumberField(items[ConfigFilesPanelMode].Data);
    TakeSettingsText(Settings.PathToOutbound, items[ConfigPathToOutbound].Data);
    StripTrailingBackslash(Settings.PathToOutbound);
    Settings.PollFlavor = SelectedPosition(&items[ConfigFirstPollFlavor], 4, Settings.PollFlavor);
    Settings.AttachFlavor =
        SelectedPosition(&items[ConfigFirstAttachFlavor], 5, Settings.AttachFlavor);
    TakeSettingsText(Settings.Address, items[ConfigAddress].Data);
    int days = ReadNumberField(items[ConfigOldEmptyBundleDays].Data);
    Settings.OldEmptyBundleDays = days < 0 ? 0 : days;
    SaveSettings();
    return 1;
}
