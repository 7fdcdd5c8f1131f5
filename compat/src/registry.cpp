// HKEY_CURRENT_USER kept in a REGEDIT4 text file ($BSOPANEL_REGISTRY, default
// ~/.config/bsopanel/registry.reg). Every call reads the file afresh; every change re-reads it,
// under a lock on its directory, and replaces it by renaming a complete new copy over it, so
// neither a crash nor another process's change in between is lost. A file that cannot be parsed
// fails every call with ERROR_BADDB and is never written.
#include "internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace compat {
namespace {

const char kHive[] = "HKEY_CURRENT_USER";

struct Value {
    std::string name; // "" is the key's default value, "@" in the file
    DWORD type;
    std::string data;
};

struct KeyEntry {
    std::string name; // the full name, hive included
    std::vector<Value> values;
};

struct Store {
    std::vector<KeyEntry> keys;
    KeyEntry *Find(const std::string &name) {
        for (KeyEntry &key : keys)
            if (EqualNoCase(key.name, name)) return &key;
        return nullptr;
    }
    // A key exists when it has a section of its own or below it (regedit lists both, but a
    // hand-written file may not).
    bool Exists(const std::string &name) const {
        if (EqualNoCase(name, kHive)) return true;
        for (const KeyEntry &key : keys)
            if (key.name.size() >= name.size() &&
                EqualNoCase(key.name.substr(0, name.size()), name) &&
                (key.name.size() == name.size() || key.name[name.size()] == '\\'))
                return true;
        return false;
    }
};

struct Key : Object {
    static constexpr Kind kKind = Object::Key;
    Key(std::string name, REGSAM access) : Object(kKind), name(std::move(name)), access(access) {}
    std::string name;
    REGSAM access;
};

std::mutex registry_mutex; // one change at a time within the process; flock covers the rest

std::string RegistryPath() {
    if (const char *path = std::getenv("BSOPANEL_REGISTRY"); path && *path) return path;
    const char *home = std::getenv("HOME");
    if (!home || !*home) {
        struct passwd *user = getpwuid(getuid());
        home = user ? user->pw_dir : "/";
    }
    return std::string(home) + "/.config/bsopanel/registry.reg";
}

// ---- Reading ---------------------------------------------------------------------------------

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A quoted text at text[at] (on the opening quote); moves at past the closing quote.
bool ParseQuoted(const std::string &text, size_t &at, std::string &out) {
    out.clear();
    for (++at; at < text.size(); ++at) {
        char c = text[at];
        if (c == '"') {
            ++at;
            return true;
        }
        if (c == '\\') {
            if (++at >= text.size() || (text[at] != '\\' && text[at] != '"')) return false;
            c = text[at];
        }
        out += c;
    }
    return false;
}

bool ParseHexBytes(const std::string &text, std::string &out) {
    out.clear();
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    if (at == text.size()) return true;
    for (;;) {
        if (at + 2 > text.size() || HexDigit(text[at]) < 0 || HexDigit(text[at + 1]) < 0)
            return false;
        out += static_cast<char>(HexDigit(text[at]) * 16 + HexDigit(text[at + 1]));
        at += 2;
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
        if (at == text.size()) return true;
        if (text[at++] != ',') return false;
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    }
}

bool ParseValue(const std::string &line, Value &value) {
    size_t at = 0;
    if (line[0] == '@') {
        value.name.clear();
        at = 1;
    } else if (!ParseQuoted(line, at, value.name)) {
        return false;
    }
    if (at >= line.size() || line[at++] != '=') return false;
    std::string rest = line.substr(at);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
    if (!rest.empty() && rest[0] == '"') {
        size_t end = 0;
        if (!ParseQuoted(rest, end, value.data) || end != rest.size()) return false;
        if (value.data.find('\0') != std::string::npos) return false;
        value.type = REG_SZ;
        value.data += '\0';
        return true;
    }
    if (rest.compare(0, 6, "dword:") == 0) {
        if (rest.size() != 14) return false;
        uint32_t number = 0;
        for (size_t i = 6; i < 14; ++i) {
            if (HexDigit(rest[i]) < 0) return false;
            number = number * 16 + static_cast<uint32_t>(HexDigit(rest[i]));
        }
        value.type = REG_DWORD;
        value.data.assign(reinterpret_cast<const char *>(&number), 4); // little-endian, as Windows
        return true;
    }
    if (rest.compare(0, 4, "hex:") == 0) {
        value.type = REG_BINARY;
        return ParseHexBytes(rest.substr(4), value.data);
    }
    if (rest.compare(0, 4, "hex(") == 0) {
        size_t close = rest.find("):");
        if (close == std::string::npos || close == 4 || close > 12) return false;
        uint32_t type = 0;
        for (size_t i = 4; i < close; ++i) {
            if (HexDigit(rest[i]) < 0) return false;
            type = type * 16 + static_cast<uint32_t>(HexDigit(rest[i]));
        }
        value.type = type;
        return ParseHexBytes(rest.substr(close + 2), value.data);
    }
    return false;
}

bool Parse(const std::string &text, Store &store) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // regedit wraps long hex lists: a line that ends in "\" goes on in the next one
        if (!lines.empty() && !lines.back().empty() && lines.back().back() == '\\' &&
            lines.back().find("=hex") != std::string::npos) {
            lines.back().pop_back();
            lines.back() += line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
        } else {
            lines.push_back(line);
        }
        at = end + 1;
    }
    size_t first = 0;
    while (first < lines.size() && lines[first].empty()) ++first;
    if (first == lines.size()) return true; // an empty file is an empty registry
    std::string header = lines[first];
    if (header.compare(0, 3, "\xEF\xBB\xBF") == 0) header.erase(0, 3);
    while (!header.empty() && header.back() == ' ') header.pop_back();
    if (header != "REGEDIT4") return false;
    KeyEntry *current = nullptr;
    for (size_t i = first + 1; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.find_last_of(']');
            if (close == std::string::npos || close < 2 ||
                line.find_first_not_of(" \t", close + 1) != std::string::npos)
                return false;
            std::string name = line.substr(1, close - 1);
            if (name[0] == '-' || name.compare(0, 5, "HKEY_") != 0) return false;
            current = store.Find(name);
            if (!current) {
                store.keys.push_back(KeyEntry{name, {}});
                current = &store.keys.back();
            }
            continue;
        }
        Value value;
        if (!current || (line[0] != '"' && line[0] != '@') || !ParseValue(line, value))
            return false;
        bool replaced = false;
        for (Value &existing : current->values)
            if (EqualNoCase(existing.name, value.name)) existing = value, replaced = true;
        if (!replaced) current->values.push_back(value);
    }
    return true;
}

