#include "cache/registry_cache-win32.h"

#include <algorithm>
#include <vector>

#include "cache/cache_value.h"

namespace {

UniqueKey OpenCacheKey(REGSAM access, LONG* status = nullptr) {
    UniqueKey key;
    // RegCreateKeyExA opens the key, or creates it and any missing key above it.
    const LONG created = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCacheKeyPath, 0, nullptr,
                                         REG_OPTION_NON_VOLATILE, access, nullptr, key.put(), nullptr);
    if (created != ERROR_SUCCESS) key.release();
    if (status != nullptr) *status = created;
    return key;
}

}  // namespace

bool WriteCacheValue(std::string name, std::string text, LONG* status) {
    LONG opened = ERROR_SUCCESS;
    const UniqueKey key = OpenCacheKey(KEY_WRITE, &opened);
    if (!key) {
        if (status != nullptr) *status = opened;
        return false;
    }
    const CacheValue value = EncodeCacheValue(text);
    const LONG set = RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ, value.data(), static_cast<DWORD>(value.size()));
    if (status != nullptr) *status = set;
    return set == ERROR_SUCCESS;
}

std::string ReadCacheValue(std::string name) {
    const UniqueKey key = OpenCacheKey(KEY_READ);
    if (!key) return std::string();
    // Our own values are 18 bytes. A longer one written by someone else fails with
    // ERROR_MORE_DATA and the size it needs; it is read whole so that its leading
    // characters count, as they do for an 18-byte value without a NUL. A value that
    // keeps growing between the calls reads as nothing.
    std::vector<BYTE> data(kCacheValueSize, 0);
    DWORD size = static_cast<DWORD>(data.size());
    LONG status = RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, data.data(), &size);
    for (int retry = 0; retry < 3 && status == ERROR_MORE_DATA && size > data.size(); ++retry) {
        data.assign(size, 0);
        status = RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, data.data(), &size);
    }
    if (status != ERROR_SUCCESS) return std::string();
    return DecodeCacheValue(data.data(), std::min<std::size_t>(size, data.size()));
}

std::optional<DWORD> ReadSettingDword(const std::string& name, SettingPlace place) {
    // 32-bit Windows has one view and ignores the view flags.
    const char* path = place == SettingPlace::kProgram ? kSettingsKeyPath : kPolicyKeyPath;
    const REGSAM view = place == SettingPlace::kPolicy64   ? KEY_WOW64_64KEY
                        : place == SettingPlace::kPolicy32 ? KEY_WOW64_32KEY
                                                           : 0;
    UniqueKey key;
    // Opened, never created: a setting nobody made is simply not there.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) {
        key.release();
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value) {
        return std::nullopt;
    }
    return value;
}

std::optional<SettingValue> ReadSetting(const std::string& name) {
    return FirstSetting([&name](SettingPlace place) -> std::optional<std::uint32_t> {
        const std::optional<DWORD> value = ReadSettingDword(name, place);
        if (!value) return std::nullopt;
        return *value;
    });
}
