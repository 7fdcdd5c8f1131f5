#include "registry_values.h"

#include <stdexcept>

bool KeyExists(const std::string &keyPath) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void WriteRawValue(const std::string &keyPath, const std::string &name, DWORD type,
                   const std::string &data) {
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &key, &disposition) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create " + keyPath);
    LSTATUS status =
        RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE *>(data.data()),
                       static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) throw std::runtime_error("cannot set " + keyPath + "\\" + name);
}

void WriteDwordValue(const std::string &keyPath, const std::string &name, DWORD value) {
    WriteRawValue(keyPath, name, REG_DWORD, std::string(reinterpret_cast<const char *>(&value), 4));
}

void WriteTextValue(const std::string &keyPath, const std::string &name, const std::string &text) {
    WriteRawValue(keyPath, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

std::optional<StoredValue> ReadRawValue(const std::string &keyPath, const std::string &name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    StoredValue value;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status = RegQueryValueExA(key, name.c_str(), nullptr, &value.type,
                                  reinterpret_cast<BYTE *>(&value.data[0]), &size);
        value.data.resize(size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}
