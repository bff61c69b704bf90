#include "tests/e2e/cache_entries.h"

#include "common/handles-win32.h"

namespace e2e {

std::optional<RegistryValue> ReadCacheEntry(const std::string& name) {
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCacheKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::nullopt;
    BYTE data[256];
    DWORD size = sizeof data;
    RegistryValue value;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &value.type, data, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.bytes.assign(reinterpret_cast<const char*>(data), size);
    return value;
}

bool PutCacheEntry(const std::string& name, const std::string& text) {
    UniqueKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCacheKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    char data[18] = {};
    text.copy(data, 17);
    return RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data) ==
           ERROR_SUCCESS;
}

void DeleteCacheEntry(const std::string& name) {
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCacheKey, 0, KEY_WRITE, key.put()) == ERROR_SUCCESS) {
        RegDeleteValueA(key.get(), name.c_str());
    }
}

void DeleteCache() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kCacheKey); }

}  // namespace e2e
