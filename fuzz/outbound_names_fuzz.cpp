// The scanner's name checks on arbitrary directory entries, through a WIN32_FIND_DATAA as a
// search gives it.
//
// Input: byte 0 gives the entry's attributes (bit 0: a directory; the other bits are passed as
// further attribute bits), the rest is the name, up to a NUL, cut to 259 characters. Checked
// against the documented forms, both ways (accepted exactly when the form holds):
// - ClassifyOutboundFile: a dot and exactly three characters from the table of ?UT, ?LO, REQ
//   and BSY, without regard to case, with the table's kind and flavor;
// - node file: a file named eight hex digits, a dot and a classified extension, its number the
//   eight digits, and "%08X" of the number plus the extension gives the name back;
// - point directory: a directory named eight hex digits and ".PNT";
// - zone directory: a directory with exactly three hex digits behind its first dot, or four
//   for a zone from 4096 up;
// - file of one link: a file whose first dot starts a classified four-character extension.
// Each check also runs with null out-parameters.
#include "fuzz_support.h"

#include "bso/outbound.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <string>

namespace {

struct Classification {
    const char *extension;
    EntryKind kind;
    Flavor flavor;
};

const Classification Table[] = {
    {"REQ", FileRequest, Normal}, {"BSY", BusyFlag, Normal}, {"ILO", FlowFile, Immediate},
    {"CLO", FlowFile, Crash},     {"DLO", FlowFile, Direct}, {"FLO", FlowFile, Normal},
    {"NLO", FlowFile, Normal},    {"HLO", FlowFile, Hold},   {"IUT", Netmail, Immediate},
    {"CUT", Netmail, Crash},      {"DUT", Netmail, Direct},  {"OUT", Netmail, Normal},
    {"NUT", Netmail, Normal},     {"HUT", Netmail, Hold},
};

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (Upper(c) >= 'A' && Upper(c) <= 'F');
}

bool AllHex(const std::string &text) {
    for (char c : text)
        if (!IsHex(c)) return false;
    return !text.empty();
}

uint32_t HexNumber(const std::string &text) {
    uint32_t value = 0;
    for (char c : text)
        value = value * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : Upper(c) - 'A' + 10);
    return value;
}

bool SameIgnoringCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// The table's entry for an extension given with its dot, or null.
const Classification *Classify(const std::string &extension) {
    if (extension.size() != 4 || extension[0] != '.') return nullptr;
    for (const Classification &entry : Table)
        if (SameIgnoringCase(extension.substr(1), entry.extension)) return &entry;
    return nullptr;
}

void CheckClassification(const std::string &extension) {
    EntryKind kind;
    Flavor flavor;
    int ok = ClassifyOutboundFile(extension.c_str(), &kind, &flavor);
    const Classification *expected = Classify(extension);
    std::string note = "extension \"" + Printable(extension) + "\"";
    FUZZ_CHECK(ok == (expected != nullptr), note + ": result " + std::to_string(ok));
    if (expected != nullptr) {
        FUZZ_CHECK(kind == expected->kind && flavor == expected->flavor,
                   note + ": kind " + std::to_string(kind) + " flavor " + std::to_string(flavor));
    } else {
        FUZZ_CHECK(kind == NoEntryKind || flavor == NoFlavor, note + ": refused with both set");
    }
}

