// Every listing rescans the outbound and turns the instance's rows into host panel items, each
// with five column texts of its own, and keeps the flags (the selection) of rows listed before.
#include "panel/listing.h"

#include "scan/scanner.h"
#include "shell/host.h"
#include "shell/messages.h"

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

// Releases the column texts of one item with its column array: they are one block.
static void FreeColumns(PluginPanelItem &Item) {
    free(Item.CustomColumnData);
    Item.CustomColumnData = nullptr;
    Item.CustomColumnNumber = 0;
}

// Gives the item its five column texts: its own copies, in one block behind the array that
// points to them, so that a listing of thousands of rows does not allocate six times a row.
// False when memory runs out (nothing is left behind).
static bool FillColumns(PluginPanelItem &Item, const OutboundEntry &Row) {
    typedef char *(*RowText)(const OutboundEntry &, char *, size_t);
    static const RowText columns[RowColumnCount] = {RowBusyMark, RowRequestMark, RowNetmailFlavors,
                                                    RowFlowFlavors, RowSourceText};
    char texts[RowColumnCount][MAX_PATH];
    size_t sizes[RowColumnCount];
    size_t total = RowColumnCount * sizeof(char *);
    for (int c = 0; c < RowColumnCount; ++c) {
        sizes[c] = strlen(columns[c](Row, texts[c], sizeof(texts[c]))) + 1;
        total += sizes[c];
    }
    char **array = static_cast<char **>(malloc(total));
    if (!array) return false;
    char *at = reinterpret_cast<char *>(array + RowColumnCount);
    for (int c = 0; c < RowColumnCount; ++c) {
        memcpy(at, texts[c], sizes[c]);
        array[c] = at;
        at += sizes[c];
    }
    Item.CustomColumnData = array;
    Item.CustomColumnNumber = RowColumnCount;
    return true;
}

// The earlier items carry the names the host showed, which are OEM text, so a row's name is
// compared in that form too: byte for byte, with no path cut off (inside a link the names are
// full paths) and no wildcards (a Linux file name may hold "*" or "?"). Where two earlier
// items match, the first one gives the flags.
//
// An index beside the earlier listing finds that first item without comparing every item
// with every row: every earlier item is in it, each name at the first item that bears it. When
// its memory cannot be had, the items are looked through one by one.
static const size_t ItemNameSize = sizeof(((PluginPanelItem *)nullptr)->FindData.cFileName);

struct EarlierIndex {
    const PluginPanelItem *Items;
    int Count;
    int Indexed;     // items [0, Indexed) are in the index
    int *Slots;      // item number + 1 at the name's place; 0: free
    size_t SlotMask; // slots - 1: a power of two, never more than half full
};

static uint32_t ItemNameHash(const char *Name) {
    uint32_t hash = 2166136261u; // FNV-1a over what the comparison reads
    for (size_t i = 0; i < ItemNameSize && Name[i]; ++i)
        hash = (hash ^ static_cast<unsigned char>(Name[i])) * 16777619u;
    return hash;
}

static bool SameItemName(const char *A, const char *B) {
    return strncmp(A, B, ItemNameSize) == 0;
}

// The slot of the name: the one that holds its item, or the free one where it would go.
static int *EarlierSlot(EarlierIndex &Index, const char *Name) {
    size_t at = ItemNameHash(Name) & Index.SlotMask;
    while (Index.Slots[at] &&
           !SameItemName(Index.Items[Index.Slots[at] - 1].FindData.cFileName, Name))
        at = (at + 1) & Index.SlotMask;
    return &Index.Slots[at];
}

static void IndexEarlierItems(EarlierIndex &Index, const PluginPanelItem *Earlier, int Count) {
    Index.Items = Earlier;
    Index.Count = Count;
    Index.Indexed = 0;
    size_t slots = 16;
    while (slots < 2 * static_cast<size_t>(Count)) slots *= 2;
    Index.Slots = static_cast<int *>(calloc(slots, sizeof(int)));
    Index.SlotMask = slots - 1;
    if (!Index.Slots) return;
    for (; Index.Indexed < Count; ++Index.Indexed) {
        int *slot = EarlierSlot(Index, Earlier[Index.Indexed].FindData.cFileName);
        if (!*slot) *slot = Index.Indexed + 1;
    }
}

// The flags of the earlier item that shows the same name, or 0.
static DWORD EarlierFlags(EarlierIndex &Index, const char *ShownName) {
    if (Index.Slots) {
        int item = *EarlierSlot(Index, ShownName);
        return item ? Index.Items[item - 1].Flags : 0;
    }
    for (int i = 0; i < Index.Count; ++i)
        if (SameItemName(Index.Items[i].FindData.cFileName, ShownName)) return Index.Items[i].Flags;
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
    EarlierIndex index;
    IndexEarlierItems(index, earlier, earlierCount);

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
        item.Flags = EarlierFlags(index, item.FindData.cFileName);
        // A row that stands for something the scan could not read says so; the text is the
        // host's, alive while its items are.
        if (row.Problem == UnreadableFlowFile)
            item.Description = const_cast<char *>(GetMessageText(MsgFlowFileUnreadable));
        else if (row.Problem == UnreadablePointFolder)
            item.Description = const_cast<char *>(GetMessageText(MsgPointFolderUnreadable));
        filled = FillColumns(item, row);
        if (!filled) FreePanelItems(Browser, items, i);
    }
    free(index.Slots);
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