LSTATUS Load(Store &store) {
    store.keys.clear();
    FILE *file = std::fopen(RegistryPath().c_str(), "rb");
    if (!file) return errno == ENOENT ? ERROR_SUCCESS : static_cast<LSTATUS>(ErrorFromErrno(errno));
    std::string text;
    char buffer[8192];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) return ERROR_CANTREAD;
    return Parse(text, store) ? ERROR_SUCCESS : ERROR_BADDB;
}

// ---- Writing ---------------------------------------------------------------------------------

std::string Quote(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

std::string Format(const Value &value) {
    std::string line = value.name.empty() ? "@=" : Quote(value.name) + "=";
    const std::string &data = value.data;
    char hex[16];
    if (value.type == REG_SZ && !data.empty() && data.find('\0') == data.size() - 1 &&
        data.find_first_of("\r\n") == std::string::npos)
        return line + Quote(data.substr(0, data.size() - 1));
    if (value.type == REG_DWORD && data.size() == 4) {
        uint32_t number;
        std::memcpy(&number, data.data(), 4);
        std::snprintf(hex, sizeof hex, "dword:%08x", number);
        return line + hex;
    }
    // Everything else, and texts that a quoted form cannot carry, as bytes.
    if (value.type == REG_BINARY) {
        line += "hex:";
    } else {
        std::snprintf(hex, sizeof hex, "hex(%x):", static_cast<unsigned>(value.type));
        line += hex;
    }
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(hex, sizeof hex, i ? ",%02x" : "%02x", static_cast<unsigned char>(data[i]));
        line += hex;
    }
    return line;
}

