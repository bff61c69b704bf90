#include "app/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Args = std::vector<std::string>;

std::string SweepWord(SweepAsked sweep) {
    switch (sweep) {
    case SweepAsked::kAsSet: break;
    case SweepAsked::kYes: return " sweep";
    case SweepAsked::kNo: return " nosweep";
    }
    return "";
}

// The request as one line, so that a case states every field it expects.
std::string Describe(const CommandRequest& r) {
    switch (r.kind) {
    case CommandKind::kDialog: return "dialog";
    case CommandKind::kHelp: return "help";
    case CommandKind::kCheck: return "check [" + r.ip + "]";
    case CommandKind::kListen: return "listen " + std::to_string(r.listen_seconds);
    case CommandKind::kRefused: return "refused: " + r.error;
    case CommandKind::kWake:
        return "wake mac[" + r.mac + "] ip[" + r.ip + "] pw[" + r.password + "]" +
               (r.wait ? " wait " + std::to_string(r.timeout_seconds) : "") + SweepWord(r.sweep);
    case CommandKind::kList:
        return "list[" + r.list_file + "] pw[" + r.password + "] delay " + std::to_string(r.delay_ms) + " report[" +
               r.report_file + "]" + (r.wait ? " wait " + std::to_string(r.timeout_seconds) : "") +
               SweepWord(r.sweep);
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
         "wake mac[00-1A-2B-3C-4D-5E] ip[10.77.0.2] pw[-a/b c] wait 90"},
        {{"/Wait", "/IP", "nas", "-Password", "abcdef", "/wake", mac},
         "wake mac[00-1A-2B-3C-4D-5E] ip[nas] pw[abcdef] wait 90"},
        {{"/wake", "10.77.0.2"}, "wake mac[] ip[10.77.0.2] pw[]"},
        // 16 characters is still an IP text, never checked here.
        {{"/wake", "0123456789abcdef", "/wait"}, "wake mac[] ip[0123456789abcdef] pw[] wait 90"},
        {{"/wake", "nas", "/password", "x"}, "wake mac[] ip[nas] pw[x]"},
        {{"-cHeCk", "10.77.0.2"}, "check [10.77.0.2]"},
        // The MAC rule, and the 17 characters the dialog's field holds.
        {{"/wake", "00-00-00-00-00-00"}, "refused: The MAC is invalid: 00-00-00-00-00-00"},
        {{"/wake", "00-1A-2B-3C-4D-5G"}, "refused: The MAC is invalid: 00-1A-2B-3C-4D-5G"},
        {{"/wake", "00-1A-2B-3C-4D-5E-6F"}, "refused: The MAC is invalid: 00-1A-2B-3C-4D-5E-6F"},
        // A quoted paste: blanks around a MAC or an IP go, around a password they stay.
        {{"/wake", " 00-1A-2B-3C-4D-5E\t", "/ip", " 10.77.0.2 ", "/password", " ab "},
         "wake mac[00-1A-2B-3C-4D-5E] ip[10.77.0.2] pw[ ab ]"},
        {{"/check", "\t10.77.0.2 "}, "check [10.77.0.2]"},
        {{"/wake", mac, "/ip", "  "}, "refused: Missing IP after /ip"},
        // The cache's own name for the last IP names no PC.
        {{"/wake", mac, "/ip", "UltimaIP"}, "refused: Not an IP after /ip: UltimaIP"},
        {{"/wake", "ULTIMAIP"}, "refused: Not an IP after /wake: ULTIMAIP"},
        {{"/wake", mac, "/password", "abcdefg"}, "refused: /password takes at most 6 characters"},
        {{"/wake", mac, "/wait"}, "refused: /wait needs an IP: /wake <IP> or /ip <IP>"},
        {{"/wake", "10.77.0.2", "-ip", "10.77.0.3"}, "refused: -ip goes with /wake <MAC> only"},
        {{"/ip", "10.77.0.2"}, "refused: /ip goes with /wake only"},
        {{"/password", "abc"}, "refused: /password goes with /wake or /list only"},
        {{"/check", "10.77.0.2", "/WAIT"}, "refused: /WAIT goes with /wake or /list only"},
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
        {{"/listen"}, "listen 60"},
        {{"-LISTEN", "/For", " 3600 "}, "listen 3600"},
        {{"/for", "007", "/listen"}, "listen 7"},
        {{"/listen", "/for", "0"}, "refused: /for takes 1 to 3600 seconds: 0"},
        {{"/listen", "/for", "3601"}, "refused: /for takes 1 to 3600 seconds: 3601"},
        {{"/listen", "/for", "99999999999999999999"}, "refused: /for takes 1 to 3600 seconds: 99999999999999999999"},
        {{"/listen", "/for", "abc"}, "refused: /for takes 1 to 3600 seconds: abc"},
        {{"/listen", "/for", "-5"}, "refused: Missing seconds after /for"},
        {{"/for", "10"}, "refused: /for goes with /listen only"},
        {{"/listen", "/wake", mac}, "refused: /listen cannot be used with /wake"},
        {{"/check", "10.77.0.2", "/Listen"}, "refused: /Listen cannot be used with /check"},
        // /list and the options that go with it; /timeout with either /wait.
        {{"/list", "pcs.txt"}, "list[pcs.txt] pw[] delay 0 report[]"},
        {{"-LIST", " pcs.csv ", "/password", "abc", "/wait", "/Timeout", "600", "/delay", "60000", "/report", " out.csv"},
         "list[pcs.csv] pw[abc] delay 60000 report[out.csv] wait 600"},
        {{"/list", "pcs.txt", "/wait", "/timeout", "1", "/DELAY", "000"}, "list[pcs.txt] pw[] delay 0 report[] wait 1"},
        {{"/wake", "10.77.0.2", "/wait", "/timeout", "007"}, "wake mac[] ip[10.77.0.2] pw[] wait 7"},
        {{"/list"}, "refused: Missing file after /list"},
        {{"/list", "/wait"}, "refused: Missing file after /list"},
        {{"/list", "pcs.txt", "/report"}, "refused: Missing file after /report"},
        {{"/list", "pcs.txt", "/report", " "}, "refused: Missing file after /report"},
        {{"/list", "pcs.txt", "/list", "b.txt"}, "refused: Repeated option: /list"},
        {{"/list", "pcs.txt", "/wake", mac}, "refused: /list cannot be used with /wake"},
        {{"/check", "10.77.0.2", "/LIST", "pcs.txt"}, "refused: /LIST cannot be used with /check"},
        {{"/list", "pcs.txt", "/listen"}, "refused: /listen cannot be used with /list"},
        {{"/delay", "5"}, "refused: /delay goes with /list only"},
        {{"/wake", mac, "/delay", "5"}, "refused: /delay goes with /list only"},
        {{"/wake", mac, "/ip", "10.77.0.2", "/REPORT", "r.csv"}, "refused: /REPORT goes with /list only"},
        {{"/list", "pcs.txt", "/timeout", "5"}, "refused: /timeout goes with /wait"},
        {{"/wake", "10.77.0.2", "/wait", "-NoSweep"}, "wake mac[] ip[10.77.0.2] pw[] wait 90 nosweep"},
        {{"/list", "pcs.txt", "/nosweep", "/wait"}, "list[pcs.txt] pw[] delay 0 report[] wait 90 nosweep"},
        {{"/wake", "10.77.0.2", "/nosweep"}, "refused: /nosweep goes with /wait"},
        {{"/wake", "10.77.0.2", "/wait", "-SWEEP"}, "wake mac[] ip[10.77.0.2] pw[] wait 90 sweep"},
        {{"/list", "pcs.txt", "/sweep", "/wait"}, "list[pcs.txt] pw[] delay 0 report[] wait 90 sweep"},
        {{"/list", "pcs.txt", "/Sweep"}, "refused: /Sweep goes with /wait"},
        {{"/wake", "10.77.0.2", "/wait", "/sweep", "/sweep"}, "refused: Repeated option: /sweep"},
        {{"/wake", "10.77.0.2", "/wait", "/nosweep", "/Sweep"}, "refused: /Sweep cannot be used with /nosweep"},
        {{"/list", "pcs.txt", "/wait", "/SWEEP", "-nosweep"}, "refused: /SWEEP cannot be used with -nosweep"},
        {{"/wake", "10.77.0.2", "/wait", "/nosweep", "/nosweep"}, "refused: Repeated option: /nosweep"},
        {{"/wake", "10.77.0.2", "-timeout", "5"}, "refused: -timeout goes with /wait"},
        {{"/check", "10.77.0.2", "/timeout", "5", "/wait"}, "refused: /wait goes with /wake or /list only"},
        {{"/list", "pcs.txt", "/wait", "/timeout", "0"}, "refused: /timeout takes 1 to 600 seconds: 0"},
        {{"/list", "pcs.txt", "/wait", "/timeout", "601"}, "refused: /timeout takes 1 to 600 seconds: 601"},
        {{"/wake", "10.77.0.2", "/wait", "/timeout", "1.5"}, "refused: /timeout takes 1 to 600 seconds: 1.5"},
        {{"/list", "pcs.txt", "/delay", "x"}, "refused: /delay takes 0 to 60000 milliseconds: x"},
        {{"/list", "pcs.txt", "/delay", "60001"}, "refused: /delay takes 0 to 60000 milliseconds: 60001"},
        {{"/list", "pcs.txt", "/delay", "-1"}, "refused: Missing milliseconds after /delay"},
        {{"/list", "pcs.txt", "/ip", "10.77.0.2"}, "refused: /ip goes with /wake only"},
        {{"/list", "pcs.txt", "/password", "abcdefg"}, "refused: /password takes at most 6 characters"},
        {{"/list", "Pcs.CSV", "/report", "pcs.csv"}, "refused: /report would overwrite the list: pcs.csv"},
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

// /to as often as given, in order, with /wake or /list only; its host and port.
TEST(CommandLine, ReadsEveryToAsHostAndPortAndRefusesBadOnes) {
    const std::string mac = "00-1A-2B-3C-4D-5E";
    struct Case {
        Args args;
        std::string expected;  // the targets as host:port, or the refusal
    };
    const Case cases[] = {
        {{"/wake", mac}, ""},
        {{"/wake", mac, "/to", "10.80.0.255"}, "10.80.0.255:40000"},
        {{"/wake", mac, "/to", " home.example.net:9 "}, "home.example.net:9"},
        {{"/wake", mac, "-TO", "a:1", "/to", "b:65535", "/To", "a:1"}, "a:1 b:65535 a:1"},
        {{"/list", "pcs.txt", "/to", "far-pc:007"}, "far-pc:7"},
        {{"/wake", mac, "/to", ":9"}, "refused: /to takes <address or name>[:<port 1 to 65535>]: :9"},
        {{"/wake", mac, "/to", "host:0"}, "refused: /to takes <address or name>[:<port 1 to 65535>]: host:0"},
        {{"/wake", mac, "/to", "host:99999"}, "refused: /to takes <address or name>[:<port 1 to 65535>]: host:99999"},
        {{"/wake", mac, "/to", "host:65536"}, "refused: /to takes <address or name>[:<port 1 to 65535>]: host:65536"},
        {{"/wake", mac, "/to", "host:x"}, "refused: /to takes <address or name>[:<port 1 to 65535>]: host:x"},
        {{"/wake", mac, "/to", "host:"}, "refused: /to takes <address or name>[:<port 1 to 65535>]: host:"},
        {{"/wake", mac, "/to", "fe80::1"}, "refused: /to takes <address or name>[:<port 1 to 65535>]: fe80::1"},
        {{"/wake", mac, "/to", "ok", "/TO", "host:-1"}, "refused: /to takes <address or name>[:<port 1 to 65535>]: host:-1"},
        {{"/wake", mac, "/to"}, "refused: Missing address or name after /to"},
        {{"/wake", mac, "/to", "/wait"}, "refused: Missing address or name after /to"},
        {{"/to", "10.80.0.255"}, "refused: /to goes with /wake or /list only"},
        {{"/check", "10.77.0.2", "/to", "x"}, "refused: /to goes with /wake or /list only"},
        {{"/listen", "/to", "x"}, "refused: /to goes with /wake or /list only"},
    };
    for (const Case& c : cases) {
        const CommandRequest request = ParseCommandLine(c.args);
        std::string described;
        if (request.kind == CommandKind::kRefused) described = "refused: " + request.error;
        for (const ToTarget& to : request.to) {
            described += (described.empty() ? "" : " ") + to.host + ":" + std::to_string(to.port);
        }
        EXPECT_EQ(described, c.expected) << c.args.back();
    }
}

// "10.80.0.255:9", as the fakes log a destination.
inline std::string EndpointText(const WireEndpoint& to) {
    std::string text;
    for (std::uint8_t octet : to.address) text += std::to_string(octet) + ".";
    text.back() = ':';
    return text + std::to_string(to.port[0] * 256 + to.port[1]);
}

// What a run does on the computer, as text, in order.
struct FakeSystem : WakeActions {
    std::vector<std::string> log;
    std::string known_mac;  // what "Get MAC" finds
    bool send_works = true;
    bool answers = true;
    bool cache_works = true;
    std::string cache_reason;  // why a write fails
    SweepSetting sweep_setting = SweepSetting::kOn;  // what NoSweep says
    std::optional<WakeSighting> seen;  // what the watch sees; without it, `answers` says

    bool WriteCache(const std::string& name, const std::string& text, std::string& reason) override {
        log.push_back("cache " + name + "=" + text);
        reason = cache_reason;
        return cache_works;
    }
    bool SendMagicPacket(const std::string& mac, int port, const std::string& password, const std::string&,
                         const std::vector<WireEndpoint>& also_to) override {
        std::string line = "send " + mac + " " + std::to_string(port) + " [" + password + "]";
        for (const WireEndpoint& to : also_to) line += " +" + EndpointText(to);
        log.push_back(line);
        return send_works;
    }
    void ProbeBeforeSend(const std::string& ip, const std::string&) override { log.push_back("probe " + ip); }
    void StartWatcher(const std::string& ip, const std::string&, const std::optional<PairNotRemembered>&) override {
        log.push_back("watcher " + ip);
    }

    CommandLineSystem System() {
        return CommandLineSystem{
            *this,
            [this](const std::string& ip) {
                log.push_back("find " + ip);
                return known_mac;
            },
            [this](std::string ip, std::int32_t limit_ms) {
                log.push_back("probe " + ip + " " + std::to_string(limit_ms));
                return answers;
            },
            [] { return std::int64_t{5000}; },
            [this](const std::string& ip, const std::string& mac, std::int64_t timeout_ms, bool sweep,
                   const std::function<bool()>& send) -> std::optional<WakeSighting> {
                log.push_back("before " + ip + " " + mac);
                if (!send()) return std::nullopt;
                log.push_back("watch " + ip + " " + std::to_string(timeout_ms) + (sweep ? " sweep" : " nosweep"));
                WakeSighting told;
                told.answered = answers;
                return seen.value_or(told);
            },
            [this](const std::string& name) -> std::optional<Ipv4Bytes> {
                log.push_back("resolve " + name);
                if (name == "far-pc") return Ipv4Bytes{10, 80, 0, 2};
                return std::nullopt;
            },
            [this] {
                log.push_back("setting");
                return sweep_setting;
            }};
    }
};

TEST(CommandLine, RunsTheDialogsFlowsAndEndsWithOneCodeAndLinePerOutcome) {
    using Log = std::vector<std::string>;
    const std::string mac = "00-1A-2B-3C-4D-5E";
    struct Case {
        Args args;
        std::string known_mac;
        bool send_works, answers;
        int exit_code;
        std::string line;
        Log done;
    };
    const Case cases[] = {
        {{"/wake", mac}, "", true, true, 0, "Magic packet sent to 00-1A-2B-3C-4D-5E.", {"send " + mac + " 40000 []"}},
        {{"/wake", mac, "/ip", "10.77.0.2", "/password", "abc"}, "", true, true, 0,
         "Magic packet sent to 00-1A-2B-3C-4D-5E.", {"cache 10.77.0.2=" + mac, "send " + mac + " 40000 [abc]"}},
        {{"/wake", "10.77.0.2"}, "0a:1b:2c:3d:4e:5f", true, true, 0, "Magic packet sent to 0a:1b:2c:3d:4e:5f.",
         {"find 10.77.0.2", "cache 10.77.0.2=0a:1b:2c:3d:4e:5f", "send 0a:1b:2c:3d:4e:5f 40000 []"}},
        {{"/wake", "10.77.0.2"}, "", true, true, 2,
         "Can't figure out MAC from IP. Try to write the MAC directly.", {"find 10.77.0.2"}},
        {{"/wake", "10.77.0.2"}, "not a mac", true, true, 2, "The MAC is invalid", {"find 10.77.0.2"}},
        {{"/wake", " 10.77.0.2 ", "/wait"}, mac, true, true, 0, "The PC has been turned on.",
         {"find 10.77.0.2", "setting", "before 10.77.0.2 " + mac, "cache 10.77.0.2=" + mac, "send " + mac + " 40000 []",
          "watch 10.77.0.2 90000 sweep"}},
        {{"/wake", mac}, "", false, true, 3, "The PC couldn't be turned on. Check MAC.", {"send " + mac + " 40000 []"}},
        {{"/wake", "nas", "/wait"}, mac, true, true, 0, "The PC has been turned on.",
         {"find nas", "setting", "before nas " + mac, "cache nas=" + mac, "send " + mac + " 40000 []",
          "watch nas 90000 sweep"}},
        {{"/wake", mac, "/ip", "nas", "/wait", "/timeout", "5", "/nosweep"}, "", true, false, 1,
         "The PC could not been turned on.",
         {"before nas " + mac, "cache nas=" + mac, "send " + mac + " 40000 []", "watch nas 5000 nosweep"}},
        {{"/wake", mac, "/ip", "nas", "/wait"}, "", false, true, 3, "The PC couldn't be turned on. Check MAC.",
         {"setting", "before nas " + mac, "cache nas=" + mac, "send " + mac + " 40000 []"}},
        {{"/check", "10.77.0.2"}, "", true, true, 0, "The PC with IP 10.77.0.2 is on", {"probe 10.77.0.2 500"}},
        {{"/check", "10.77.0.3"}, "", true, false, 1, "The PC with IP 10.77.0.3 is off", {"probe 10.77.0.3 500"}},
        {{"/check", "nas"}, "", true, true, 2, "The IP nas is not valid Check it and try again.", {}},
        {{"/wake", mac, "/bogus"}, "", true, true, 2, "Unknown option: /bogus", {}},
        {{"/?"}, "", true, true, 0, "Usage:", {}},
    };
    for (const Case& c : cases) {
        FakeSystem fake;
        fake.known_mac = c.known_mac;
        fake.send_works = c.send_works;
        fake.answers = c.answers;
        CommandLineSystem system = fake.System();
        const CommandReport report = RunCommandRequest(ParseCommandLine(c.args), system);
        SCOPED_TRACE(c.line);
        EXPECT_EQ(report.exit_code, c.exit_code);
        EXPECT_EQ(report.console_text.substr(0, report.console_text.find('\r')), c.line);
        EXPECT_EQ(fake.log, c.done);
        // Results and errors have the dialog's box; a plain send has none.
        EXPECT_EQ(report.box.text.empty(), c.line.rfind("Magic packet sent", 0) == 0);
    }
    // The usage keeps its lines, each ended as a Windows console expects.
    const std::string text = UsageReport().console_text;
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
        EXPECT_EQ(text[at - 1], '\r') << at;
    }
}

