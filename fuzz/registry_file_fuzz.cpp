// The registry file reader of the Win32 layer (HKEY_CURRENT_USER kept in a REGEDIT4 text file),
// through the registry calls the plugin and the host make.
//
// Input, in fields separated by byte 0xFF: the registry file's bytes, then optionally the data,
// the name and the key of a text value that is set afterwards. Checked:
// - a file that cannot be read as REGEDIT4 fails every call with ERROR_BADDB, and stays byte for
//   byte as it was: a change is refused, never made on a "fixed" file;
// - a file that can be read answers every call; setting a value then writes a file that reads
//   back: the new value as set, every value named in the old file unchanged (type and data),
//   and setting the same value again writes the very same bytes (what is written reads back
//   to itself); deleting one of the file's values then takes out that one and no other;
// - nothing but the registry file is left in its directory.
#include "fuzz_support.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

std::string RegistryFile() {
    static const std::string path = Scratch().native + "/registry.reg";
    return path;
}

struct Named {
    std::string key; // below HKEY_CURRENT_USER, "" for the hive itself
    std::string name;
};

bool SameIgnoringCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The values the file names, read loosely (the exact reading is the layer's business): a
// section "[HKEY_CURRENT_USER\...]" sets the key, a line "name"=... or @=... names a value.
std::vector<Named> NamedValues(const std::string &file) {
    std::vector<Named> found;
    const std::string hive = "HKEY_CURRENT_USER";
    std::string key;
    bool inHive = false;
    for (size_t start = 0; start < file.size() && found.size() < 8;) {
        size_t end = file.find('\n', start);
        if (end == std::string::npos) end = file.size();
        std::string line = file.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line[0] == '[') {
            size_t close = line.find_last_of(']');
            std::string name =
                close == std::string::npos ? std::string() : line.substr(1, close - 1);
            inHive = SameIgnoringCase(name.substr(0, hive.size()), hive) &&
                     (name.size() == hive.size() || name[hive.size()] == '\\');
            key =
                inHive && name.size() > hive.size() ? name.substr(hive.size() + 1) : std::string();
            continue;
        }
        if (!inHive || key.find_first_of("\r\n[]") != std::string::npos) continue;
        // The calls take C strings: a key named with a NUL in it is reached, and changed, as
        // the key its name is cut to.
        const std::string reached = key.substr(0, key.find('\0'));
        if (line[0] == '@') {
            found.push_back({reached, ""});
        } else if (line[0] == '"') {
            std::string name;
            for (size_t at = 1; at < line.size() && line[at] != '"'; ++at) {
                if (line[at] == '\\' && at + 1 < line.size()) ++at;
                name += line[at];
            }
            if (name.find('\0') == std::string::npos) found.push_back({reached, name});
        }
    }
    return found;
}

struct Answer {
    LSTATUS status = ERROR_SUCCESS;
    DWORD type = 0;
    std::string data;
    bool operator==(const Answer &other) const {
        return status == other.status && type == other.type && data == other.data;
    }
};

Answer Query(const Named &value) {
    Answer answer;
    HKEY key = nullptr;
    answer.status = RegOpenKeyExA(HKEY_CURRENT_USER, value.key.c_str(), 0, KEY_READ, &key);
    if (answer.status != ERROR_SUCCESS) return answer;
    DWORD size = 0;
    answer.status =
        RegQueryValueExA(key, value.name.c_str(), nullptr, &answer.type, nullptr, &size);
    if (answer.status == ERROR_SUCCESS && size > 0) {
        std::vector<char> data(size);
        answer.status = RegQueryValueExA(key, value.name.c_str(), nullptr, &answer.type,
                                         reinterpret_cast<BYTE *>(data.data()), &size);
        answer.data.assign(data.data(), size);
    }
    RegCloseKey(key);
    return answer;
}

std::string Describe(const Named &value, const Answer &answer) {
    return "[" + Printable(value.key) + "] \"" + Printable(value.name) + "\": status " +
           std::to_string(answer.status) + " type " + std::to_string(answer.type) + " data \"" +
           Printable(answer.data) + "\"";
}

// A key path as the registry calls take it: empty components ("a\\\\b", a trailing "\\") vanish.
std::string CanonicalKey(const std::string &path) {
    std::string canonical, component;
    for (size_t at = 0; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '\\') {
            component += path[at];
            continue;
        }
        if (!component.empty()) canonical += (canonical.empty() ? "" : "\\") + component;
        component.clear();
    }
    return canonical;
}

bool SameValue(const Named &a, const Named &b) {
    return SameIgnoringCase(CanonicalKey(a.key), CanonicalKey(b.key)) &&
           SameIgnoringCase(a.name, b.name);
}

LSTATUS SetProbe(const Named &probe, const std::string &data) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, probe.key.c_str(), 0, nullptr, 0,
                                     KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExA(key, probe.name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE *>(data.data()),
                            static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return status;
}

