#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

// The request as one line, so that a case states every field it expects.
std::string Describe(const CommandRequest& r) {
    switch (r.kind) {
    case CommandKind::kDialog: return "dialog";
    case CommandKind::kHelp: return "help";
    case CommandKind::kCheck: return "check [" + r.ip + "]";
    case CommandKind::kRefused: return "refused: " + r.error;
    case CommandKind::kWake:
        return "wake mac[" + r.mac + "] ip[" + r.ip + "] pw[" + r.password + "]" + (r.wait ? " wait" : "");
    }
    return "?";
}

TEST(CommandLine, ReadsEveryOptionAndRefusesEveryMisuseWithExitCodeTwo) {
    const std::string mac = "00-1A-2B-3C-4D-5E";
    struct Case {
        Args args;
        std::string expected;
    };
    const Case cases[] = {
        {{}, "dialog"},
        {{"/?"}, "help"},
        {{"-?"}, "help"},
        {{"/wake", "junk", "/?"}, "help"},
        {{"/wake", mac}, "wake mac[00-1A-2B-3C-4D-5E] ip[] pw[]"},
        {{"-WAKE", "0a:1b:2c:3d:4e:5f"}, "wake mac[0a:1b:2c:3d:4e:5f] ip[] pw[]"},
        {{"/wake", mac, "/ip", "10.77.0.2", "/password", "-a/b c", "/wait"},
         "wake mac[00-1A-2B-3C-4D-5E] ip[10.77.0.2] pw[-a/b c] wait"},
        {{"/Wait", "/IP", "nas", "-Password", "abcdef", "/wake", mac},
         "wake mac[00-1A-2B-3C-4D-5E] ip[nas] pw[abcdef] wait"},
        {{"/wake", "10.77.0.2"}, "wake mac[] ip[10.77.0.2] pw[]"},
        // 16 characters is still an IP text, never checked here.
        {{"/wake", "0123456789abcdef", "/wait"}, "wake mac[] ip[0123456789abcdef] pw[] wait"},
        {{"/wake", "nas", "/password", "x"}, "wake mac[] ip[nas] pw[x]"},
        {{"-cHeCk", "10.77.0.2"}, "check [10.77.0.2]"},
        // The MAC rule, and the 17 characters the dialog's field holds.
        {{"/wake", "00-00-00-00-00-00"}, "refused: The MAC is invalid"},
        {{"/wake", "00-1A-2B-3C-4D-5G"}, "refused: The MAC is invalid"},
        {{"/wake", "00-1A-2B-3C-4D-5E-6F"}, "refused: The MAC is invalid"},
        {{"/wake", mac, "/password", "abcdefg"}, "refused: /password takes at most 6 characters"},
        {{"/wake", mac, "/wait"}, "refused: /wait needs an IP: /wake <IP> or /ip <IP>"},
        {{"/wake", "10.77.0.2", "-ip", "10.77.0.3"}, "refused: -ip goes with /wake <MAC> only"},
        {{"/ip", "10.77.0.2"}, "refused: /ip goes with /wake only"},
        {{"/password", "abc"}, "refused: /password goes with /wake only"},
        {{"/check", "10.77.0.2", "/WAIT"}, "refused: /WAIT goes with /wake only"},
        {{"/wake", mac, "/check", "10.77.0.2"}, "refused: /check cannot be used with /wake"},
        {{"/wake", mac, "/WAKE", mac}, "refused: Repeated option: /WAKE"},
        {{"/wake", mac, "/wait", "/wait"}, "refused: Repeated option: /wait"},
        {{"/wake", mac, "/force"}, "refused: Unknown option: /force"},
        {{"/wakeup", mac}, "refused: Unknown option: /wakeup"},
        {{"/"}, "refused: Unknown option: /"},
        {{"--wake", mac}, "refused: Unknown option: --wake"},
        {{"/wake", mac, "10.77.0.2"}, "refused: Unexpected argument: 10.77.0.2"},
        {{""}, "refused: Unexpected argument: "},
        {{"/wake"}, "refused: Missing MAC or IP after /wake"},
        {{"/wake", "/wait"}, "refused: Missing MAC or IP after /wake"},
        {{"/wake", "-1.2.3.4"}, "refused: Missing MAC or IP after /wake"},
        {{"/wake", mac, "/ip"}, "refused: Missing IP after /ip"},
        {{"/wake", mac, "/password", "-WAIT"}, "refused: Missing password after /password"},
        {{"/wake", mac, "/password", ""}, "refused: Missing password after /password"},
        {{"/check"}, "refused: Missing IP after /check"},
    };
    for (const Case& c : cases) {
        const CommandRequest request = ParseCommandLine(c.args);
        std::string joined;
        for (const std::string& a : c.args) joined += "[" + a + "]";
        EXPECT_EQ(Describe(request), c.expected) << joined;
        if (request.kind == CommandKind::kRefused) {
            const CommandReport report = RefusalReport(request.error);
            EXPECT_EQ(report.exit_code, kExitBadInput) << joined;
            EXPECT_EQ(report.console_text, request.error + "\r\n") << joined;
        }
    }
}

