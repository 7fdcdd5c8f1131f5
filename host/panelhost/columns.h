// The columns of a panel view mode: parsing the host's column types and widths, laying them
// out in the width a panel has, and the texts of the size, date and time cells.
#ifndef BSOPANEL_PANELHOST_COLUMNS_H
#define BSOPANEL_PANELHOST_COLUMNS_H

#include "plugin_api.h"

#include <cstdint>
#include <string>
#include <vector>

namespace panelhost {

enum class ColumnKind { Name, Size, PackedSize, Date, Time, Custom, Description, Owner, Unknown };

struct Column {
    ColumnKind kind = ColumnKind::Unknown;
    std::string type;      // the token as given ("NR", "SC", "C3")
    std::string modifiers; // the letters after the type letter ("R", "C")
    int custom = -1;       // C0 to C9: the custom column's number
    int width = 0;         // as given; 0 lets the layout choose
    bool Has(char modifier) const { return modifiers.find(modifier) != std::string::npos; }
};

// "N,SC,C0" with "0,8,1": one Column per type; missing widths count as 0.
std::vector<Column> ParseColumns(const std::string &types, const std::string &widths);

// Brief modes repeat one group of columns ("N,N,N", "N,S,N,S"): the number of repetitions,
// each a stripe that the items flow through top to bottom, left to right. 1 otherwise.
int StripeCount(const std::vector<Column> &columns);

// The first item shown, given the last one (`top`), so that `current` is on the page of
// `rows` times `stripes` items (whole stripes in brief modes) and a list that shrank scrolls
// back: no blank rows below while items above stay hidden.
int PageTop(int top, int current, int count, int rows, int stripes);

// Widths of the columns within `width` (separators of one column between neighbours included
// in it), as the host lays them out. A width of 0 gives date 8, time 5 and size 10 columns;
// names, descriptions, owners and custom columns share what is left (at least one column
// each). Trailing columns that do not fit are dropped (width 0 in the result) until the rest
// fit; with no column sharing the rest, the last one kept takes it. The first column always
// stays.
std::vector<int> LayoutColumns(const std::vector<Column> &columns, int width);

// The default title of a host column ("Name", "Size", ...), "" for custom columns.
std::string DefaultColumnTitle(const Column &column);

// Size cell: the number (grouped by thousands with `group`), or in K, M, G when it does not
// fit; "<Folder>" for folders and "<  Up  >" for the ".." item, in Russian "<Папка>" and
// "<Вверх>", as the host's language files have them. Right-aligned in `width`.
std::string FormatSizeCell(uint64_t size, bool folder, bool dots, int width, bool group,
                           const std::string &language = "English");
// Date "dd.mm.yy" and time "hh:mm" of a file time (UTC ticks), in local time; "" for 0.
std::string FormatDateCell(FILETIME time);
std::string FormatTimeCell(FILETIME time);

// The file name part of a name that may hold a Win32 path ("Z:\a\b.txt" gives "b.txt"); the
// slash is no separator there ("2:5020/1.0" stays whole).
std::string NameWithoutPath(const std::string &name);

} // namespace panelhost

#endif
