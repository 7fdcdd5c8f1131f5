#include "shell/messages.h"

#include "common/helpers.h"
#include "shell/host.h"

#include <string.h>

const char EmptyTemplateText[] = "";
const char AddressHistoryName[] = "FAtt.ToAddr";

const char *GetMessageText(int Id) {
    // A host without the text (a short language file) must not crash every caller.
    const char *text = HostInfo.GetMsg ? HostInfo.GetMsg(HostInfo.ModuleNumber, Id) : nullptr;
    return text ? text : "";
}

// Copies Text into a 512-byte item text. A longer text is cut at 511 bytes; where texts are
// UTF-8 (POSIX) the cut goes back to a character boundary so no half character is left.
static void CopyItemText(char (&Target)[512], const char *Text) {
    size_t length = FittingLength(Text, sizeof(Target) - 1);
    memcpy(Target, Text, length);
    Target[length] = 0;
}

// Where the hot-key mark of a label is ("&x"; "&&" is a plain '&'), or null.
static char *HotKeyMark(char *Text) {
    for (char *c = Text; *c; ++c)
        if (c[0] == '&') {
            if (c[1] == '&')
                ++c;
            else if (c[1])
                return c;
        }
    return nullptr;
}

// The hot key's character: its bytes (a UTF-8 sequence off Windows), ASCII letters in upper
// case, so that two labels' keys compare.
static void HotKeyOf(const char *Mark, char (&Key)[5]) {
    size_t length = 1;
#ifndef _WIN32
    while (length < 4 && (static_cast<unsigned char>(Mark[1 + length]) & 0xC0) == 0x80) ++length;
#endif
    memcpy(Key, Mark + 1, length);
    Key[length] = '\0';
    if (Key[0] >= 'a' && Key[0] <= 'z') Key[0] = static_cast<char>(Key[0] - 'a' + 'A');
}

// The hot-key mark of a label the host draws with hot keys, or null.
static char *LabelHotKeyMark(FarDialogItem &Item) {
    int type = Item.Type;
    bool label =
        type == DI_TEXT || type == DI_CHECKBOX || type == DI_RADIOBUTTON || type == DI_BUTTON;
    return label && !(Item.Flags & DIF_SHOWAMPERSAND) ? HotKeyMark(Item.Data) : nullptr;
}

// The host searches hot keys from the first item: a later label with a key taken already
// could never be reached by it, so it shows without one (the cursor still reaches it).
static void DropRepeatedHotKeys(FarDialogItem *Items, int Count) {
    for (int i = 1; i < Count; ++i) {
        char *mark = LabelHotKeyMark(Items[i]);
        if (!mark) continue;
        char key[5], other[5];
        HotKeyOf(mark, key);
        for (int j = 0; j < i; ++j) {
            char *earlier = LabelHotKeyMark(Items[j]);
            if (!earlier) continue;
            HotKeyOf(earlier, other);
            if (strcmp(key, other) == 0) {
                memmove(mark, mark + 1, strlen(mark));
                break;
            }
        }
    }
}

void ExpandDialogTemplate(const DialogTemplateItem *Templates, FarDialogItem *Items, int Count) {
    for (int i = 0; i < Count; ++i) {
        const DialogTemplateItem &from = Templates[i];
        FarDialogItem &to = Items[i];
        to.Type = from.Type;
        to.X1 = from.X1;
        to.Y1 = from.Y1;
        to.X2 = from.X2;
        to.Y2 = from.Y2;
        to.Focus = from.Focus;
        if (from.Flags & DIF_HISTORY)
            to.History = reinterpret_cast<const char *>(from.Selected);
        else
            to.Selected = static_cast<int>(from.Selected);
        to.Flags = from.Flags;
        to.DefaultButton = from.DefaultButton;
        const char *text = from.Data < FirstTextReference
                               ? GetMessageText(static_cast<int>(from.Data))
                               : reinterpret_cast<const char *>(from.Data);
        CopyItemText(to.Data, text);
    }
    DropRepeatedHotKeys(Items, Count);
}

static uintptr_t TextReference(const char *Text) {
    return reinterpret_cast<uintptr_t>(Text);
}

static DialogTemplateItem MakeItem(int Type, int X1, int Y1, int X2, int Y2, uintptr_t Data) {
    DialogTemplateItem item = {};
    item.Type = static_cast<uint8_t>(Type);
    item.X1 = static_cast<uint8_t>(X1);
    item.Y1 = static_cast<uint8_t>(Y1);
    item.X2 = static_cast<uint8_t>(X2);
    item.Y2 = static_cast<uint8_t>(Y2);
    item.Data = Data;
    return item;
}

DialogTemplateItem DialogFrame(int X1, int Y1, int X2, int Y2, int TitleId) {
    return MakeItem(DI_DOUBLEBOX, X1, Y1, X2, Y2, static_cast<uintptr_t>(TitleId));
}

DialogTemplateItem DialogText(int X1, int Y, int X2, int TextId) {
    return MakeItem(DI_TEXT, X1, Y, X2, 0, static_cast<uintptr_t>(TextId));
}

DialogTemplateItem DialogSeparator(int X1, int Y) {
    DialogTemplateItem item = MakeItem(DI_TEXT, X1, Y, 0, 0, TextReference(EmptyTemplateText));
    item.Flags = DIF_BOXCOLOR | DIF_SEPARATOR;
    return item;
}

DialogTemplateItem DialogEdit(int X1, int Y, int X2) {
    return MakeItem(DI_EDIT, X1, Y, X2, 0, TextReference(EmptyTemplateText));
}

DialogTemplateItem DialogDigitField(int X, int Y, int Y2) {
    return MakeItem(DI_FIXEDIT, X, Y, X, Y2, TextReference(EmptyTemplateText));
}

DialogTemplateItem DialogAddressField(int Y) {
    DialogTemplateItem item = Focused(DialogEdit(5, Y, 40));
    item.Flags = DIF_HISTORY;
    item.Selected = TextReference(AddressHistoryName);
    return item;
}

DialogTemplateItem DialogCheckBox(int X1, int Y, int X2, int TextId) {
    return MakeItem(DI_CHECKBOX, X1, Y, X2, 0, static_cast<uintptr_t>(TextId));
}

DialogTemplateItem DialogRadioButton(int X1, int Y, int X2, int TextId, bool First) {
    DialogTemplateItem item =
        MakeItem(DI_RADIOBUTTON, X1, Y, X2, 0, static_cast<uintptr_t>(TextId));
    if (First) item.Flags = DIF_GROUP;
    return item;
}

DialogTemplateItem DialogButton(int Y, int TextId, bool IsDefault) {
    DialogTemplateItem item = MakeItem(DI_BUTTON, 0, Y, 0, 0, static_cast<uintptr_t>(TextId));
    item.Flags = DIF_CENTERGROUP;
    item.DefaultButton = IsDefault ? 1 : 0;
    return item;
}

DialogTemplateItem ShowingData(DialogTemplateItem Item) {
    Item.Flags |= DIF_SHOWAMPERSAND;
    return Item;
}

DialogTemplateItem Focused(DialogTemplateItem Item) {
    Item.Focus = 1;
    return Item;
}
