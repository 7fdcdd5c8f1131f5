#include "settings/config_dialog.h"

#include "common/helpers.h"
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
    size_t length = FittingLength(Text, SettingsTextLimit - 1);
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

    for (const SettingRow &row : SettingRows) {
        FarDialogItem &item = items[row.DialogItem];
        int number =
            row.Kind == TextSetting || row.Kind == PathSetting ? 0 : *SettingNumber(&Settings, row);
        switch (row.Kind) {
        case FlagSetting:
            item.Selected = number;
            break;
        case DigitSetting:
        case NumberSetting:
            if (number != 0 || row.Kind == NumberSetting)
                snprintf(item.Data, sizeof(item.Data), "%d", number);
            break;
        case FlavorSetting:
            // Kept in range at load; reducing again keeps one button of the group on whatever
            // the record holds.
            items[row.DialogItem + static_cast<unsigned>(number) % static_cast<unsigned>(row.Limit)]
                .Selected = 1;
            break;
        case TextSetting:
        case PathSetting:
            snprintf(item.Data, sizeof(item.Data), "%s", SettingText(&Settings, row));
            break;
        }
    }

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

    for (const SettingRow &row : SettingRows) {
        const FarDialogItem &item = items[row.DialogItem];
        int *number = row.Kind == TextSetting || row.Kind == PathSetting
                          ? nullptr
                          : SettingNumber(&Settings, row);
        switch (row.Kind) {
        case FlagSetting:
            *number = item.Selected;
            break;
        case DigitSetting:
        case NumberSetting:
            *number = ReadNumberField(item.Data);
            break;
        case FlavorSetting:
            *number = SelectedPosition(&item, row.Limit, *number);
            break;
        case TextSetting:
        case PathSetting: {
            char(&text)[256] = *reinterpret_cast<char(*)[256]>(SettingText(&Settings, row));
            TakeSettingsText(text, item.Data);
            if (row.Kind == PathSetting) StripTrailingBackslash(text);
            break;
        }
        }
    }
    SaveSettings();
    return 1;
}
