#pragma once
// The address cache: short texts kept under HKEY_LOCAL_MACHINE\Software\Tarvex\WOL\Cache,
// one REG_SZ value of 18 bytes per entry (layout in cache/cache_value.h). Each call
// opens the key, does its one thing and closes it again; no handle is kept.
#include <windows.h>

#include <optional>
#include <string>

#include "cache/settings.h"
#include "common/handles-win32.h"

/// The cache's key below HKEY_LOCAL_MACHINE.
constexpr char kCacheKeyPath[] = "Software\\Tarvex\\WOL\\Cache";

/// Stores `text` (cut to 17 characters, NUL-padded to 18 bytes) under the value name
/// `name`, replacing what was there; the empty name is the key's default value. Creates
/// the key when missing. True when the value was written; else, when `status` is given,
/// it gets the failing call's error code.
bool WriteCacheValue(std::string name, std::string text, LONG* status = nullptr);

/// The text stored under `name`, or the empty text when there is none or the key
/// cannot be opened. Creates the key when missing. A value this program did not write
/// gives at most its first 17 characters, whatever its type or length.
std::string ReadCacheValue(std::string name);

/// The program's own settings, beside the cache and not in it.
constexpr char kSettingsKeyPath[] = "Software\\Tarvex\\WOL";
/// The same settings as an administrator's policy sets them; they win (cache/settings.h).
constexpr char kPolicyKeyPath[] = "Software\\Policies\\Tarvex\\WOL";

/// The DWORD value `name` at `place` (below HKEY_LOCAL_MACHINE); nothing when the key or
/// the value is missing or the value is of another type.
std::optional<DWORD> ReadSettingDword(const std::string& name, SettingPlace place);

/// The DWORD value `name` of the first place that has one (FirstSetting).
std::optional<SettingValue> ReadSetting(const std::string& name);
