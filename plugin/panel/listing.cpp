// Every listing rescans the outbound and turns the instance's rows into host panel items, each
// with its column texts.
#include "panel/listing.h"

#include "bso/repairs.h"
#include "common/grow_array.h"
#include "common/helpers.h"
#include "panel/link_columns.h"
#include "panel/nodelist_names.h"
#include "scan/scanner.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/host.h"
#include "shell/messages.h"

#include <stdlib.h>
#include <string.h>

// Size of the progress box's text line, its terminating zero included.
static const size_t ProgressLineSize = 64;
DWORD ProgressDelayMilliseconds = 500;

namespace {

// The progress box of one listing: shown once the listing has run long, over a saved screen.
struct ListingProgress {
    const BSOBrowser *Browser;
    DWORD Start;
    bool Shown;
    HANDLE Screen;
};

} // namespace

static void ShowProgressWhenSlow(void *Context) {
    ListingProgress *progress = static_cast<ListingProgress *>(Context);
    if (progress->Shown || GetTickCount() - progress->Start < ProgressDelayMilliseconds) return;
    progress->Shown = true;
    progress->Screen = HostInfo.SaveScreen ? HostInfo.SaveScreen(0, 0, -1, -1) : nullptr;
    char line[ProgressLineSize];
    FormatWithOneArgument(line, sizeof line, GetMessageText(MsgScanProgressFormat), 's',
                          progress->Browser->CurDir);
    const char *items[2] = {GetMessageText(MsgScanTitle), line};
    if (HostInfo.Message) HostInfo.Message(HostInfo.ModuleNumber, 0, nullptr, items, 2, 0);
}

// Asks whether to take the entry of a file that no longer exists out of its flow file. The
// first button (and Enter) keeps the line: a name the plugin could not find may still be the
// mailer's to send. True for the second button.
static bool AskToRemoveMissingEntry(const char *Name) {
    // The name as the file functions take it; the host shows OEM text.
    char oem[MAX_PATH];
    size_t length = strnlen(Name, MAX_PATH - 1);
    memcpy(oem, Name, length);
    oem[length] = '\0';
    if (AreFileApisANSI()) CharToOemA(oem, oem);
    char shown[MAX_PATH + 16];
    ShortenPath(shown, sizeof(shown), oem, MessageLineWidth);
    const char *items[6] = {
        GetMessageText(MsgWarning),         GetMessageText(MsgFileNotFound), shown,
        GetMessageText(MsgDropMissingLine), GetMessageText(MsgCancel),       GetMessageText(MsgOk)};
    if (!HostInfo.Message) return false;
    return HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 6, 2) == 1;
}

static bool SameLine(const MissingFile &A, const MissingFile &B) {
    return A.Length == B.Length && strcmp(A.FlowPath, B.FlowPath) == 0 &&
           memcmp(A.Line, B.Line, A.Length) == 0;
}

// Asks about each missing file once, then takes out the lines the user chose to drop: one
// question per line, however often it stands in its flow file, since its removal takes every
// copy. True when a line went (or may have: a removal that failed is not reported; the next
// listing meets the name again). Stops writing once the mailer holds the link.
static bool RepairMissingFiles(const OutboundConfig &Config, ScanResult *Result) {
    int count = Result->MissingCount;
    bool *drop = static_cast<bool *>(calloc(static_cast<size_t>(count), sizeof(bool)));
    if (!drop) return false; // a listing that cannot note the answers does not ask
    for (int i = 0; i < count; ++i) {
        const MissingFile &missing = Result->Missing[i];
        bool asked = false;
        for (int earlier = 0; earlier < i && !asked; ++earlier)
            asked = SameLine(Result->Missing[earlier], missing);
        if (!asked) drop[i] = AskToRemoveMissingEntry(missing.Name);
    }
    bool busy = false, repaired = false;
    for (int i = 0; i < count && !busy; ++i) {
        if (!drop[i]) continue;
        const MissingFile &missing = Result->Missing[i];
        busy = RemoveMissingFileLine(Config, &Result->Link, missing.FlowPath, missing.Line,
                                     missing.Length) == WriteBusy;
        repaired = true;
    }
    free(drop);
    return repaired;
}

