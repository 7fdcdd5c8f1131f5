#include "columns.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace panelhost {

namespace {

std::vector<std::string> SplitList(const std::string &text) {
    std::vector<std::string> parts;
    if (text.empty()) return parts;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string part =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        while (!part.empty() && part.front() == ' ') part.erase(part.begin());
        while (!part.empty() && part.back() == ' ') part.pop_back();
        parts.push_back(part);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return parts;
}

// Width a column takes when it is given 0, or 0 for the columns that share the free space.
int NaturalWidth(const Column &column) {
    switch (column.kind) {
    case ColumnKind::Date:
        return 8;
    case ColumnKind::Time:
        return 5;
    case ColumnKind::Size:
    case ColumnKind::PackedSize:
        return 10;
    default:
        return 0;
    }
}

const uint64_t kTicksTo1970 = 116444736000000000ULL;

bool LocalTime(FILETIME time, std::tm &local) {
    uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    if (ticks == 0) return false;
    long long seconds = ticks >= kTicksTo1970
                            ? static_cast<long long>((ticks - kTicksTo1970) / 10000000ULL)
                            : -static_cast<long long>((kTicksTo1970 - ticks) / 10000000ULL);
    std::time_t when = static_cast<std::time_t>(seconds);
    return localtime_r(&when, &local) != nullptr;
}

std::string Grouped(uint64_t value) {
    std::string digits = std::to_string(value), out;
    int count = 0;
    for (size_t i = digits.size(); i > 0; --i) {
        if (count > 0 && count % 3 == 0) out.insert(out.begin(), ',');
        out.insert(out.begin(), digits[i - 1]);
        ++count;
    }
    return out;
}

std::string RightAligned(const std::string &text, int width) {
    if (static_cast<int>(text.size()) >= width) return text;
    return std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
}

} // namespace

std::vector<Column> ParseColumns(const std::string &types, const std::string &widths) {
    std::vector<Column> columns;
    std::vector<std::string> typeList = SplitList(types), widthList = SplitList(widths);
    for (size_t i = 0; i < typeList.size(); ++i) {
        const std::string &token = typeList[i];
        Column column;
        column.type = token;
        if (i < widthList.size()) column.width = std::max(0, std::atoi(widthList[i].c_str()));
        char letter = token.empty()
                          ? 0
                          : static_cast<char>(std::toupper(static_cast<unsigned char>(token[0])));
        std::string rest = token.size() > 1 ? token.substr(1) : std::string();
        for (char &c : rest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        switch (letter) {
        case 'N':
            column.kind = ColumnKind::Name;
            break;
        case 'S':
            column.kind = ColumnKind::Size;
            break;
        case 'P':
            column.kind = ColumnKind::PackedSize;
            break;
        case 'D':
            column.kind = ColumnKind::Date;
            break;
        case 'T':
            column.kind = ColumnKind::Time;
            break;
        case 'Z':
            column.kind = ColumnKind::Description;
            break;
        case 'O':
            column.kind = ColumnKind::Owner;
            break;
        case 'C':
            if (!rest.empty() && std::isdigit(static_cast<unsigned char>(rest[0]))) {
                column.kind = ColumnKind::Custom;
                column.custom = rest[0] - '0';
                rest.erase(0, 1);
            }
            break;
        default:
            break;
        }
        column.modifiers = rest;
        columns.push_back(column);
    }
    return columns;
}

int StripeCount(const std::vector<Column> &columns) {
    size_t count = columns.size();
    for (size_t group = 1; group < count; ++group) {
        if (count % group != 0) continue;
        bool repeats = true;
        for (size_t i = group; i < count && repeats; ++i)
            repeats = columns[i].kind == columns[i % group].kind &&
                      columns[i].custom == columns[i % group].custom;
        if (repeats) return static_cast<int>(count / group);
    }
    return 1;
}

std::vector<int> LayoutColumns(const std::vector<Column> &columns, int width) {
    std::vector<int> result(columns.size(), 0);
    if (columns.empty() || width <= 0) return result;
    size_t shown = columns.size();
    // A column of width 0 gets what is left, at least one column, as in the host.
    const int kSmallestShared = 1;
    for (;;) {
        int fixed = static_cast<int>(shown) - 1, shared = 0;
        for (size_t i = 0; i < shown; ++i) {
            int w = columns[i].width > 0 ? columns[i].width : NaturalWidth(columns[i]);
            if (w > 0)
                fixed += w;
            else
                ++shared;
        }
        if (shown == 1) {
            result[0] = width;
            return result;
        }
        if (fixed + shared * kSmallestShared <= width) {
            int free = width - fixed;
            int given = 0;
            for (size_t i = 0; i < shown; ++i) {
                int w = columns[i].width > 0 ? columns[i].width : NaturalWidth(columns[i]);
                if (w == 0) {
                    w = free / shared + (given < free % shared ? 1 : 0);
                    ++given;
                }
                result[i] = w;
            }
            // Nothing shares the rest: the last column kept takes it, as in the host.
            if (shared == 0) result[shown - 1] += free;
            return result;
        }
        --shown;
    }
}

std::string DefaultColumnTitle(const Column &column) {
    switch (column.kind) {
    case ColumnKind::Name:
        return "Name";
    case ColumnKind::Size:
        return "Size";
    case ColumnKind::PackedSize:
        return "Packed";
    case ColumnKind::Date:
        return "Date";
    case ColumnKind::Time:
        return "Time";
    case ColumnKind::Description:
        return "Description";
    case ColumnKind::Owner:
        return "Owner";
    default:
        return "";
    }
}

std::string FormatSizeCell(uint64_t size, bool folder, bool dots, int width, bool group,
                           const std::string &language) {
    bool russian = language == "Russian";
    if (dots) return RightAligned(russian ? "<Вверх>" : "<  Up  >", width);
    if (folder) return RightAligned(russian ? "<Папка>" : "<Folder>", width);
    std::string text = group ? Grouped(size) : std::to_string(size);
    if (static_cast<int>(text.size()) > width) text = std::to_string(size);
    const char *units = "KMGTP";
    uint64_t scaled = size;
    for (int unit = 0; static_cast<int>(text.size()) > width && unit < 5; ++unit) {
        scaled = (scaled + 1023) / 1024;
        text = std::to_string(scaled) + units[unit];
    }
    return RightAligned(text, width);
}

std::string FormatDateCell(FILETIME time) {
    std::tm local;
    if (!LocalTime(time, local)) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%02d", local.tm_mday, local.tm_mon + 1,
                  local.tm_year % 100);
    return text;
}

std::string FormatTimeCell(FILETIME time) {
    std::tm local;
    if (!LocalTime(time, local)) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d", local.tm_hour, local.tm_min);
    return text;
}

std::string NameWithoutPath(const std::string &name) {
    size_t slash = name.find_last_of("\\/"); // the host's name part, after either separator
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

int PageTop(int top, int current, int count, int rows, int stripes) {
    int page = rows * stripes;
    if (current < top) top = stripes > 1 ? current - current % rows : current;
    if (current >= top + page)
        top = stripes > 1 ? current - current % rows - (stripes - 1) * rows : current - page + 1;
    int lastTop = std::max(0, count - page);
    if (stripes > 1) lastTop = (lastTop + rows - 1) / rows * rows;
    return std::max(0, std::min(top, lastTop));
}

} // namespace panelhost
