#include "settings/config_dialog.h"

#include "common/helpers.h"
#include "settings/settings.h"
#include "shell/host.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Columns and widths of the dialog's items.
const int ConfigLeft = 5, ConfigRight = 70, ConfigGroupWidth = 23;
const int ConfigNarrowField = 5; // a count's field
const int ConfigFieldLimit = 44; // fields start no further right, so that a text has room

// Items a row takes: a check box; a label and its field; a label and its buttons.
static int RowItemCount(const SettingRow &Row) {
    if (Row.Kind == FlagSetting) return 1;
    if (Row.Kind == FlavorSetting) return 1 + Row.Limit;
    return 2;
}

// Columns a label takes on screen: a hot key's "&" takes none, and off Windows, where texts are
// UTF-8, a character's continuation bytes none either.
static int LabelWidth(const char *Text) {
    int width = 0;
    for (const char *c = Text; *c; ++c) {
        if (*c == '&') continue;
#ifndef _WIN32
        if ((static_cast<unsigned char>(*c) & 0xC0) == 0x80) continue;
#endif
        ++width;
    }
    return width;
}

// Columns a compact row takes: a view mode's label, a blank and its digit, and a gap of two;
// or a check box ("[ ] " and its label).
static int CompactWidth(const SettingRow &Row) {
    return LabelWidth(GetMessageText(Row.LabelId)) + 4;
}

// A view mode's label with its digit right behind it, at X; returns where the line goes on.
static int PlaceCompact(DialogTemplateItem *Items, int *Count, int X, int Y,
                        const SettingRow &Row) {
    int field = X + LabelWidth(GetMessageText(Row.LabelId)) + 1;
    Items[(*Count)++] = DialogText(X, Y, field - 2, Row.LabelId);
    Items[(*Count)++] = DialogDigitField(field, Y, Y);
    return field + 3;
}

void BuildConfigDialog(ConfigDialogLayout *Layout) {
    int fieldColumn = ConfigLeft;
    for (const SettingRow &row : SettingRows)
        if (row.Kind != FlagSetting && row.Kind != FlavorSetting && row.Kind != NumberSetting) {
            int column = ConfigLeft + LabelWidth(GetMessageText(row.LabelId)) + 1;
            if (column > fieldColumn) fieldColumn = column;
        }
    if (fieldColumn > ConfigFieldLimit) fieldColumn = ConfigFieldLimit;

    DialogTemplateItem *items = Layout->Items;
    int count = 1; // the frame comes first, once its height is known
    int y = 2;
    int groupTop = 0, groupColumn = 0, groupBottom = 0; // the radio groups side by side
    bool focused = false;
    int lineEnd = 0; // where a line of view modes goes on; 0 when the last row was none
    for (const SettingRow &row : SettingRows) {
        if (row.Kind == FlavorSetting) {
            if (groupColumn == 0 || ConfigLeft + (groupColumn + 1) * ConfigGroupWidth > ConfigRight)
                groupTop = y, groupColumn = 0;
            int x = ConfigLeft + groupColumn * ConfigGroupWidth;
            int right = x + ConfigGroupWidth - 2;
            items[count++] = DialogText(x, groupTop, right, row.LabelId);
            for (int i = 0; i < row.Limit; ++i)
                items[count++] =
                    DialogRadioButton(x, groupTop + 1 + i, right, MsgFlavorImmediate + i, i == 0);
            if (groupTop + 1 + row.Limit > groupBottom) groupBottom = groupTop + 1 + row.Limit;
            ++groupColumn;
            y = groupBottom;
        } else if (lineEnd && (row.Kind == NumberSetting || row.Kind == FlagSetting) &&
                   lineEnd + CompactWidth(row) <= ConfigRight) {
            // The view modes and the check box after them share the line before.
            if (row.Kind == FlagSetting) {
                items[count++] = DialogCheckBox(lineEnd, y - 1, ConfigRight, row.LabelId);
                lineEnd = 0;
            } else {
                lineEnd = PlaceCompact(items, &count, lineEnd, y - 1, row);
            }
        } else {
            groupColumn = 0;
            groupBottom = 0;
            lineEnd = 0;
            if (row.Kind == NumberSetting) {
                lineEnd = PlaceCompact(items, &count, ConfigLeft, y, row);
            } else if (row.Kind == FlagSetting) {
                items[count++] = DialogCheckBox(ConfigLeft, y, ConfigRight, row.LabelId);
            } else {
                items[count++] = DialogText(ConfigLeft, y, fieldColumn - 2, row.LabelId);
                if (row.Kind == DigitSetting || row.Kind == NumberSetting)
                    items[count++] = DialogDigitField(fieldColumn, y, y);
                else if (row.Kind == CountSetting)
                    items[count++] = DialogEdit(fieldColumn, y, fieldColumn + ConfigNarrowField);
                else
                    items[count++] = DialogEdit(fieldColumn, y, ConfigRight);
            }
            ++y;
        }
        if (!focused) {
            items[count - RowItemCount(row) + (row.Kind == FlagSetting ? 0 : 1)].Focus = 1;
            focused = true;
        }
    }
    items[count++] = DialogSeparator(ConfigLeft, y);
    Layout->Ok = count;
    items[count++] = DialogButton(y + 1, MsgOk, true);
    items[count++] = DialogButton(y + 1, MsgCancel, false);
    items[0] = DialogFrame(ConfigLeft - 2, 1, ConfigRight + 2, y + 2, MsgConfigTitle);
    Layout->Count = count;
    Layout->Width = ConfigRight + 6;
    Layout->Height = y + 4;
}