void ScanPanelRows(BSOBrowser *Browser, int OpMode) {
    FreePanelRows(Browser);
    // The rows' array and their strings' pool are filled again by the scan; only what rows
    // hold of their own goes now.
    OutboundEntry *room = Browser->Entries;
    int roomCapacity = Browser->EntryCapacity;
    for (int i = 0; i < Browser->EntryCount; ++i) FreeEntryStrings(room[i]);
    Browser->Entries = nullptr;
    Browser->EntryCount = Browser->EntryCapacity = 0;
    EntryPool strings = Browser->Strings;
    StartEntryPool(&Browser->Strings);
    ListingProgress progress = {Browser, GetTickCount(), false, nullptr};
    ScanProgress ticks = {ShowProgressWhenSlow, &progress};
    const ScanProgress *shown = (OpMode & OPM_FIND) == 0 ? &ticks : nullptr;

    OutboundConfig config;
    LoadOutboundConfig(&config);
    ScanResult result;
    ScanOutbound(config, Browser->CurDir, &Browser->FlowFiles, &result, shown, room, roomCapacity,
                 &strings);
    // Only a listing the user asked for asks; the host's own walks leave the request for the
    // listing it was made for. While the mailer holds the link, a missing file is left for a
    // later listing: a repair could not take the flag, and the mailer may be about to mark the
    // line done itself.
    bool ask = Browser->AskAboutMissing && (OpMode & OPM_FIND) == 0;
    if ((OpMode & OPM_FIND) == 0) Browser->AskAboutMissing = false;
    if (ask && !result.LinkBusy && result.MissingCount > 0 && RepairMissingFiles(config, &result)) {
        FreeScanResult(&result);
        ScanOutbound(config, Browser->CurDir, &Browser->FlowFiles, &result, shown);
    }

    // The rows move into the instance with their strings' pool.
    Browser->Entries = result.Rows;
    Browser->EntryCount = result.RowCount;
    Browser->EntryCapacity = result.RowCapacity;
    Browser->Strings = result.Strings;
    StartEntryPool(&result.Strings);
    Browser->Link = result.Link;
    FillPanelRows(Browser, Browser->IsInsideLink() ? &result.Link : nullptr);
    result.Rows = nullptr;
    result.RowCount = 0;
    FreeScanResult(&result);

    if (progress.Shown && progress.Screen && HostInfo.RestoreScreen)
        HostInfo.RestoreScreen(progress.Screen);
}

// What the nodelist says about a link row: its mark and names; nothing inside a link.
struct RowNode {
    NodeStanding Standing;
    const NodelistNode *Node;
};

// The column texts of every item of a listing in one block: first each item's array of
// RowColumnCount pointers, then the texts. While the texts are written the block may move, so
// the arrays hold offsets until FinishColumns makes them pointers; the nodelist's sysop (the
// owner column) and description, where a row has them, are noted by offset the same way. Most
// columns are empty or repeat the row before's text: every empty column points at one empty
// text, and a text like the one above it in its column is that text.
struct ColumnBlock {
    char *Block;
    size_t Room, Used;
    size_t *OwnerAt, *DescriptionAt; // per item; NoText for none
    size_t EmptyAt;                  // the one empty text
    size_t LastAt[RowColumnCount];   // each column's text of the row before; NoText for none
    size_t LastLength[RowColumnCount];
    // The row before and what the nodelist said of it: a row whose columns are made of the
    // same things takes its texts whole (inside a link most rows do).
    const OutboundEntry *LastRow;
    RowNode LastNamed;
};
static const size_t NoText = ~static_cast<size_t>(0);
// In an item's first slot: the item takes the array of the item before, its texts being the same.
static const size_t SharedArray = NoText - 1;
static_assert(sizeof(size_t) == sizeof(char *), "an offset takes its pointer's slot");

