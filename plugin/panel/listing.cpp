// Every listing rescans the outbound and turns the instance's rows into host panel items, each
// with five column texts of its own, and keeps the flags (the selection) of rows listed before.
#include "panel/listing.h"

#include "scan/scanner.h"
#include "shell/host.h"

#include <stdlib.h>
#include <string.h>

// Copies Text into Buffer (Size bytes, cut to fit) and returns Buffer.
static char *CopyText(char *Buffer, size_t Size, const char *Text) {
    size_t length = Text ? strnlen(Text, Size - 1) : 0;
    if (length) memcpy(Buffer, Text, length);
    Buffer[length] = '\0';
    return Buffer;
}

static char *MarkText(char *Buffer, size_t Size, char Mark) {
    const char text[2] = {Mark, '\0'};
    return CopyText(Buffer, Size, text);
}

char *RowName(const OutboundEntry &Row, char *Buffer, size_t Size) {
    char name[sizeof(Row.FindData.cFileName) + 1];
    memcpy(name, Row.FindData.cFileName, sizeof(Row.FindData.cFileName));
    name[sizeof(Row.FindData.cFileName)] = '\0';
    return CopyText(Buffer, Size, name);
}

char *RowBusyMark(const OutboundEntry &Row, char *Buffer, size_t Size) {
    return MarkText(Buffer, Size, Row.BusyMark);
}

char *RowRequestMark(const OutboundEntry &Row, char *Buffer, size_t Size) {
    return MarkText(Buffer, Size, Row.RequestMark);
}

char *RowNetmailFlavors(const OutboundEntry &Row, char *Buffer, size_t Size) {
    return CopyText(Buffer, Size, Row.NetmailFlavors);
}

char *RowFlowFlavors(const OutboundEntry &Row, char *Buffer, size_t Size) {
    return CopyText(Buffer, Size, Row.FlowFlavors);
}

char *RowSourceText(const OutboundEntry &Row, char *Buffer, size_t Size) {
    return CopyText(Buffer, Size, Row.SourceText);
}

// Releases the column texts of one item and its column array.
static void FreeColumns(PluginPanelItem &Item) {
    if (!Item.CustomColumnData) return;
    for (int c = 0; c < Item.CustomColumnNumber; ++c) free(Item.CustomColumnData[c]);
    free(Item.CustomColumnData);
    Item.CustomColumnData = nullptr;
    Item.CustomColumnNumber = 0;
}

// Gives the item its five column texts. False when memory runs out (nothing is left behind).
static bool FillColumns(PluginPanelItem &Item, const OutboundEntry &Row) {
    typedef char *(*RowText)(const OutboundEntry &, char *, size_t);
    static const RowText columns[RowColumnCount] = {RowBusyMark, RowRequestMark, RowNetmailFlavors,
                                                    RowFlowFlavors, RowSourceText};
    char **texts = static_cast<char **>(calloc(RowColumnCount, sizeof(char *)));
    if (!texts) return false;
    Item.CustomColumnData = texts;
    Item.CustomColumnNumber = RowColumnCount;
    for (int c = 0; c < RowColumnCount; ++c) {
        char buffer[MAX_PATH];
        texts[c] = DuplicateString(columns[c](Row, buffer, sizeof(buffer)));
        if (!texts[c]) {
            FreeColumns(Item);
            return false;
        }
    }
    return true;
}

// The flags of the earlier item that shows the same name, or 0. The earlier items carry the
// names the host showed, which are OEM text, so the row's name is compared in that form too:
// byte for byte, with no path cut off (inside a link the names are full paths) and no
// wildcards (a Linux file name may hold "*" or "?"). Where two earlier items match, the first
// one gives the flags.
static DWORD EarlierFlags(const PluginPanelItem *Earlier, int EarlierCount, const char *ShownName) {
    for (int i = 0; i < EarlierCount; ++i)
        if (strncmp(Earlier[i].FindData.cFileName, ShownName,
                    sizeof(Earlier[i].FindData.cFileName)) == 0)
            return Earlier[i].Flags;
    return 0;
}

int ListPanelItems(BSOBrowser *Browser, PluginPanelItem **PanelItem, int *ItemsNumber, int OpMode) {
    // The host's items of the earlier listing, fetched before the rescan replaces the rows.
    PluginPanelItem *earlier = nullptr;
    int earlierCount = 0;
    if (!HostInfo.GetPluginDirList ||
        !HostInfo.GetPluginDirList(HostInfo.ModuleNumber, Browser, Browser->CurDir, &earlier,
                                   &earlierCount) ||
        !earlier || earlierCount < 0)
        earlierCount = 0;

    *PanelItem = nullptr;
    *ItemsNumber = 0;
    ScanOutbound(Browser, OpMode);

    // At least one item's room, so that an empty view is still a valid array.
    int count = Browser->EntryCount;
    PluginPanelItem *items =
        static_cast<PluginPanelItem *>(calloc(count > 0 ? count : 1, sizeof(PluginPanelItem)));
    bool filled = items != nullptr;
    for (int i = 0; filled && i < count; ++i) {
        const OutboundEntry &row = Browser->Entries[i];
        PluginPanelItem &item = items[i];
        memcpy(&item.FindData, &row.FindData, sizeof(item.FindData));
        char name[MAX_PATH];
        RowName(row, name, sizeof(name));
        CharToOemA(name, item.FindData.cFileName);
        item.Flags = EarlierFlags(earlier, earlierCount, item.FindData.cFileName);
        filled = FillColumns(item, row);
        if (!filled) FreePanelItems(Browser, items, i);
    }
    if (earlier && HostInfo.FreeDirList) HostInfo.FreeDirList(earlier);
    if (!filled) return 0;

    *PanelItem = items;
    *ItemsNumber = count;
    return 1;
}

void FreePanelItems(BSOBrowser *, PluginPanelItem *PanelItem, int ItemsNumber) {
    if (!PanelItem) return;
    for (int i = 0; i < ItemsNumber; ++i) FreeColumns(PanelItem[i]);
    free(PanelItem);
}