// Every /to is resolved before anything happens; one that names nobody stops the run.
TEST(CommandLine, ResolvesEveryToNameBeforeTheWakeAndSendsThereToo) {
    using Log = std::vector<std::string>;
    const std::string mac = "00-1A-2B-3C-4D-5E";
    struct Case {
        Args args;
        int exit_code;
        std::string line;
        Log done;
    };
    const Case cases[] = {
        {{"/wake", mac, "/to", "10.80.0.255"}, 0, "Magic packet sent to 00-1A-2B-3C-4D-5E.",
         {"send " + mac + " 40000 [] +10.80.0.255:40000"}},
        {{"/wake", mac, "/to", "far-pc:9", "/to", "10.80.0.255", "/to", "far-pc:9"}, 0,
         "Magic packet sent to 00-1A-2B-3C-4D-5E.",
         {"resolve far-pc", "resolve far-pc", "send " + mac + " 40000 [] +10.80.0.2:9 +10.80.0.255:40000 +10.80.0.2:9"}},
        // An address text is never handed to the resolver, however it is written.
        {{"/wake", mac, "/to", "010.080.000.255:9"}, 0, "Magic packet sent to 00-1A-2B-3C-4D-5E.",
         {"send " + mac + " 40000 [] +10.80.0.255:9"}},
        {{"/wake", "10.80.0.2", "/to", "far-pc", "/to", "nosuch-host:9"}, 2, "Cannot resolve /to host: nosuch-host",
         {"resolve far-pc", "resolve nosuch-host"}},
        {{"/wake", mac, "/ip", "10.80.0.2", "/wait", "/to", "10.80.0.256"}, 2, "Cannot resolve /to host: 10.80.0.256",
         {"resolve 10.80.0.256"}},
    };
    for (const Case& c : cases) {
        FakeSystem fake;
        fake.known_mac = mac;
        CommandLineSystem system = fake.System();
        const CommandReport report = RunCommandRequest(ParseCommandLine(c.args), system);
        SCOPED_TRACE(c.line);
        EXPECT_EQ(report.exit_code, c.exit_code);
        EXPECT_EQ(report.console_text, c.line + "\r\n");
        EXPECT_EQ(fake.log, c.done);
    }
}

