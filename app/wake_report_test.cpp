#include "app/wake_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const MacBytes kWoken{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
const MacBytes kOther{0x02, 0x00, 0x00, 0x00, 0x00, 0x09};
const MacBytes kZero{};
const MacBytes kGroup{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01};
const Ipv4Bytes kTyped{192, 168, 1, 20};
const Ipv4Bytes kNew{192, 168, 1, 37};

constexpr char kOtherText[] = "A device with another MAC (02-00-00-00-00-09) answers at 192.168.1.20.\n"
                              "It may not be the PC you woke.";
constexpr char kNewText[] = "The PC has been turned on at 192.168.1.37.";

// One row per way a watch can end: the woken MAC elsewhere wins over another device,
// which wins over "already on"; a row that names nobody, or no row, says nothing
// about who answered.
TEST(WakeReport, SaysWhatWasSeenWithItsIconExitCodeAndToken) {
    const struct {
        const char* name;
        bool on_before, answered;
        std::optional<MacBytes> row;
        std::optional<Ipv4Bytes> new_address;
        WakeVerdict verdict;
        std::string text;
        MessageIcon icon;
        int exit_code;
        std::string token;
    } cases[] = {
        {"turned on, its own row", false, true, kWoken, {}, WakeVerdict::kTurnedOn, "The PC has been turned on.",
         MessageIcon::kInformation, 0, "answered"},
        {"answered but no ARP row (or not on a LAN of this PC)", false, true, {}, {}, WakeVerdict::kTurnedOn,
         "The PC has been turned on.", MessageIcon::kInformation, 0, "answered"},
        {"a row of zeros names nobody", false, true, kZero, {}, WakeVerdict::kTurnedOn, "The PC has been turned on.",
         MessageIcon::kInformation, 0, "answered"},
        {"a group MAC names nobody", false, true, kGroup, {}, WakeVerdict::kTurnedOn, "The PC has been turned on.",
         MessageIcon::kInformation, 0, "answered"},
        {"on before the packet", true, true, kWoken, {}, WakeVerdict::kAlreadyOn, "The PC was already on.",
         MessageIcon::kInformation, 0, "already-on"},
        {"on before, no row", true, false, {}, {}, WakeVerdict::kAlreadyOn, "The PC was already on.",
         MessageIcon::kInformation, 0, "already-on"},
        {"another device after the packet", false, true, kOther, {}, WakeVerdict::kOtherMac, kOtherText,
         MessageIcon::kWarning, 4, "other-mac"},
        {"another device before the packet is not 'already on'", true, true, kOther, {}, WakeVerdict::kOtherMac,
         kOtherText, MessageIcon::kWarning, 4, "other-mac"},
        {"another device only before the packet", true, false, kOther, {}, WakeVerdict::kOtherMac, kOtherText,
         MessageIcon::kWarning, 4, "other-mac"},
        {"found at a new address", false, false, {}, kNew, WakeVerdict::kNewAddress, kNewText,
         MessageIcon::kInformation, 0, "new-address"},
        {"a new address wins over another device", false, true, kOther, kNew, WakeVerdict::kNewAddress, kNewText,
         MessageIcon::kInformation, 0, "new-address"},
        {"a new address wins over already on", true, true, kOther, kNew, WakeVerdict::kNewAddress, kNewText,
         MessageIcon::kInformation, 0, "new-address"},
        {"nothing answered", false, false, {}, {}, WakeVerdict::kNoAnswer, "The PC could not been turned on.",
         MessageIcon::kInformation, 1, "no-answer"},
        {"an old row of another device, nothing answered", false, false, kOther, {}, WakeVerdict::kNoAnswer,
         "The PC could not been turned on.", MessageIcon::kInformation, 1, "no-answer"},
    };
    for (const auto& c : cases) {
        WakeSighting seen;
        seen.woken = kWoken;
        seen.address = kTyped;
        seen.on_before = c.on_before;
        seen.answered = c.answered;
        seen.mac_at_address = c.row;
        seen.new_address = c.new_address;
        const WakeReport report = DecideWakeReport(seen);
        EXPECT_EQ(report.verdict, c.verdict) << c.name;
        EXPECT_EQ(report.message.text, c.text) << c.name;
        EXPECT_STREQ(report.message.caption, "Turning on PC...") << c.name;
        EXPECT_EQ(report.message.icon, c.icon) << c.name;
        EXPECT_EQ(report.exit_code, c.exit_code) << c.name;
        EXPECT_EQ(report.token, c.token) << c.name;
    }
}

}  // namespace
