#pragma once
// The program's address cache in the registry, read and written directly by the
// cases (same Wine prefix, same wineserver as the program).
#include <windows.h>

#include <optional>
#include <string>

namespace e2e {

// Spelled out here rather than taken from the program, so that a wrong path shows.
constexpr char kCacheKey[] = "Software\\Tarvex\\WOL\\Cache";

struct RegistryValue {
    DWORD type = REG_NONE;
    std::string bytes;
};

/// The cache value `name` as stored: its type and every byte.
std::optional<RegistryValue> ReadCacheEntry(const std::string& name);

/// Stores `text` as the program does: REG_SZ, cut to 17 characters, NUL-padded to 18 bytes.
bool PutCacheEntry(const std::string& name, const std::string& text);

void DeleteCacheEntry(const std::string& name);

/// Removes the cache key with every value in it.
void DeleteCache();

}  // namespace e2e
