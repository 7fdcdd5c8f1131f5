#include "shell/panel_row.h"

#include "shell/box_text.h"
#include "shell/browser.h"
#include "shell/host.h"
#include "shell/messages.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

DWORD RowNumberOf(int Index) {
    return static_cast<DWORD>(Index) + 1;
}

// A link's own file is named by its base path and an extension of four bytes ("....FLO").
static void CopyOwnExtension(const char *Name, char (&Extension)[5]) {
    size_t length = strlen(Name);
    Extension[0] = 0;
    if (length > 4 && Name[length - 4] == '.') memcpy(Extension, Name + length - 4, 5);
}

// The link rows' names, each with its terminating zero, after the rows of the same block.
static char *LinkRowNames(const BSOBrowser *Browser) {
    return reinterpret_cast<char *>(Browser->Rows + Browser->EntryCount);
}

bool FillPanelRows(BSOBrowser *Browser, const FtnAddress *Link) {
    FreePanelRows(Browser);
    if (Browser->EntryCount <= 0) return true;
    size_t names = 0;
    if (!Link)
        for (int i = 0; i < Browser->EntryCount; ++i) names += strlen(Browser->Entries[i].Name) + 1;
    PanelRow *rows = static_cast<PanelRow *>(
        malloc(static_cast<size_t>(Browser->EntryCount) * sizeof(PanelRow) + names));
    if (!rows) return false;
    Browser->Rows = rows;
    char *name = LinkRowNames(Browser);
    for (int i = 0; i < Browser->EntryCount; ++i) {
        const OutboundEntry &entry = Browser->Entries[i];
        PanelRow &row = rows[i];
        row.Extension[0] = 0;
        row.NameAt = 0;
        row.NameLength = 0;
        if (!Link) {
            row.Kind = LinkRow;
            row.Link = entry.Link;
            size_t length = strlen(entry.Name);
            row.NameAt = static_cast<unsigned>(name - LinkRowNames(Browser));
            row.NameLength = static_cast<unsigned short>(length);
            memcpy(name, entry.Name, length);
            name[length] = 0;
            name += length + 1;
            continue;
        }
        row.Link = *Link;
        if (entry.SourceText) {
            // A byte at a time: four letters and a dot, once a row of thousands.
            row.Kind = QueuedFileRow;
            const char *source = entry.SourceText;
            size_t length = 0;
            while (length < sizeof(row.Extension) && source[length]) ++length;
            if (length < sizeof(row.Extension))
                for (size_t i = 0; i <= length; ++i) row.Extension[i] = source[i];
        } else {
            row.Kind = LinkFileRow;
            CopyOwnExtension(entry.Name, row.Extension);
        }
    }
    return true;
}

void FreePanelRows(BSOBrowser *Browser) {
    free(Browser->Rows);
    Browser->Rows = nullptr;
}

// The name as the listing gave it to the host: OEM text where the file functions speak ANSI.
static void ShownRowName(const OutboundEntry &Entry, char (&Shown)[MAX_PATH]) {
    memcpy(Shown, Entry.Name, strlen(Entry.Name) + 1);
    if (AreFileApisANSI()) CharToOemA(Shown, Shown);
}

// strncmp(Kept, Shown, MAX_PATH) == 0 for a name of Length bytes kept whole: its bytes and
// its terminating zero (none at MAX_PATH), eight at a time, the last eight overlapping, without
// the library call's set-up, which costs more than the few bytes of an address.
static inline bool SameName(const char *Kept, size_t Length, const char *Shown) {
    size_t size = Length < MAX_PATH ? Length + 1 : MAX_PATH;
    uint64_t kept, shown;
    if (size < 8) {
        for (size_t i = 0; i < size; ++i)
            if (Kept[i] != Shown[i]) return false;
        return true;
    }
    for (size_t i = 0; i + 8 < size; i += 8) {
        memcpy(&kept, Kept + i, 8);
        memcpy(&shown, Shown + i, 8);
        if (kept != shown) return false;
    }
    memcpy(&kept, Kept + size - 8, 8);
    memcpy(&shown, Shown + size - 8, 8);
    return kept == shown;
}

bool LookUpItemRow(const BSOBrowser *Browser, const PluginPanelItem *Item, ItemRow *Row) {
    DWORD number = Item->UserData;
    if (!Browser->Rows || number == 0 || number > static_cast<DWORD>(Browser->EntryCount))
        return false;
    const OutboundEntry &entry = Browser->Entries[number - 1];
    const PanelRow &row = Browser->Rows[number - 1];
    if (row.Kind == LinkRow) {
        // A link's name is its address, the same text in either code page; Compare comes here
        // for every comparison of a sort, so the entry itself is not touched.
        if (!SameName(LinkRowNames(Browser) + row.NameAt, row.NameLength, Item->FindData.cFileName))
            return false;
    } else {
        char shown[MAX_PATH];
        ShownRowName(entry, shown);
        if (strncmp(shown, Item->FindData.cFileName, MAX_PATH) != 0) return false;
    }
    Row->Row = &row;
    Row->Entry = &entry;
    return true;
}

bool FindItemRows(const BSOBrowser *Browser, const PluginPanelItem *Items, int Count,
                  ItemRow *Rows) {
    for (int i = 0; i < Count; ++i) {
        ItemRow row;
        if (LookUpItemRow(Browser, &Items[i], &row)) {
            if (Rows) Rows[i] = row;
            continue;
        }
        char name[MAX_PATH], shown[MAX_PATH + 16];
        size_t length = strnlen(Items[i].FindData.cFileName, MAX_PATH - 1);
        memcpy(name, Items[i].FindData.cFileName, length);
        name[length] = 0;
        ShortenPath(shown, sizeof(shown), name, MessageLineWidth);
        const char *items[] = {GetMessageText(MsgWarning), GetMessageText(MsgItemWithoutRow), shown,
                               GetMessageText(MsgOk)};
        if (HostInfo.Message)
            HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 4, 1);
        return false;
    }
    return true;
}

PluginPanelItem ItemWithRowName(const PluginPanelItem *Item, const ItemRow &Row) {
    PluginPanelItem copy = *Item;
    memcpy(copy.FindData.cFileName, Row.Entry->Name, strlen(Row.Entry->Name) + 1);
    return copy;
}