// Room for Size more bytes; false when memory runs out. The first room is what is asked for
// (the caller's estimate); after that it doubles.
static bool GrowColumns(ColumnBlock &Columns, size_t Size) {
    size_t needed = Columns.Used + Size;
    return GrowBytes(&Columns.Block, &Columns.Room, needed, needed);
}

static size_t AppendText(ColumnBlock &Columns, const char *Text, size_t Size) {
    size_t at = Columns.Used;
    memcpy(Columns.Block + at, Text, Size);
    Columns.Used += Size;
    return at;
}

// A column's text on its way into the block: at most MAX_PATH - 1 bytes, as the host's
// columns were always given; null is "".
struct ColumnText {
    const char *Text;
    size_t Length;
};

static ColumnText TextOf(const char *Text) {
    ColumnText text = {Text, 0};
    if (Text)
        while (text.Length < MAX_PATH - 1 && Text[text.Length]) ++text.Length;
    return text;
}

static ColumnText MarkOf(const char &Mark) {
    ColumnText text = {&Mark, Mark ? 1u : 0u};
    return text;
}

// Whether two texts are the same (null as null only): at the C library's speed, since every
// row inside a link compares its source with the row before's.
static bool SameText(const char *First, const char *Second) {
    if (!First || !Second) return First == Second;
    return strcmp(First, Second) == 0;
}

// The same for two flavor strings, which are FlavorStringSize bytes each: compared whole.
static bool SameFlavors(const char *First, const char *Second) {
    if (!First || !Second) return First == Second;
    return memcmp(First, Second, FlavorStringSize) == 0;
}

// Whether the row's column texts and its owner and description are the last row's: they are
// made of the marks, the flavors, the source, the queue's status and the nodelist's answer only.
static bool SameColumnsAsLast(const ColumnBlock &Columns, const OutboundEntry &Row,
                              const RowNode &Named) {
    const OutboundEntry *last = Columns.LastRow;
    return last && last->Problem == Row.Problem && last->BusyMark == Row.BusyMark &&
           last->RequestMark == Row.RequestMark && Columns.LastNamed.Node == Named.Node &&
           Columns.LastNamed.Standing == Named.Standing &&
           memcmp(&last->Status, &Row.Status, sizeof Row.Status) == 0 &&
           SameFlavors(last->FlowFlavors, Row.FlowFlavors) &&
           SameFlavors(last->NetmailFlavors, Row.NetmailFlavors) &&
           SameText(last->SourceText, Row.SourceText);
}

