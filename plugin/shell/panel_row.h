// What a panel item stands for. The listing numbers its items by their rows (UserData holds the
// row's index plus one; 0: no row, as the host's own ".."), and commands, Compare and the key
// handlers read a row only through an item's number: nothing is parsed back from the names the
// host shows.
#ifndef BSOPANEL_SHELL_PANEL_ROW_H
#define BSOPANEL_SHELL_PANEL_ROW_H

#include "bso/address.h"
#include "plugin_api.h"
#include "scan/outbound_entry.h"

#include <stddef.h>

class BSOBrowser;

enum RowKind : unsigned char {
    LinkRow = 0,       // a link at the root
    QueuedFileRow = 1, // a file a flow file of the link names, also one that is gone
    LinkFileRow = 2,   // a file of the link itself: packet, flow file, request, flags, hold, tries
};

// Widest fields first: 28 bytes a row.
struct PanelRow {
    FtnAddress Link; // the row's own link at the root, the link shown inside one
    // A link row: its name's length, and where the name starts in the copy of the link rows'
    // names kept right after the rows, so that a sort's look-ups stay in that small block and
    // read no more of the item's name than the length, never the scan's entries.
    unsigned NameAt;
    unsigned short NameLength;
    // A queued file: the extension of the flow file naming it (".FLO"), in the case the folder
    // listing gave; a link file: its own. Empty for a link row.
    char Extension[5];
    RowKind Kind;
};

// The item's row and the scan's entry it came from; the entry's name is the file's name on
// disk (the host shows it in the OEM code page).
struct ItemRow {
    const PanelRow *Row;
    const OutboundEntry *Entry;
};

// The UserData that names row Index of a listing.
DWORD RowNumberOf(int Index);

// Builds Browser->Rows for Browser->Entries: the link rows of the root when Link is null, else
// the rows inside that link. False when memory ran out (then no item finds its row).
bool FillPanelRows(BSOBrowser *Browser, const FtnAddress *Link);
void FreePanelRows(BSOBrowser *Browser);

// True with *Row filled when the item's number names a row that still bears the item's name;
// false for no number, one beyond the rows, or a row the rows since replaced (the host's own
// walks of the panel list it anew): such an item is never matched to another row by its name.
bool LookUpItemRow(const BSOBrowser *Browser, const PluginPanelItem *Item, ItemRow *Row);

// The same for each of Count items, into Rows unless it is null; on the first item that has no
// row, a warning box names it and asks for a fresh listing, and the result is false.
bool FindItemRows(const BSOBrowser *Browser, const PluginPanelItem *Items, int Count,
                  ItemRow *Rows);

// The item as it names its row's file on disk: the host's item with the row's own name.
PluginPanelItem ItemWithRowName(const PluginPanelItem *Item, const ItemRow &Row);

#endif