LSTATUS Delete(const Named &value) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, value.key.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) return status;
    status = RegDeleteValueA(key, value.name.c_str());
    RegCloseKey(key);
    return status;
}

std::string FileNow() {
    std::string bytes;
    FUZZ_CHECK(ReadNativeFile(RegistryFile(), bytes), "registry file gone: " + ScratchListing());
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    setenv("BSOPANEL_REGISTRY", RegistryFile().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string file = TakeField(data, size);
    std::string probeData = TakeField(data, size);
    Named probe{"", TakeField(data, size).c_str()};
    probe.key = TakeField(data, size).c_str();
    if (probe.name.empty()) probe.name = "Probe";
    if (probe.key.empty()) probe.key = "Software\\Fuzz";
    WriteNativeFile(RegistryFile(), file);
    const std::string note = "file \"" + Printable(file) + "\"";

    HKEY hive = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &hive);
    FUZZ_CHECK(status == ERROR_SUCCESS || status == ERROR_BADDB,
               note + ": status " + std::to_string(status));
    if (status == ERROR_SUCCESS) RegCloseKey(hive);
    std::vector<Named> named = NamedValues(file);
    bool keyAllowed = probe.key.find_first_of("\r\n[]") == std::string::npos;
    bool nameAllowed = probe.name.find_first_of("\r\n") == std::string::npos;

    if (status == ERROR_BADDB) {
        for (const Named &value : named)
            FUZZ_CHECK(Query(value).status == ERROR_BADDB,
                       note + ": read " + Printable(value.name));
        if (keyAllowed)
            FUZZ_CHECK(SetProbe(probe, probeData) == ERROR_BADDB, note + ": set on a broken file");
        FUZZ_CHECK(RegDeleteValueA(HKEY_CURRENT_USER, "Probe") == ERROR_BADDB,
                   note + ": delete on a broken file");
        FUZZ_CHECK(FileNow() == file,
                   note + ": a broken file was changed to \"" + Printable(FileNow()) + "\"");
        FUZZ_CHECK(ScratchListing() == "registry.reg", note + ": left " + ScratchListing());
        return 0;
    }

    std::vector<Answer> before;
    for (const Named &value : named) {
        before.push_back(Query(value));
        FUZZ_CHECK(before.back().status != ERROR_BADDB,
                   note + ": " + Describe(value, before.back()));
    }
    LSTATUS set = SetProbe(probe, probeData);
    FUZZ_CHECK(set == (keyAllowed && nameAllowed ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER),
               note + ": set [" + Printable(probe.key) + "] \"" + Printable(probe.name) +
                   "\" gave " + std::to_string(set));
    FUZZ_CHECK(ScratchListing() == "registry.reg", note + ": left " + ScratchListing());
    if (set != ERROR_SUCCESS) return 0;
    std::string written = FileNow();
    const std::string after = note + " rewritten \"" + Printable(written) + "\"";

    Answer got = Query(probe);
    std::string expected = probeData;
    if (expected.empty() || expected.back() != '\0') expected += '\0';
    FUZZ_CHECK(got.status == ERROR_SUCCESS && got.type == REG_SZ && got.data == expected,
               after + ": probe " + Describe(probe, got));
    for (size_t i = 0; i < named.size(); ++i) {
        if (SameValue(named[i], probe)) continue;
        Answer now = Query(named[i]);
        FUZZ_CHECK(now == before[i], after + ": was " + Describe(named[i], before[i]) + ", now " +
                                         Describe(named[i], now));
    }

    FUZZ_CHECK(SetProbe(probe, probeData) == ERROR_SUCCESS, after + ": set again");
    FUZZ_CHECK(FileNow() == written, after + ": written again as \"" + Printable(FileNow()) + "\"");

    // Delete one of the file's values (or the probe): it goes, the others stay.
    Named gone = named.empty() ? probe : named[probeData.size() % named.size()];
    Answer present = Query(gone);
    LSTATUS deleted = Delete(gone);
    FUZZ_CHECK(deleted == (present.status == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND),
               after + ": delete of " + Describe(gone, present) + " gave " +
                   std::to_string(deleted));
    FUZZ_CHECK(Query(gone).status == ERROR_FILE_NOT_FOUND, after + ": still there after delete");
    for (size_t i = 0; i < named.size(); ++i) {
        if (SameValue(named[i], gone) || SameValue(named[i], probe)) continue;
        FUZZ_CHECK(Query(named[i]) == before[i], after + ": delete of " + Printable(gone.name) +
                                                     " changed " +
                                                     Describe(named[i], Query(named[i])));
    }
    if (!SameValue(gone, probe))
        FUZZ_CHECK(Query(probe) == got, after + ": delete changed the probe");
    FUZZ_CHECK(ScratchListing() == "registry.reg", after + ": left " + ScratchListing());
    return 0;
}
