// RemoveFlowLine on arbitrary flow files, with the stand-in host's CmpName.
//
// Input, in fields separated by byte 0xFF: the item's file name (cut to 259 characters), the
// flow file's bytes, and when present the bytes of an old "0001000A.TMP" lying beside it.
// The flow file is named in upper case and lies on disk in lower case, as a Linux mailer
// writes it. Checked against a model of the rewrite:
// - the result is 1 exactly when a line's name (the pattern) matches the item's name;
// - the flow file keeps its name on disk and then holds exactly the lines that neither matched
//   nor were "~" lines, in their order, each stripped of trailing CR, LF, tabs and blanks
//   (never its first character) and ended with CR LF, the bytes behind a NUL in a line kept;
// - the removed-line buffer holds the last matching line, cut to its 260 bytes, or "";
// - nothing else is left beside the flow file: no temporary file, no lost line.
#include "fuzz_support.h"

#include "bso/flow_file.h"
#include "host_core.h"
#include "shell/host.h"

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

int WINAPI HostCmpName(const char *pattern, const char *string, int skipPath) {
    return standin::Host::CmpName(pattern, string, skipPath != 0) ? 1 : 0;
}

bool IsStripped(char c) {
    return c == '\r' || c == '\n' || c == '\t' || c == ' ';
}

// The lines as a reader of CR LF and LF text sees them.
std::vector<std::string> SplitLines(const std::string &file) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < file.size()) {
        size_t end = file.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(file.substr(start));
            break;
        }
        std::string line = file.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

struct Expected {
    std::string file;
    bool matched = false;
    std::string removed;
};

Expected Model(const std::string &flow, const char *itemName) {
    Expected expected;
    for (std::string line : SplitLines(flow)) {
        while (line.size() > 1 && IsStripped(line.back())) line.pop_back();
        if (!line.empty() && line[0] == '~') continue;
        bool directive = !line.empty() && (line[0] == '#' || line[0] == '^');
        std::string name = (directive ? line.substr(1) : line).c_str();
        if (standin::Host::CmpName(name.c_str(), itemName, false)) {
            expected.matched = true;
            expected.removed = line;
            continue;
        }
        expected.file += line + "\r\n";
    }
    return expected;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    HostInfo.CmpName = HostCmpName;
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
    const char *shownName = item.FindData.cFileName;

    char removed[RemovedLineSize];
    memset(removed, 0x5A, sizeof removed);
    int result = RemoveFlowLine(flowWin.c_str(), &item, removed);

    Expected expected = Model(flow, shownName);
    std::string note = "item \"" + Printable(shownName) + "\" flow \"" + Printable(flow) + "\"";
    FUZZ_CHECK(result == static_cast<int>(expected.matched),
               note + ": result " + std::to_string(result));
    std::string after;
    FUZZ_CHECK(ReadNativeFile(flowNative, after),
               note + ": flow file gone; beside it: " + ScratchListing());
    FUZZ_CHECK(after == expected.file, note + ": rewritten as \"" + Printable(after) +
                                           "\", expected \"" + Printable(expected.file) + "\"");
    FUZZ_CHECK(ScratchListing() == "0001000a.flo", note + ": left " + ScratchListing());

    size_t copied =
        expected.removed.size() < RemovedLineSize ? expected.removed.size() : RemovedLineSize - 1;
    FUZZ_CHECK(memchr(removed, '\0', sizeof removed) != nullptr,
               note + ": removed line unterminated");
    FUZZ_CHECK(expected.removed.compare(0, copied, removed, copied) == 0 && removed[copied] == '\0',
               note + ": removed \"" +
                   Printable(std::string(removed, strnlen(removed, sizeof removed))) +
                   "\", expected \"" + Printable(expected.removed) + "\"");
    return 0;
}