// Writes item Index's column texts into the block. False when memory runs out.
static bool FillColumns(ColumnBlock &Columns, int Index, const PluginPanelItem &Item,
                        const OutboundEntry &Row, const RowNode &Named) {
    char *offsets = Columns.Block + static_cast<size_t>(Index) * RowColumnCount * sizeof(char *);
    if (SameColumnsAsLast(Columns, Row, Named)) {
        // The item shares the array of the one before (FinishColumns); its own stays unused.
        memcpy(offsets, &SharedArray, sizeof SharedArray);
        Columns.OwnerAt[Index] = Columns.OwnerAt[Index - 1];
        Columns.DescriptionAt[Index] = Columns.DescriptionAt[Index - 1];
        Columns.LastRow = &Row;
        return true;
    }
    char bytes[32], age[32], mailer[MAX_PATH];
    // A file that is gone shows so where its flavor would be.
    const char *flow =
        Row.Problem == MissingNamedFile ? GetMessageText(MsgMissingFileMark) : Row.FlowFlavors;
    const ColumnText texts[RowColumnCount] = {
        MarkOf(Row.BusyMark),
        MarkOf(Row.RequestMark),
        TextOf(Row.NetmailFlavors),
        TextOf(flow),
        TextOf(Row.SourceText),
        TextOf(RowQueuedBytes(Row, bytes, sizeof bytes)),
        TextOf(RowQueueAge(Row, age, sizeof age)),
        TextOf(RowMailerState(Row, mailer, sizeof mailer)),
        TextOf(NodeMarkText(Named.Standing)),
        TextOf(Named.Node ? Named.Node->SystemName : nullptr)};
    size_t at[RowColumnCount];
    size_t size = 0;
    for (int c = 0; c < RowColumnCount; ++c) {
        size_t length = texts[c].Length;
        if (length == 0)
            at[c] = Columns.EmptyAt;
        else if (Columns.LastAt[c] != NoText && Columns.LastLength[c] == length &&
                 memcmp(Columns.Block + Columns.LastAt[c], texts[c].Text, length) == 0)
            at[c] = Columns.LastAt[c];
        else
            at[c] = NoText, size += length + 1;
    }
    char description[NodeDescriptionSize];
    const char *sysop = Named.Node ? Named.Node->Sysop : nullptr;
    bool described = Named.Node && !Item.Description;
    if (described) NodeDescription(Named.Node, description, sizeof(description));
    size_t sysopSize = sysop ? strlen(sysop) + 1 : 0;
    size_t descriptionSize = described ? strlen(description) + 1 : 0;
    if (!GrowColumns(Columns, size + sysopSize + descriptionSize)) return false;
    offsets = Columns.Block + static_cast<size_t>(Index) * RowColumnCount * sizeof(char *);
    for (int c = 0; c < RowColumnCount; ++c) {
        size_t offset = at[c];
        if (offset == NoText) {
            offset = Columns.Used;
            memcpy(Columns.Block + offset, texts[c].Text, texts[c].Length);
            Columns.Block[offset + texts[c].Length] = '\0';
            Columns.Used += texts[c].Length + 1;
            Columns.LastAt[c] = offset;
            Columns.LastLength[c] = texts[c].Length;
        }
        memcpy(offsets + c * sizeof(char *), &offset, sizeof offset);
    }
    Columns.OwnerAt[Index] = sysop ? AppendText(Columns, sysop, sysopSize) : NoText;
    Columns.DescriptionAt[Index] =
        described ? AppendText(Columns, description, descriptionSize) : NoText;
    Columns.LastRow = &Row;
    Columns.LastNamed = Named;
    return true;
}

// Turns the block's offsets into the items' pointers, now that the block stays where it is. An
// item whose texts are the last item's points at that item's array: most rows inside a link.
static void FinishColumns(ColumnBlock &Columns, PluginPanelItem *Items, int Count) {
    for (int i = 0; i < Count; ++i) {
        char **array =
            reinterpret_cast<char **>(Columns.Block) + static_cast<size_t>(i) * RowColumnCount;
        size_t first;
        memcpy(&first, &array[0], sizeof first);
        if (first == SharedArray) {
            array = Items[i - 1].CustomColumnData;
        } else {
            for (int c = 0; c < RowColumnCount; ++c) {
                size_t offset;
                memcpy(&offset, &array[c], sizeof offset);
                array[c] = Columns.Block + offset;
            }
        }
        Items[i].CustomColumnData = array;
        Items[i].CustomColumnNumber = RowColumnCount;
        if (Columns.OwnerAt[i] != NoText) Items[i].Owner = Columns.Block + Columns.OwnerAt[i];
        if (Columns.DescriptionAt[i] != NoText)
            Items[i].Description = Columns.Block + Columns.DescriptionAt[i];
    }
}

