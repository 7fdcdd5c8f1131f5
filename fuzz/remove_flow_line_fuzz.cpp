// RemoveFlowLine on arbitrary flow files.
//
// Input, in fields separated by byte 0xFF: the item's file name (cut to 259 characters), the
// flow file's bytes, and when present the bytes of an old "0001000A.TMP" lying beside it.
// The flow file is named in upper case and lies on disk in lower case, as a Linux mailer
// writes it. Checked against a model of the rewrite:
// - a line is the item's when its name (behind "#" or "^", up to a NUL byte) is the item's
//   name as the file system compares names (on Linux: the name in its native form, exactly),
//   wildcards taken literally; failing that, when it is so once its trailing blanks are
//   stripped;
// - with such lines the result is 1, they are gone, every other line is there byte for byte
//   with its own line end, and the removed-line buffer holds the last one (cut to its 260 bytes); a
//   file left without a line that names a file is gone;
// - without them the flow file is untouched; a result of 1 then (a line the file system found
//   in another case) must come from a line without wildcards;
// - nothing else is left beside the flow file but the old temporary file, untouched.
#include "fuzz_support.h"

#include "bso/flow_file.h"

#include <compat_posix.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

bool IsStripped(char c) {
    return c == '\r' || c == '\n' || c == '\t' || c == ' ';
}

// The lines as the reader sees them, each with the line end that ended it: CR LF, LF and a
// lone CR each end one; the last may have none.
std::vector<std::pair<std::string, std::string>> SplitLines(const std::string &file) {
    std::vector<std::pair<std::string, std::string>> lines;
    size_t start = 0;
    while (start < file.size()) {
        size_t end = file.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back({file.substr(start), ""});
            break;
        }
        size_t next =
            end + (file[end] == '\r' && end + 1 < file.size() && file[end + 1] == '\n' ? 2 : 1);
        lines.push_back({file.substr(start, end - start), file.substr(end, next - end)});
        start = next;
    }
    return lines;
}

// The row's name is the native form of a line's name (a name of no Linux path stays as it is).
bool SameName(const std::string &name, const std::string &item) {
    if (name.size() >= MAX_PATH) return false;
    char native[MAX_PATH];
    if (CompatToPosixPath(name.c_str(), native, sizeof native)) return item == native;
    return name == item;
}

// 2: the line names the item as it stands, 1: once its trailing blanks are stripped, 0: not.
int Closeness(const std::string &line, const std::string &item) {
    if (!line.empty() && line[0] == '~') return 0;
    bool directive = !line.empty() && (line[0] == '#' || line[0] == '^');
    std::string name = (directive ? line.substr(1) : line).c_str();
    if (SameName(name, item)) return 2;
    std::string trimmed = name;
    while (!trimmed.empty() && IsStripped(trimmed.back())) trimmed.pop_back();
    return trimmed != name && SameName(trimmed, item) ? 1 : 0;
}

bool NamesAFile(const std::string &line) {
    if (line.empty() || line[0] == '~') return false;
    size_t skip = line[0] == '#' || line[0] == '^' ? 1 : 0;
    return line.find_first_not_of(" \t\r", skip) != std::string::npos;
}

struct Expected {
    bool matched = false;
    bool deleted = false;
    std::string file;
    std::string removed;
};

Expected Model(const std::string &flow, const std::string &itemName) {
    Expected expected;
    std::vector<std::pair<std::string, std::string>> lines = SplitLines(flow);
    int best = 0;
    // An item without a name is no row's: nothing is its line.
    if (!itemName.empty())
        for (const auto &[line, end] : lines) best = std::max(best, Closeness(line, itemName));
    if (best == 0) {
        expected.file = flow;
        return expected;
    }
    expected.matched = true;
    bool keptAFile = false;
    for (const auto &[line, end] : lines) {
        if (Closeness(line, itemName) >= best) {
            expected.removed = line;
            continue;
        }
        keptAFile = keptAFile || NamesAFile(line);
        expected.file += line + end;
    }
    expected.deleted = !keptAFile;
    return expected;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    bool oldTemporary = std::count(data, data + size, 0xFF) >= 2; // a third field
    std::string itemName = TakeField(data, size);
    std::string flow = TakeField(data, size);
    std::string temporary = TakeField(data, size);

    static const std::string flowNative = Scratch().native + "/0001000a.flo";
    static const std::string tmpNative = Scratch().native + "/0001000a.tmp";
    static const std::string flowWin = Scratch().win + "\\0001000A.FLO";
    WriteNativeFile(flowNative, flow);
    if (oldTemporary) WriteNativeFile(tmpNative, temporary);

    PluginPanelItem item;
    memset(&item, 0, sizeof item);
    size_t nameLength = strnlen(itemName.c_str(), MAX_PATH - 1);
    memcpy(item.FindData.cFileName, itemName.c_str(), nameLength);
    const std::string shownName = item.FindData.cFileName;

    char removed[RemovedLineSize];
    memset(removed, 0x5A, sizeof removed);
    int result = RemoveFlowLine(flowWin.c_str(), &item, removed);

    Expected expected = Model(flow, shownName);
    std::string note = "item \"" + Printable(shownName) + "\" flow \"" + Printable(flow) + "\"";
    std::string after;
    bool present = ReadNativeFile(flowNative, after);
    std::string listing = ScratchListing();
    FUZZ_CHECK(memchr(removed, '\0', sizeof removed) != nullptr,
               note + ": removed line unterminated");
    if (!expected.matched && result == 1) {
        // A line the file system found in another case: never a pattern line.
        FUZZ_CHECK(strpbrk(removed, "*?") == nullptr, note + ": took \"" + removed + "\"");
        return 0;
    }
    FUZZ_CHECK(result == static_cast<int>(expected.matched),
               note + ": result " + std::to_string(result));
    if (expected.deleted) {
        FUZZ_CHECK(!present, note + ": emptied flow file left as \"" + Printable(after) + "\"");
    } else {
        FUZZ_CHECK(present, note + ": flow file gone; beside it: " + listing);
        FUZZ_CHECK(after == expected.file, note + ": rewritten as \"" + Printable(after) +
                                               "\", expected \"" + Printable(expected.file) + "\"");
    }
    std::string left = present ? "0001000a.flo" : "";
    if (oldTemporary) {
        std::string oldBytes;
        FUZZ_CHECK(ReadNativeFile(tmpNative, oldBytes) && oldBytes == temporary,
                   note + ": the old temporary file was changed");
        left = left.empty() ? "0001000a.tmp" : left;
    }
    if (!oldTemporary) FUZZ_CHECK(listing == left, note + ": left " + listing);

    size_t copied =
        expected.removed.size() < RemovedLineSize ? expected.removed.size() : RemovedLineSize - 1;
    FUZZ_CHECK(expected.removed.compare(0, copied, removed, copied) == 0 && removed[copied] == '\0',
               note + ": removed \"" +
                   Printable(std::string(removed, strnlen(removed, sizeof removed))) +
                   "\", expected \"" + Printable(expected.removed) + "\"");
    if (oldTemporary) std::remove(tmpNative.c_str());
    return 0;
}
