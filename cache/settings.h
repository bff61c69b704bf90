#pragma once
// Where the program's settings are looked for. An administrator's policy comes first:
// HKLM\Software\Policies is never virtualized, and from Windows 7 on both registry views
// share it, so a value set there with 64-bit tools or by Group Policy is the one that
// counts. The program's own key comes after it, as this 32-bit program sees it (the
// 32-bit view, where a standard user's virtualized copy is read first).
#include <cstdint>
#include <functional>
#include <optional>

/// The places a setting may be, in the order they are read.
enum class SettingPlace {
    kPolicy64,  // HKLM\Software\Policies\Tarvex\WOL in the 64-bit view
    kPolicy32,  // the same key in the 32-bit view (a key of its own before Windows 7)
    kProgram,   // HKLM\Software\Tarvex\WOL as the program sees it
};

/// A setting's value and whether an administrator's policy gave it.
struct SettingValue {
    std::uint32_t value = 0;
    bool by_policy = false;
};

/// The value of the first place in order that has one, asking `read` no further than
/// that; nothing when no place has it.
std::optional<SettingValue> FirstSetting(const std::function<std::optional<std::uint32_t>(SettingPlace)>& read);