// The item's find data from the row (its alternate name given), all but the name.
static void FillFindData(const OutboundEntry &Entry, const char *Alternate, FAR_FIND_DATA *Data) {
    Data->dwFileAttributes = Entry.Attributes;
    Data->ftCreationTime = Entry.CreationTime;
    Data->ftLastAccessTime = Entry.LastAccessTime;
    Data->ftLastWriteTime = Entry.LastWriteTime;
    Data->nFileSizeHigh = static_cast<DWORD>(Entry.Size >> 32);
    Data->nFileSizeLow = static_cast<DWORD>(Entry.Size);
    Data->dwReserved0 = 0;
    Data->dwReserved1 = 0;
    const char *alternate = Alternate;
    if (!alternate[0]) { // most files have none
        Data->cAlternateFileName[0] = '\0';
        return;
    }
    size_t length = strnlen(alternate, sizeof(Data->cAlternateFileName) - 1);
    memcpy(Data->cAlternateFileName, alternate, length);
    Data->cAlternateFileName[length] = '\0';
}

// The address a link row's name spells: the one the row carries, without parsing its text
// again; a row that carries none has its name parsed. False where the name is no address.
static bool LinkAddressOf(const OutboundEntry &Row, const char *Name, FtnAddress *Address) {
    const FtnAddress &link = Row.Link;
    if (!link.zone && !link.net && !link.node && !link.point)
        return ParseAddress(Address, Name, nullptr) != 0;
    *Address = link;
    return link.zone <= AddressFieldMax && link.net <= AddressFieldMax &&
           link.node <= AddressFieldMax && link.point <= AddressFieldMax;
}

// An array of Count items, the first cleared (an empty view's; each item is cleared as it is
// filled, while it is in the cache): the one the host gave back last when it has the room and is
// not far larger, else a new one.
static PluginPanelItem *TakeItemsArray(BSOBrowser *Browser, int Count) {
    PluginPanelItem *spare = Browser->SpareItems;
    int room = Browser->SpareItemCount;
    Browser->SpareItems = nullptr;
    Browser->SpareItemCount = 0;
    if (!spare || room < Count || room / 4 > Count) {
        free(spare);
        spare = static_cast<PluginPanelItem *>(
            malloc(static_cast<size_t>(Count) * sizeof(PluginPanelItem)));
    }
    if (spare) memset(spare, 0, sizeof(PluginPanelItem));
    return spare;
}

