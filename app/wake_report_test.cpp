#include "app/wake_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
// about who answered. The row before the packet and the row after it are apart: the
// later one says who holds the address now.
TEST(WakeReport, SaysWhatWasSeenWithItsIconExitCodeAndToken) {
    const struct {
        const char* name;
        bool on_before;
        std::optional<MacBytes> row_before;
        bool answered;
        std::optional<MacBytes> row;
        std::optional<Ipv4Bytes> new_address;
        WakeVerdict verdict;
        std::string text;
        MessageIcon icon;
        int exit_code;
        std::string token;
    } cases[] = {
        {"turned on, its own row", false, {}, true, kWoken, {}, WakeVerdict::kTurnedOn, "The PC has been turned on.",
         MessageIcon::kInformation, 0, "answered"},
        {"answered but no ARP row (or not on a LAN of this PC)", false, {}, true, {}, {}, WakeVerdict::kTurnedOn,
         "The PC has been turned on.", MessageIcon::kInformation, 0, "answered"},
        {"a row of zeros names nobody", false, {}, true, kZero, {}, WakeVerdict::kTurnedOn,
         "The PC has been turned on.", MessageIcon::kInformation, 0, "answered"},
        {"a group MAC names nobody", false, {}, true, kGroup, {}, WakeVerdict::kTurnedOn, "The PC has been turned on.",
         MessageIcon::kInformation, 0, "answered"},
        {"on before the packet", true, kWoken, true, kWoken, {}, WakeVerdict::kAlreadyOn, "The PC was already on.",
         MessageIcon::kInformation, 0, "already-on"},
        {"on before, no row", true, {}, false, {}, {}, WakeVerdict::kAlreadyOn, "The PC was already on.",
         MessageIcon::kInformation, 0, "already-on"},
        {"on before, a row that names nobody, its own row after", true, kGroup, true, kWoken, {},
         WakeVerdict::kAlreadyOn, "The PC was already on.", MessageIcon::kInformation, 0, "already-on"},
        {"on before without a row, its own row after", true, {}, true, kWoken, {}, WakeVerdict::kAlreadyOn,
         "The PC was already on.", MessageIcon::kInformation, 0, "already-on"},
        {"another device before the packet, the woken MAC after it", true, kOther, true, kWoken, {},
         WakeVerdict::kTurnedOn, "The PC has been turned on.", MessageIcon::kInformation, 0, "answered"},
        {"another device after the packet", false, {}, true, kOther, {}, WakeVerdict::kOtherMac, kOtherText,
         MessageIcon::kWarning, 4, "other-mac"},
        {"another device before the packet is not 'already on'", true, kOther, true, kOther, {},
         WakeVerdict::kOtherMac, kOtherText, MessageIcon::kWarning, 4, "other-mac"},
        {"the woken MAC before the packet, another device after it", true, kWoken, true, kOther, {},
         WakeVerdict::kOtherMac, kOtherText, MessageIcon::kWarning, 4, "other-mac"},
        {"another device before, no row after", true, kOther, true, {}, {}, WakeVerdict::kOtherMac, kOtherText,
         MessageIcon::kWarning, 4, "other-mac"},
        {"another device only before the packet", true, kOther, false, {}, {}, WakeVerdict::kOtherMac, kOtherText,
         MessageIcon::kWarning, 4, "other-mac"},
        {"found at a new address", false, {}, false, {}, kNew, WakeVerdict::kNewAddress, kNewText,
         MessageIcon::kInformation, 0, "new-address"},
        {"a new address wins over another device", false, {}, true, kOther, kNew, WakeVerdict::kNewAddress, kNewText,
         MessageIcon::kInformation, 0, "new-address"},
        {"a new address wins over already on", true, kOther, true, kOther, kNew, WakeVerdict::kNewAddress, kNewText,
         MessageIcon::kInformation, 0, "new-address"},
        {"nothing answered", false, {}, false, {}, {}, WakeVerdict::kNoAnswer, "The PC could not been turned on.",
         MessageIcon::kInformation, 1, "no-answer"},
        {"an old row of another device, nothing answered", false, kOther, false, kOther, {}, WakeVerdict::kNoAnswer,
         "The PC could not been turned on.", MessageIcon::kInformation, 1, "no-answer"},
    };
    for (const auto& c : cases) {
        WakeSighting seen;
        seen.woken = kWoken;
        seen.address = kTyped;
        seen.on_before = c.on_before;
        seen.mac_before = c.row_before;
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
        if (c.verdict == WakeVerdict::kOtherMac) {
            EXPECT_EQ(report.other_mac, kOther) << c.name;
        }
    }
}

// The dialog's box keeps the report as it is, and says each pair it could not remember
// on a line of its own, the system's reason with it when there is one.
TEST(WakeReport, TheDialogsBoxSaysEveryPairThatCouldNotBeRemembered) {
    const PairNotRemembered typed{"192.168.1.20", "00-1a-2b-3c-4d-5e", ""};
    const PairNotRemembered moved{"192.168.1.37", "00-1a-2b-3c-4d-5e", "Access is denied (5)"};
    const struct {
        std::vector<PairNotRemembered> pairs;
        std::string text;
    } cases[] = {
        {{}, kNewText},
        {{moved}, std::string(kNewText) +
                      "\nThe MAC 00-1a-2b-3c-4d-5e could not be remembered for 192.168.1.37. The registry said: "
                      "Access is denied (5)."},
        {{typed, moved}, std::string(kNewText) +
                             "\nThe MAC 00-1a-2b-3c-4d-5e could not be remembered for 192.168.1.20."
                             "\nThe MAC 00-1a-2b-3c-4d-5e could not be remembered for 192.168.1.37. The registry "
                             "said: Access is denied (5)."},
    };
    for (const auto& c : cases) {
        WakeSighting seen;
        seen.woken = kWoken;
        seen.address = kTyped;
        seen.new_address = kNew;
        seen.not_remembered = c.pairs;
        const Message box = WakeReportBox(seen);
        EXPECT_EQ(box.text, c.text);
        EXPECT_STREQ(box.caption, "Turning on PC...");
        EXPECT_EQ(box.icon, MessageIcon::kInformation);
    }
}

}  // namespace
