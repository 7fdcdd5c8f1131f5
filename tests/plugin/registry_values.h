// Raw access to registry values under HKEY_CURRENT_USER, for putting stored settings in place
// and checking what the plugin wrote: the real registry under Wine, the registry file natively.
#ifndef BSOPANEL_TESTS_PLUGIN_REGISTRY_VALUES_H
#define BSOPANEL_TESTS_PLUGIN_REGISTRY_VALUES_H

#include <windows.h>

#include <optional>
#include <string>

struct StoredValue {
    DWORD type = 0;
    std::string data;
};

bool KeyExists(const std::string &keyPath);
void WriteRawValue(const std::string &keyPath, const std::string &name, DWORD type,
                   const std::string &data);
void WriteDwordValue(const std::string &keyPath, const std::string &name, DWORD value);
// Stored as REG_SZ with its terminating zero.
void WriteTextValue(const std::string &keyPath, const std::string &name, const std::string &text);
std::optional<StoredValue> ReadRawValue(const std::string &keyPath, const std::string &name);

#endif