void CheckEntry(const WIN32_FIND_DATAA &entry) {
    const std::string name = entry.cFileName;
    const bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::string note =
        std::string(directory ? "directory" : "file") + " \"" + Printable(name) + "\"";

    // Node file.
    {
        const Classification *extension = name.size() == 12 ? Classify(name.substr(8)) : nullptr;
        bool expected = !directory && name.size() == 12 && AllHex(name.substr(0, 8)) && extension;
        EntryKind kind = NoEntryKind;
        Flavor flavor = NoFlavor;
        uint32_t number = 0;
        int ok = IsNodeFileEntry(&entry, &kind, &flavor, &number);
        FUZZ_CHECK(ok == expected, note + ": node file " + std::to_string(ok));
        FUZZ_CHECK(IsNodeFileEntry(&entry, nullptr, nullptr, nullptr) == ok,
                   note + ": node file, no out");
        if (ok) {
            FUZZ_CHECK(number == HexNumber(name.substr(0, 8)), note + ": number");
            FUZZ_CHECK(kind == extension->kind && flavor == extension->flavor, note + ": kind");
            char printed[32];
            snprintf(printed, sizeof printed, "%08X", static_cast<unsigned>(number));
            FUZZ_CHECK(SameIgnoringCase(printed + name.substr(8), name),
                       note + ": number prints back");
        }
    }
    // Point directory.
    {
        bool expected = directory && name.size() == 12 && AllHex(name.substr(0, 8)) &&
                        SameIgnoringCase(name.substr(8), ".PNT");
        uint32_t number = 0;
        int ok = IsPointDirectoryEntry(&entry, &number);
        FUZZ_CHECK(ok == expected, note + ": point directory " + std::to_string(ok));
        FUZZ_CHECK(IsPointDirectoryEntry(&entry, nullptr) == ok,
                   note + ": point directory, no out");
        if (ok) FUZZ_CHECK(number == HexNumber(name.substr(0, 8)), note + ": point number");
    }
    // Zone directory.
    {
        size_t dot = name.find('.');
        std::string behind = dot == std::string::npos ? std::string() : name.substr(dot + 1);
        // Three digits, or four for the zones from 4096 up (never a second spelling of a lower
        // one).
        bool expected = directory && dot != std::string::npos &&
                        (behind.size() == 3 || behind.size() == 4) && AllHex(behind) &&
                        (behind.size() == 3 || HexNumber(behind) >= 0x1000);
        uint32_t zone = 0;
        int ok = IsZoneDirectoryEntry(&entry, &zone);
        FUZZ_CHECK(ok == expected, note + ": zone directory " + std::to_string(ok));
        FUZZ_CHECK(IsZoneDirectoryEntry(&entry, nullptr) == ok, note + ": zone directory, no out");
        if (ok) FUZZ_CHECK(zone == HexNumber(behind) && zone <= 0xFFFF, note + ": zone");
    }
    // File of one link.
    {
        size_t dot = name.find('.');
        const Classification *extension =
            dot == std::string::npos ? nullptr : Classify(name.substr(dot));
        bool expected = !directory && extension != nullptr;
        EntryKind kind = NoEntryKind;
        Flavor flavor = NoFlavor;
        int ok = IsLinkFileEntry(&entry, &kind, &flavor);
        FUZZ_CHECK(ok == expected, note + ": link file " + std::to_string(ok));
        FUZZ_CHECK(IsLinkFileEntry(&entry, nullptr, nullptr) == ok, note + ": link file, no out");
        if (ok)
            FUZZ_CHECK(kind == extension->kind && flavor == extension->flavor,
                       note + ": link file kind");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    WIN32_FIND_DATAA entry;
    // What a search leaves behind the name is not the name's business: fill it with noise.
    memset(&entry, 0x5A, sizeof entry);
    entry.dwFileAttributes =
        (data[0] & 1 ? FILE_ATTRIBUTE_DIRECTORY : 0) | (static_cast<DWORD>(data[0] & 0xEE) << 4);
    std::string name(reinterpret_cast<const char *>(data + 1), size - 1);
    name = name.substr(0, strnlen(name.c_str(), MAX_PATH - 1));
    memcpy(entry.cFileName, name.c_str(), name.size() + 1);
    entry.cAlternateFileName[0] = '\0';

    CheckClassification(name);
    size_t dot = name.find('.');
    if (dot != std::string::npos) CheckClassification(name.substr(dot));
    CheckEntry(entry);
    return 0;
}