int ConfigOkItem() {
    int item = 1;
    for (const SettingRow &row : SettingRows) item += RowItemCount(row);
    return item + 1;
}

int ConfigItem(const char *Name) {
    int item = 1;
    for (const SettingRow &row : SettingRows) {
        if (strcmp(row.Name, Name) == 0) return row.Kind == FlagSetting ? item : item + 1;
        item += RowItemCount(row);
    }
    return -1;
}

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
    ConfigDialogLayout layout;
    BuildConfigDialog(&layout);
    FarDialogItem items[ConfigMaxItems];
    ExpandDialogTemplate(layout.Items, items, layout.Count);

    for (const SettingRow &row : SettingRows) {
        int shown = ConfigItem(row.Name);
        FarDialogItem &item = items[shown];
        int number =
            row.Kind == TextSetting || row.Kind == PathSetting ? 0 : *SettingNumber(&Settings, row);
        switch (row.Kind) {
        case FlagSetting:
            item.Selected = number;
            break;
        case DigitSetting:
        case NumberSetting:
        case CountSetting:
            if (number != 0 || row.Kind != DigitSetting)
                snprintf(item.Data, sizeof(item.Data), "%d", number);
            break;
        case FlavorSetting:
            // Kept in range at load; reducing again keeps one button of the group on whatever
            // the record holds.
            items[shown + static_cast<unsigned>(number) % static_cast<unsigned>(row.Limit)]
                .Selected = 1;
            break;
        case TextSetting:
        case PathSetting:
            snprintf(item.Data, sizeof(item.Data), "%s", SettingText(&Settings, row));
            break;
        }
    }

    int addressItem = ConfigItem("Address");
    // An own address that does not parse would make every link's path wrong: the dialog comes
    // back, with everything as typed, until it parses or the user cancels.
    for (;;) {
        int result = HostInfo.Dialog(HostInfo.ModuleNumber, -1, -1, layout.Width, layout.Height,
                                     "BSOCfg", items, layout.Count);
        if (result != layout.Ok) return 0;
        for (int i = 0; i < layout.Count; ++i) items[i].Data[sizeof(items[i].Data) - 1] = 0;
        char address[sizeof(Settings.Address)];
        TakeSettingsText(address, items[addressItem].Data);
        FtnAddress parsed;
        if (ParseAddress(&parsed, address, nullptr)) break;
        const char *lines[] = {GetMessageText(MsgConfigTitle), GetMessageText(MsgBadAddress),
                               items[addressItem].Data, GetMessageText(MsgAddressForm),
                               GetMessageText(MsgOk)};
        HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, lines, 5, 1);
    }

    for (const SettingRow &row : SettingRows) {
        const FarDialogItem &item = items[ConfigItem(row.Name)];
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
        case CountSetting:
            // Negative numbers mean nothing here: no mark, and a flag stale at once.
            *number = ReadNumberField(item.Data);
            if (*number < 0) *number = 0;
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
