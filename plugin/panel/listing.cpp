// Every listing rescans the outbound and turns the instance's rows into host panel items, each
// with its column texts.
#include "panel/listing.h"

#include "panel/link_columns.h"
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

// Gives the item its column texts: its own copies, in one block behind the array that
// points to them, so that a listing of thousands of rows does not allocate six times a row.
// False when memory runs out (nothing is left behind).
static bool FillColumns(PluginPanelItem &Item, const OutboundEntry &Row) {
    typedef char *(*RowText)(const OutboundEntry &, char *, size_t);
    static const RowText columns[RowColumnCount] = {
        RowBusyMark,   RowRequestMark, RowNetmailFlavors, RowFlowFlavors,
        RowSourceText, RowQueuedBytes, RowQueueAge,       RowMailerState};
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

int ListPanelItems(BSOBrowser *Browser, PluginPanelItem **PanelItem, int *ItemsNumber, int OpMode) {
    // The host keeps the selection by name itself; the items carry no flags of their own.
    *PanelItem = nullptr;
    *ItemsNumber = 0;
    ScanOutbound(Browser, OpMode);

    // Names come from the file functions: OEM text already when the host set them to OEM (as
    // the real one does at start), ANSI text to be converted otherwise.
    bool ansiNames = AreFileApisANSI() != FALSE;
    StartColumnTexts();
    // At least one item's room, so that an empty view is still a valid array.
    int count = Browser->EntryCount;
    PluginPanelItem *items =
        static_cast<PluginPanelItem *>(calloc(count > 0 ? count : 1, sizeof(PluginPanelItem)));
    if (!items) return 0;
    for (int i = 0; i < count; ++i) {
        const OutboundEntry &row = Browser->Entries[i];
        PluginPanelItem &item = items[i];
        memcpy(&item.FindData, &row.FindData, sizeof(item.FindData));
        char name[MAX_PATH];
        RowName(row, name, sizeof(name));
        if (ansiNames)
            CharToOemA(name, item.FindData.cFileName);
        else
            memcpy(item.FindData.cFileName, name, strlen(name) + 1);
        // A row that stands for something the scan could not read says so; the text is the
        // host's, alive while its items are.
        if (row.Problem == UnreadableFlowFile)
            item.Description = const_cast<char *>(GetMessageText(MsgFlowFileUnreadable));
        else if (row.Problem == UnreadablePointFolder)
            item.Description = const_cast<char *>(GetMessageText(MsgPointFolderUnreadable));
        if (!FillColumns(item, row)) {
            FreePanelItems(Browser, items, i);
            return 0;
        }
    }
    *PanelItem = items;
    *ItemsNumber = count;
    return 1;
}

void FreePanelItems(BSOBrowser *, PluginPanelItem *PanelItem, int ItemsNumber) {
    if (!PanelItem) return;
    for (int i = 0; i < ItemsNumber; ++i) FreeColumns(PanelItem[i]);
    free(PanelItem);
}