TEST(CommandLine, OutputGoesToTheFirstPlaceThatCanShowItAndAsksNoFurther) {
    struct Case {
        bool redirected;
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
        const OutputProbes probes{[&] { asked += 's'; return c.redirected; },
                                  [&] { asked += 'c'; return c.console; },
                                  [&] { asked += 'v'; return c.visible; }};
        EXPECT_EQ(ChooseOutputPlace(c.has_box, probes), c.expected) << c.asked;
        EXPECT_EQ(asked, c.asked);
    }
}

// Every pair that could not be remembered, the typed one's and a new address's, with
// the system's reason when known, is a line of its own wherever the report goes: the
// console and the box (a plain send then has one). The exit code stays the wake's.
TEST(CommandLine, APairThatCannotBeRememberedIsALineOfItsOwnAndKeepsTheExitCode) {
    const std::string typed = "The MAC 00-1A-2B-3C-4D-5E could not be remembered for 10.77.0.2.";
    const std::string moved =
        "The MAC 00-1A-2B-3C-4D-5E could not be remembered for 10.77.0.40. The registry said: Access is denied (5).";
    WakeSighting found;
    found.new_address = Ipv4Bytes{10, 77, 0, 40};
    found.not_remembered = {{"10.77.0.40", "00-1A-2B-3C-4D-5E", "Access is denied (5)"}};
    const struct {
        Args args;
        bool cache_works;
        std::optional<WakeSighting> seen;
        int exit_code;
        std::vector<std::string> lines;
    } cases[] = {
        {{"/wake", "00-1A-2B-3C-4D-5E", "/ip", "10.77.0.2"}, false, std::nullopt, 0,
         {"Magic packet sent to 00-1A-2B-3C-4D-5E.", typed}},
        {{"/wake", "00-1A-2B-3C-4D-5E", "/ip", "10.77.0.2", "/wait"}, false, WakeSighting{}, 1,
         {"The PC could not been turned on.", typed}},
        {{"/wake", "00-1A-2B-3C-4D-5E", "/ip", "10.77.0.2", "/wait"}, true, found, 0,
         {"The PC has been turned on at 10.77.0.40.", moved}},
        {{"/wake", "00-1A-2B-3C-4D-5E", "/ip", "10.77.0.2", "/wait"}, false, found, 0,
         {"The PC has been turned on at 10.77.0.40.", typed, moved}},
    };
    for (const auto& c : cases) {
        FakeSystem fake;
        fake.cache_works = c.cache_works;
        fake.seen = c.seen;
        CommandLineSystem system = fake.System();
        const CommandReport report = RunCommandRequest(ParseCommandLine(c.args), system);
        std::string console, box;
        for (const std::string& line : c.lines) {
            console += line + "\r\n";
            box += (box.empty() ? "" : "\n") + line;
        }
        EXPECT_EQ(report.exit_code, c.exit_code) << c.lines[0];
        EXPECT_EQ(report.console_text, console);
        EXPECT_EQ(report.box.text, box);
        EXPECT_STREQ(report.box.caption, "Turning on PC...");
    }
    // Remembered: a plain send still has no box.
    FakeSystem fake;
    CommandLineSystem system = fake.System();
    EXPECT_EQ(RunCommandRequest(ParseCommandLine({"/wake", "00-1A-2B-3C-4D-5E", "/ip", "10.77.0.2"}), system).box.text,
              "");
}

