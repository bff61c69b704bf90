#include "cache/settings.h"

std::optional<SettingValue> FirstSetting(const std::function<std::optional<std::uint32_t>(SettingPlace)>& read) {
    for (SettingPlace place : {SettingPlace::kPolicy64, SettingPlace::kPolicy32, SettingPlace::kProgram}) {
        if (const std::optional<std::uint32_t> value = read(place)) {
            return SettingValue{*value, place != SettingPlace::kProgram};
        }
    }
    return std::nullopt;
}