TEST(CommandLine, ReportsPrintDialogTextsOnOneLineAndOnlyErrorsAndResultsHaveABox) {
    struct Case {
        CommandReport report;
        int exit_code;
        const char* console_text;
        const char* box_text;
        const char* caption;
    };
    const Case cases[] = {
        {SentReport("00-1a-2b-3c-4d-5e"), 0, "Magic packet sent to 00-1a-2b-3c-4d-5e.\r\n", "", "Turning on PC..."},
        {DialogMessageReport(kExitNothingSent, "The PC couldn't be turned on.\nCheck MAC.", "Error", 16), 3,
         "The PC couldn't be turned on. Check MAC.\r\n", "The PC couldn't be turned on.\nCheck MAC.", "Error"},
        {WatchReport(true), 0, "The PC has been turned on.\r\n", "The PC has been turned on.", "Turning on PC..."},
        {WatchReport(false), 1, "The PC could not been turned on.\r\n", "The PC could not been turned on.",
         "Turning on PC..."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.report.exit_code, c.exit_code) << c.console_text;
        EXPECT_EQ(c.report.console_text, c.console_text);
        EXPECT_EQ(c.report.box_text, c.box_text) << c.console_text;
        EXPECT_STREQ(c.report.caption, c.caption) << c.console_text;
    }
    // The usage keeps its lines, each ended as a Windows console expects.
    const CommandReport usage = UsageReport();
    EXPECT_EQ(usage.exit_code, kExitDone);
    const std::string& text = usage.console_text;
    EXPECT_EQ(text.rfind("Usage:\r\n  tarvex-wol.exe /wake <MAC or IP>", 0), 0u) << text;
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
        EXPECT_EQ(text[at - 1], '\r') << at;
    }
    EXPECT_EQ(text.substr(text.size() - 7), "sent.\r\n");
    EXPECT_EQ(usage.box_text, kUsageText);
}

TEST(CommandLine, OutputGoesToTheFirstPlaceThatCanShowItAndAsksNoFurther) {
    struct Case {
        bool file_or_pipe;
        bool console;
        bool visible;
        bool has_box;
        OutputPlace expected;
        const char* asked;  // s: standard output, c: console, v: window station
    };
    const Case cases[] = {
        {true, true, true, true, OutputPlace::kStandardOutput, "s"},
        {false, true, true, true, OutputPlace::kParentConsole, "sc"},
        {false, true, false, false, OutputPlace::kParentConsole, "sc"},
        {false, false, true, true, OutputPlace::kMessageBox, "scv"},
        {false, false, false, true, OutputPlace::kNowhere, "scv"},
        // A plain successful send without a console shows nothing, visible or not.
        {false, false, true, false, OutputPlace::kNowhere, "sc"},
    };
    for (const Case& c : cases) {
        std::string asked;
        const OutputProbes probes{[&] { asked += 's'; return c.file_or_pipe; },
                                  [&] { asked += 'c'; return c.console; },
                                  [&] { asked += 'v'; return c.visible; }};
        CommandReport report = SentReport("00-1A-2B-3C-4D-5E");
        if (c.has_box) report = WatchReport(false);
        EXPECT_EQ(ChooseOutputPlace(report, probes), c.expected) << c.asked;
        EXPECT_EQ(asked, c.asked);
    }
}

}  // namespace
