#include "cache/settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A policy, in either view, wins over the program's own key; the places after the one
// that has a value are never read.
TEST(Settings, APolicyInEitherViewWinsOverTheProgramsKey) {
    const struct {
        std::optional<std::uint32_t> policy64, policy32, program;
        std::optional<std::uint32_t> value;
        bool by_policy;
        std::string read;  // the places asked, in order
    } cases[] = {
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, "64 32 program "},
        {std::nullopt, std::nullopt, 1, 1, false, "64 32 program "},
        {1, std::nullopt, 0, 1, true, "64 "},
        {0, std::nullopt, 1, 0, true, "64 "},
        {std::nullopt, 1, 0, 1, true, "64 32 "},
        {std::nullopt, 0, 1, 0, true, "64 32 "},
        {2, 1, 1, 2, true, "64 "},
    };
    for (const auto& c : cases) {
        std::string read;
        const std::optional<SettingValue> found = FirstSetting([&](SettingPlace place) {
            switch (place) {
            case SettingPlace::kPolicy64: read += "64 "; return c.policy64;
            case SettingPlace::kPolicy32: read += "32 "; return c.policy32;
            case SettingPlace::kProgram: read += "program "; return c.program;
            }
            return std::optional<std::uint32_t>();
        });
        const std::string name = "read " + c.read;
        EXPECT_EQ(read, c.read) << name;
        ASSERT_EQ(found.has_value(), c.value.has_value()) << name;
        if (!found) continue;
        EXPECT_EQ(found->value, *c.value) << name;
        EXPECT_EQ(found->by_policy, c.by_policy) << name;
    }
}

}  // namespace