std::string Serialize(const Store &store) {
    std::string text = "REGEDIT4\r\n";
    for (const KeyEntry &key : store.keys) {
        text += "\r\n[" + key.name + "]\r\n";
        for (const Value &value : key.values) text += Format(value) + "\r\n";
    }
    return text + "\r\n";
}

bool MakeDirectories(const std::string &directory) {
    for (size_t at = 1; at <= directory.size(); ++at) {
        if (at < directory.size() && directory[at] != '/') continue;
        if (mkdir(directory.substr(0, at).c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return true;
}

LSTATUS Save(const std::string &path, const Store &store) {
    std::string text = Serialize(store);
    std::string temporary = path + ".XXXXXX";
    int fd = mkstemp(&temporary[0]);
    if (fd < 0) return static_cast<LSTATUS>(ErrorFromErrno(errno));
    struct stat old;
    fchmod(fd, stat(path.c_str(), &old) == 0 ? (old.st_mode & 0777) : 0600);
    bool written = true;
    for (size_t done = 0; written && done < text.size();) {
        ssize_t put = write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        written = put > 0;
        if (written) done += static_cast<size_t>(put);
    }
    written = written && fsync(fd) == 0; // on disk before it takes the old file's place
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && rename(temporary.c_str(), path.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(temporary.c_str());
        return error == ENOSPC ? ERROR_DISK_FULL : ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
}

// Re-reads the file, applies the change and writes it back, holding a lock on its directory
// so that two processes never interleave their read and write. The change returns
// ERROR_SUCCESS to have the file written, anything else to leave it alone.
template <typename Change> LSTATUS Update(Change change) {
    std::lock_guard<std::mutex> guard(registry_mutex);
    std::string path = RegistryPath();
    char resolved[4096];
    if (realpath(path.c_str(), resolved)) path = resolved; // write beside a link's target
    std::string directory = path.substr(0, path.find_last_of('/'));
    if (directory.empty()) directory = "/";
    if (!MakeDirectories(directory)) return static_cast<LSTATUS>(ErrorFromErrno(errno));
    int lock = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock >= 0) flock(lock, LOCK_EX);
    Store store;
    LSTATUS status = Load(store);
    bool changed = false;
    if (status == ERROR_SUCCESS) status = change(store, changed);
    if (status == ERROR_SUCCESS && changed) status = Save(path, store);
    if (lock >= 0) close(lock); // also releases the lock
    return status;
}

// ---- Handles and names -----------------------------------------------------------------------

// The full name and access of a key handle; HKEY_CURRENT_USER is the hive itself.
LSTATUS Resolve(HKEY handle, std::string &name, REGSAM &access) {
    if (handle == HKEY_CURRENT_USER) {
        name = kHive;
        access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    Key *key = Find<Key>(handle);
    if (!key) return ERROR_INVALID_HANDLE;
    name = key->name;
    access = key->access;
    return ERROR_SUCCESS;
}

LSTATUS SubKeyName(HKEY parent, const char *sub_key, std::string &name) {
    REGSAM access;
    if (LSTATUS status = Resolve(parent, name, access)) return status;
    for (const char *part = sub_key ? sub_key : ""; *part;) {
        const char *end = std::strchr(part, '\\');
        if (!end) end = part + std::strlen(part);
        std::string component(part, end);
        if (component.find_first_of("\r\n[]") != std::string::npos) return ERROR_INVALID_PARAMETER;
        if (!component.empty()) name += "\\" + component;
        part = *end ? end + 1 : end;
    }
    return ERROR_SUCCESS;
}

HKEY NewKey(const std::string &name, REGSAM access) {
    auto *key = new Key(name, access);
    RegisterObject(key);
    return reinterpret_cast<HKEY>(static_cast<Object *>(key));
}

bool ValidValueName(const char *name) {
    return !name || !std::strpbrk(name, "\r\n");
}

} // namespace
} // namespace compat

using namespace compat;

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::string name;
    if (LSTATUS status = SubKeyName(hKey, lpSubKey, name)) return status;
    Store store;
    if (LSTATUS status = Load(store)) return status;
    if (!store.Exists(name)) return ERROR_FILE_NOT_FOUND;
    *phkResult = NewKey(name, samDesired);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                               LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::string name;
    if (LSTATUS status = SubKeyName(hKey, lpSubKey, name)) return status;
    bool created = false;
    LSTATUS status = Update([&](Store &store, bool &changed) -> LSTATUS {
        if (store.Exists(name)) return ERROR_SUCCESS;
        // A section for every missing level, as regedit would list them.
        for (size_t at = std::strlen(kHive); at != std::string::npos;) {
            at = name.find('\\', at + 1);
            std::string level = name.substr(0, at);
            if (!store.Exists(level)) store.keys.push_back(KeyEntry{level, {}});
        }
        created = changed = true;
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *phkResult = NewKey(name, samDesired);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    std::string name;
    REGSAM access;
    if (LSTATUS status = Resolve(hKey, name, access)) return status;
    if (!(access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    Store store;
    if (LSTATUS status = Load(store)) return status;
    KeyEntry *key = store.Find(name);
    std::string value_name = lpValueName ? lpValueName : "";
    const Value *value = nullptr;
    if (key)
        for (const Value &candidate : key->values)
            if (EqualNoCase(candidate.name, value_name)) value = &candidate;
    if (!value) return ERROR_FILE_NOT_FOUND;
    const std::string &data = value->data;
    if (lpType) *lpType = value->type;
    DWORD size = static_cast<DWORD>(data.size());
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData) std::memcpy(lpData, data.data(), size);
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE *lpData, DWORD cbData) {
    std::string name;
    REGSAM access;
    if (LSTATUS status = Resolve(hKey, name, access)) return status;
    if (!(access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if ((!lpData && cbData) || !ValidValueName(lpValueName)) return ERROR_INVALID_PARAMETER;
    Value value{lpValueName ? lpValueName : "", dwType,
                std::string(reinterpret_cast<const char *>(lpData), lpData ? cbData : 0)};
    if ((dwType == REG_SZ || dwType == REG_EXPAND_SZ) &&
        (value.data.empty() || value.data.back() != '\0'))
        value.data += '\0';
    return Update([&](Store &store, bool &changed) -> LSTATUS {
        KeyEntry *key = store.Find(name);
        if (!key) {
            store.keys.push_back(KeyEntry{name, {}});
            key = &store.keys.back();
        }
        changed = true;
        for (Value &existing : key->values)
            if (EqualNoCase(existing.name, value.name)) {
                existing.type = value.type;
                existing.data = value.data;
                return ERROR_SUCCESS;
            }
        key->values.push_back(value);
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    std::string name;
    REGSAM access;
    if (LSTATUS status = Resolve(hKey, name, access)) return status;
    if (!(access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    std::string value_name = lpValueName ? lpValueName : "";
    return Update([&](Store &store, bool &changed) -> LSTATUS {
        KeyEntry *key = store.Find(name);
        if (!key) return ERROR_FILE_NOT_FOUND;
        for (size_t i = 0; i < key->values.size(); ++i)
            if (EqualNoCase(key->values[i].name, value_name)) {
                key->values.erase(key->values.begin() + static_cast<long>(i));
                changed = true;
                return ERROR_SUCCESS;
            }
        return ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    std::string name;
    REGSAM access;
    if (LSTATUS status = Resolve(hKey, name, access)) return status;
    if (!(access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    Store store;
    if (LSTATUS status = Load(store)) return status;
    KeyEntry *key = store.Find(name);
    if (!key || dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value &value = key->values[dwIndex];
    if (value.name.size() + 1 > *lpcchValueName) return ERROR_MORE_DATA;
    DWORD size = static_cast<DWORD>(value.data.size());
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(value.name.size());
    if (lpType) *lpType = value.type;
    if (lpData) std::memcpy(lpData, value.data.data(), size);
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_CURRENT_USER) return ERROR_SUCCESS;
    Key *key = Find<Key>(hKey);
    return key && DestroyObject(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // extern "C"