// The NoSweep setting holds for the command line too, but where /sweep or /nosweep says
// otherwise; an administrator's policy that turns it off overrules /sweep, and says so.
TEST(CommandLine, SweepsAsTheSettingSaysUnlessSweepOrNoSweepIsGiven) {
    constexpr SweepSetting on = SweepSetting::kOn, off = SweepSetting::kOff, policy = SweepSetting::kOffByPolicy;
    const struct {
        Args args;
        SweepSetting setting;
        bool sweeps;
        bool setting_read;
        bool overruled;
    } cases[] = {
        {{"/wake", "10.77.0.2", "/wait"}, on, true, true, false},
        {{"/wake", "10.77.0.2", "/wait"}, off, false, true, false},
        {{"/wake", "10.77.0.2", "/wait"}, policy, false, true, false},
        {{"/wake", "10.77.0.2", "/wait", "/sweep"}, off, true, true, false},
        {{"/wake", "10.77.0.2", "/wait", "/sweep"}, policy, false, true, true},
        {{"/wake", "10.77.0.2", "/wait", "/nosweep"}, on, false, false, false},
        {{"/list", "pcs.txt", "/wait"}, off, false, true, false},
        {{"/list", "pcs.txt", "/wait"}, on, true, true, false},
        {{"/list", "pcs.txt", "/wait", "/sweep"}, off, true, true, false},
        {{"/list", "pcs.txt", "/wait", "/sweep"}, policy, false, true, true},
        {{"/list", "pcs.txt", "/wait", "/nosweep"}, on, false, false, false},
    };
    for (const auto& c : cases) {
        const CommandRequest request = ParseCommandLine(c.args);
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        joined += "(setting " + std::to_string(static_cast<int>(c.setting)) + ")";
        bool read = false;
        const SweepChoice chosen = ChooseSweep(request, [&] {
            read = true;
            return c.setting;
        });
        EXPECT_EQ(chosen.sweep, c.sweeps) << joined;
        EXPECT_EQ(chosen.sweep_overruled, c.overruled) << joined;
        EXPECT_EQ(read, c.setting_read) << joined;
        if (request.kind != CommandKind::kWake) continue;
        // And the watch of a /wake is told so, and the report says an overruled /sweep.
        FakeSystem fake;
        fake.known_mac = "00-1A-2B-3C-4D-5E";
        fake.sweep_setting = c.setting;
        CommandLineSystem system = fake.System();
        const CommandReport report = RunCommandRequest(request, system);
        EXPECT_EQ(fake.log.back(), std::string("watch 10.77.0.2 90000") + (c.sweeps ? " sweep" : " nosweep")) << joined;
        EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), "setting"), c.setting_read ? 1 : 0) << joined;
        EXPECT_EQ(report.console_text.find(kSweepOverruledText) != std::string::npos, c.overruled) << joined;
    }
}

