#include "app/check_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "addr/typed_text.h"
#include "app/main_dialog_fake_test.h"

namespace {

TEST(CheckCommand, ShowsOneOfThreeMessagesWithTheTextAsTyped) {
    struct Case {
        const char* typed;
        bool answers;
        bool probed;
        CheckResult result;
        std::string shown;
    };
    const std::string caption = " | Check IP | ";
    const Case cases[] = {
        {"10.77.0.2", true, true, CheckResult::kOn, "The PC with IP 10.77.0.2 is on" + caption + "64"},
        {"10.77.0.3", false, true, CheckResult::kOff, "The PC with IP 10.77.0.3 is off" + caption + "16"},
        {"192.168.001.001", true, true, CheckResult::kOn, "The PC with IP 192.168.001.001 is on" + caption + "64"},
        {"127.0.0.1", true, false, CheckResult::kInvalid,
         "The IP 127.0.0.1 is not valid\nCheck it and try again." + caption + "16"},
        {"", true, false, CheckResult::kInvalid, "The IP  is not valid\nCheck it and try again." + caption + "16"},
        {"%s%n.%d.1.1", true, false, CheckResult::kInvalid,
         "The IP %s%n.%d.1.1 is not valid\nCheck it and try again." + caption + "16"},
        // Blanks around a pasted address are no part of it.
        {" 10.77.0.2\t", true, true, CheckResult::kOn, "The PC with IP 10.77.0.2 is on" + caption + "64"},
        {"  ", true, false, CheckResult::kInvalid, "The IP  is not valid\nCheck it and try again." + caption + "16"},
        // The numbers pass, the characters name no address.
        {"10.77.0.2a", true, false, CheckResult::kInvalid,
         "The IP 10.77.0.2a is not valid\nCheck it and try again." + caption + "16"},
        {"10.77. 0.2", true, false, CheckResult::kInvalid,
         "The IP 10.77. 0.2 is not valid\nCheck it and try again." + caption + "16"},
    };
    for (const Case& c : cases) {
        FakeMainDialog dialog;
        dialog.fields[DialogField::kCheckIp] = c.typed;
        std::string probed_text;
        std::int32_t probed_limit = 0;
        const CheckProbe probe = [&](std::string ip, std::int32_t limit) {
            dialog.Note("probe");
            probed_text = ip;
            probed_limit = limit;
            return c.answers;
        };
        CheckCommand(dialog, probe);
        const std::vector<std::string> order =
            c.probed ? std::vector<std::string>{"read check", "probe", "show " + c.shown}
                     : std::vector<std::string>{"read check", "show " + c.shown};
        EXPECT_EQ(dialog.log, order) << c.typed;
        if (c.probed) {
            EXPECT_EQ(probed_text, TrimBlanks(c.typed));
            EXPECT_EQ(probed_limit, 500);
        }
        EXPECT_EQ(CheckIp(c.typed, probe).result, c.result) << c.typed;
    }
}

TEST(CheckCommand, CutsAnOverlongTextToTheMessageBuffer) {
    // No dots: refused without a probe.
    const CheckOutcome outcome = CheckIp(std::string(1000, '9'), [](std::string, std::int32_t) { return true; });
    EXPECT_EQ(outcome.message.text.size(), kCheckMessageSize - 1);
    EXPECT_EQ(outcome.message.text.compare(0, 10, "The IP 999"), 0);
}

}  // namespace