int ListPanelItems(BSOBrowser *Browser, PluginPanelItem **PanelItem, int *ItemsNumber, int OpMode) {
    // The host keeps the selection by name itself; the items carry no flags of their own.
    *PanelItem = nullptr;
    *ItemsNumber = 0;
    ScanPanelRows(Browser, OpMode);

    // Names come from the file functions: OEM text already when the host set them to OEM (as
    // the real one does at start), ANSI text to be converted otherwise.
    bool ansiNames = AreFileApisANSI() != FALSE;
    StartColumnTexts();
    // Link rows are named by their addresses; the host's own walks get no warning box.
    const Nodelist *names =
        Browser->IsInsideLink() ? nullptr : CurrentNodelist((OpMode & OPM_FIND) == 0);
    // At least one item's room, so that an empty view is still a valid array.
    int count = Browser->EntryCount;
    PluginPanelItem *items = TakeItemsArray(Browser, count > 0 ? count : 1);
    if (!items) return 0;
    // The column block the host gave back last, when it is not out with other items still.
    ColumnBlock columns = {};
    columns.Block = Browser->SpareColumns;
    columns.Room = Browser->SpareColumnsRoom;
    columns.Used = 0;
    for (int c = 0; c < RowColumnCount; ++c) columns.LastAt[c] = NoText;
    Browser->SpareColumns = nullptr;
    Browser->SpareColumnsRoom = 0;
    size_t arrays = static_cast<size_t>(count) * RowColumnCount * sizeof(char *);
    columns.OwnerAt =
        static_cast<size_t *>(malloc(static_cast<size_t>(count ? count : 1) * sizeof(size_t)));
    columns.DescriptionAt =
        static_cast<size_t *>(malloc(static_cast<size_t>(count ? count : 1) * sizeof(size_t)));
    // Room at once for the arrays and about as many bytes of text a row as a link row takes,
    // so that the block is seldom copied as it grows.
    bool filled = columns.OwnerAt && columns.DescriptionAt &&
                  GrowColumns(columns, arrays + static_cast<size_t>(count) * 48 + 1);
    columns.Used = arrays;
    columns.EmptyAt = arrays;
    if (filled) AppendText(columns, "", 1);
    for (int i = 0; i < count; ++i) {
        const OutboundEntry &row = Browser->Entries[i];
        PluginPanelItem &item = items[i];
        // Every field is written but the name's bytes past its end, which nobody reads:
        // clearing the whole item cost more than filling it. The alternate name follows the
        // row's name, which is measured once.
        const char *name = row.Name; // shorter than the item's field
        size_t nameLength = strlen(name);
        FillFindData(row, name + nameLength + 1, &item.FindData);
        item.PackSizeHigh = item.PackSize = item.Flags = item.NumberOfLinks = 0;
        item.Description = item.Owner = nullptr;
        item.CustomColumnData = nullptr;
        item.CustomColumnNumber = 0;
        item.UserData = RowNumberOf(i); // commands and Compare find the row by it
        item.Reserved[0] = item.Reserved[1] = item.Reserved[2] = 0;
        memcpy(item.FindData.cFileName, name, nameLength + 1);
        if (ansiNames) CharToOemA(item.FindData.cFileName, item.FindData.cFileName);
        // A row that stands for something the scan could not read says so; the text is the
        // host's, alive while its items are.
        if (row.Problem == UnreadableFlowFile)
            item.Description = const_cast<char *>(GetMessageText(MsgFlowFileUnreadable));
        else if (row.Problem == UnreadablePointFolder)
            item.Description = const_cast<char *>(GetMessageText(MsgPointFolderUnreadable));
        else if (row.Problem == MissingNamedFile)
            item.Description = const_cast<char *>(GetMessageText(MsgFileMissingRow));
        RowNode named = {NodeNotJudged, nullptr};
        FtnAddress address;
        if (names && LinkAddressOf(row, name, &address))
            named.Standing = JudgeNode(names, &address, &named.Node);
        if (!filled || !FillColumns(columns, i, item, row, named)) {
            filled = false;
            break;
        }
    }
    if (filled) FinishColumns(columns, items, count);
    free(columns.OwnerAt);
    free(columns.DescriptionAt);
    if (!filled) {
        free(columns.Block);
        free(items);
        return 0;
    }
    Browser->ColumnsOut = count ? columns.Block : nullptr;
    Browser->ColumnsOutRoom = columns.Room;
    if (!count) free(columns.Block);
    *PanelItem = items;
    *ItemsNumber = count;
    return 1;
}

void FreePanelItems(BSOBrowser *Browser, PluginPanelItem *PanelItem, int ItemsNumber) {
    if (!PanelItem) return;
    // The items' column texts are one block, the first item's array its start.
    char *columns =
        ItemsNumber > 0 ? reinterpret_cast<char *>(PanelItem[0].CustomColumnData) : nullptr;
    bool handedOut = columns && Browser && columns == Browser->ColumnsOut;
    if (handedOut) Browser->ColumnsOut = nullptr;
    if (handedOut && !Browser->SpareColumns && !Browser->Closing) {
        Browser->SpareColumns = columns;
        Browser->SpareColumnsRoom = Browser->ColumnsOutRoom;
    } else {
        free(columns);
    }
    // The array's room is what the listing asked for: at least one item.
    if (Browser && !Browser->SpareItems && !Browser->Closing) {
        Browser->SpareItems = PanelItem;
        Browser->SpareItemCount = ItemsNumber > 0 ? ItemsNumber : 1;
        return;
    }
    free(PanelItem);
}