// What the watch saw decides the one line and the exit code: 0 for the PC seen on,
// wherever; 1 for silence; 4 for another device at the address. A sweep skipped for want
// of time is said when it might have changed that: not for a PC seen on at its address.
TEST(CommandLine, AWakeWaitSaysWhatTheWatchSawWithItsExitCode) {
    const MacBytes woken{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, other{0x02, 0x00, 0x00, 0x00, 0x00, 0x09};
    const Ipv4Bytes typed{10, 77, 0, 2};
    const std::string no_room = "No sweep for a new address: /timeout leaves no room for it (it needs at least 64 s).";
    const std::string other_line =
        "A device with another MAC (02-00-00-00-00-09) answers at 10.77.0.2. It may not be the PC you woke.";
    const auto skipped = [](WakeSighting seen) {
        seen.sweep_needs_s = 64;
        return seen;
    };
    const struct {
        WakeSighting seen;
        int exit_code;
        std::vector<std::string> lines;
    } cases[] = {
        {{woken, typed, false, true, woken, std::nullopt}, 0, {"The PC has been turned on."}},
        {{woken, typed, true, true, woken, std::nullopt}, 0, {"The PC was already on."}},
        {{woken, typed, false, false, std::nullopt, Ipv4Bytes{10, 77, 0, 40}}, 0,
         {"The PC has been turned on at 10.77.0.40."}},
        {{woken, typed, false, true, other, std::nullopt}, 4, {other_line}},
        {{woken, typed, false, false, std::nullopt, std::nullopt}, 1, {"The PC could not been turned on."}},
        {skipped({woken, typed, false, false, std::nullopt, std::nullopt}), 1,
         {"The PC could not been turned on.", no_room}},
        {skipped({woken, typed, false, true, other, std::nullopt}), 4, {other_line, no_room}},
        {skipped({woken, typed, false, true, woken, std::nullopt}), 0, {"The PC has been turned on."}},
        {skipped({woken, typed, true, false, std::nullopt, std::nullopt}), 0, {"The PC was already on."}},
    };
    for (const auto& c : cases) {
        FakeSystem fake;
        fake.seen = c.seen;
        CommandLineSystem system = fake.System();
        const CommandReport report =
            RunCommandRequest(ParseCommandLine({"/wake", "00-1A-2B-3C-4D-5E", "/ip", "10.77.0.2", "/wait"}), system);
        std::string console;
        for (const std::string& line : c.lines) console += line + "\r\n";
        EXPECT_EQ(report.exit_code, c.exit_code) << c.lines[0];
        EXPECT_EQ(report.console_text, console);
        // The box keeps the report's own line break, and takes the note on a line of its own.
        const std::string box = report.box.text;
        EXPECT_EQ(box.find(no_room) != std::string::npos, c.lines.back() == no_room) << box;
        if (c.lines.back() == no_room) {
            EXPECT_EQ(box.substr(box.size() - no_room.size() - 1), "\n" + no_room);
        }
    }
}

}  // namespace
