#include "app/check_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FakeDialog : CheckDialog {
    std::string field;
    std::vector<std::string>* log;
    std::string text;
    std::string caption;
    unsigned icon = 0;
    int shown = 0;

    std::string ReadCheckField() override {
        log->push_back("read");
        return field;
    }
    void ShowMessage(const std::string& t, const char* c, unsigned i) override {
        log->push_back("show");
        text = t;
        caption = c;
        icon = i;
        ++shown;
    }
};

TEST(CheckCommand, ShowsOneOfThreeMessagesWithTheTextAsTyped) {
    struct Case {
        const char* typed;
        bool answers;
        bool probed;
        const char* text;
        unsigned icon;
    };
    const Case cases[] = {
        {"10.77.0.2", true, true, "The PC with IP 10.77.0.2 is on", kIconInformation},
        {"10.77.0.3", false, true, "The PC with IP 10.77.0.3 is off", kIconError},
        {"192.168.001.001", true, true, "The PC with IP 192.168.001.001 is on", kIconInformation},
        {"127.0.0.1", true, false, "The IP 127.0.0.1 is not valid\nCheck it and try again.", kIconError},
        {"", true, false, "The IP  is not valid\nCheck it and try again.", kIconError},
        {"%s%n.%d.1.1", true, false, "The IP %s%n.%d.1.1 is not valid\nCheck it and try again.",
         kIconError},
    };
    for (const Case& c : cases) {
        std::vector<std::string> log;
        FakeDialog dialog;
        dialog.log = &log;
        dialog.field = c.typed;
        std::string probed_text;
        std::int32_t probed_limit = 0;
        RunCheckCommand(dialog, [&](std::string ip, std::int32_t limit) {
            log.push_back("probe");
            probed_text = ip;
            probed_limit = limit;
            return c.answers;
        });
        const std::vector<std::string> order =
            c.probed ? std::vector<std::string>{"read", "probe", "show"}
                     : std::vector<std::string>{"read", "show"};
        EXPECT_EQ(log, order) << c.typed;
        if (c.probed) {
            EXPECT_EQ(probed_text, c.typed);
            EXPECT_EQ(probed_limit, 500);
        }
        EXPECT_EQ(dialog.shown, 1) << c.typed;
        EXPECT_EQ(dialog.text, c.text);
        EXPECT_EQ(dialog.caption, "Check IP");
        EXPECT_EQ(dialog.icon, c.icon) << c.typed;
    }
}

TEST(CheckCommand, CutsAnOverlongTextToTheMessageBuffer) {
    std::vector<std::string> log;
    FakeDialog dialog;
    dialog.log = &log;
    dialog.field = std::string(1000, '9');  // no dots: refused without a probe
    RunCheckCommand(dialog, [](std::string, std::int32_t) { return true; });
    EXPECT_EQ(dialog.text.size(), kCheckMessageSize - 1);
    EXPECT_EQ(dialog.text.compare(0, 10, "The IP 999"), 0);
}

}  // namespace
