#include "app/command_line.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <optional>

#include "addr/ip_text.h"
#include "addr/mac_text.h"
#include "addr/typed_text.h"
#include "app/listen_command.h"
#include "app/mac_resolution.h"
#include "cache/cache_value.h"

namespace {

enum class Option {
    kWake, kIp, kPassword, kWait, kCheck, kListen, kFor, kList, kDelay, kTimeout, kReport, kTo, kNoSweep, kSweep,
    kCount
};

struct OptionName {
    Option option;
    const char* name;  // lower case, without the leading '/' or '-'
    const char* value;  // what its value is, for "Missing ... after"; null: it takes none
};
constexpr OptionName kOptions[] = {
    {Option::kWake, "wake", "MAC or IP"}, {Option::kIp, "ip", "IP"},         {Option::kPassword, "password", "password"},
    {Option::kWait, "wait", nullptr},      {Option::kCheck, "check", "IP"},
    {Option::kListen, "listen", nullptr},  {Option::kFor, "for", "seconds"},
    {Option::kList, "list", "file"},       {Option::kDelay, "delay", "milliseconds"},
    {Option::kTimeout, "timeout", "seconds"}, {Option::kReport, "report", "file"},
    {Option::kTo, "to", "address or name"}, {Option::kNoSweep, "nosweep", nullptr},
    {Option::kSweep, "sweep", nullptr},
};

// The commands, of which a request names one at most; a refusal names the later one.
constexpr Option kCommands[] = {Option::kWake, Option::kCheck, Option::kList, Option::kListen};

bool StartsLikeOption(const std::string& argument) {
    return !argument.empty() && (argument[0] == '/' || argument[0] == '-');
}

bool NameEquals(const std::string& argument, const char* name) {
    if (!StartsLikeOption(argument)) return false;
    std::size_t i = 1;
    for (; i < argument.size() && name[i - 1] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(argument[i])) != name[i - 1]) return false;
    }
    return i == argument.size() && name[i - 1] == '\0';
}

const OptionName* FindOption(const std::string& argument) {
    for (const OptionName& option : kOptions) {
        if (NameEquals(argument, option.name)) return &option;
    }
    return nullptr;
}

bool IsHelp(const std::string& argument) { return NameEquals(argument, "?"); }

// The value of an option as the program reads it: a MAC, an IP, a number or a file
// without the spaces and tabs around it (a quoted paste may carry them), a password as
// it is.
std::string ValueOf(Option option, const std::string& argument) {
    return option == Option::kPassword ? argument : TrimBlanks(argument);
}

bool AcceptsValue(Option option, const std::string& raw) {
    const std::string argument = ValueOf(option, raw);
    if (argument.empty()) return false;
    // A password may start with '-' or '/'; nothing else the options take does (a file
    // whose name starts with '-' is still reached as ".\-name").
    if (option == Option::kPassword) return FindOption(argument) == nullptr && !IsHelp(argument);
    return !StartsLikeOption(argument);
}

CommandRequest Refuse(std::string error) {
    CommandRequest request;
    request.kind = CommandKind::kRefused;
    request.error = std::move(error);
    return request;
}

// The options given, each as typed and with its value; /to, which may come again, as
// the first one typed and with every value.
struct Given {
    bool present[static_cast<int>(Option::kCount)] = {};
    std::string typed[static_cast<int>(Option::kCount)];
    std::string value[static_cast<int>(Option::kCount)];
    std::vector<std::string> to_values;

    bool Has(Option o) const { return present[static_cast<int>(o)]; }
    const std::string& Typed(Option o) const { return typed[static_cast<int>(o)]; }
    const std::string& Value(Option o) const { return value[static_cast<int>(o)]; }
};

// Decimal digits only, from `least` to `most`. Past `most` the value stops growing, so
// that no string of digits overflows it.
std::optional<int> ReadDecimal(const std::string& text, int least, int most) {
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = std::min(value * 10 + (c - '0'), most + 1);
    }
    if (text.empty() || value < least || value > most) return std::nullopt;
    return value;
}

std::string NumberRefusal(const Given& given, Option option, int least, int most, const char* unit) {
    return given.Typed(option) + " takes " + std::to_string(least) + " to " + std::to_string(most) + " " + unit +
           ": " + given.Value(option);
}

// The password and the watch, as /wake and /list read them alike; an empty text when
// they are fine, else the refusal.
std::string ReadPasswordAndWatch(const Given& given, CommandRequest& request) {
    request.password = given.Value(Option::kPassword);
    if (request.password.size() > kPasswordMax) {
        return given.Typed(Option::kPassword) + " takes at most " + std::to_string(kPasswordMax) + " characters";
    }
    request.wait = given.Has(Option::kWait);
    if (given.Has(Option::kSweep)) request.sweep = SweepAsked::kYes;
    if (given.Has(Option::kNoSweep)) request.sweep = SweepAsked::kNo;
    if (given.Has(Option::kTimeout)) {
        const std::optional<int> seconds = ReadDecimal(given.Value(Option::kTimeout), 1, kWatchMostSeconds);
        if (!seconds) return NumberRefusal(given, Option::kTimeout, 1, kWatchMostSeconds, "seconds");
        request.timeout_seconds = *seconds;
    }
    return "";
}

// Every /to as "<address or name>[:<port>]"; an empty text when all read, else the refusal.
std::string ReadTo(const Given& given, CommandRequest& request) {
    for (const std::string& text : given.to_values) {
        ToTarget target;
        const std::size_t colon = text.find(':');
        target.host = text.substr(0, colon);
        std::optional<int> port = kWakePort;
        // A second ':' (an IPv6 address) makes the port text fail as a number.
        if (colon != std::string::npos) port = ReadDecimal(text.substr(colon + 1), 1, 65535);
        if (target.host.empty() || !port) {
            return given.Typed(Option::kTo) + " takes <address or name>[:<port 1 to 65535>]: " + text;
        }
        target.port = *port;
        request.to.push_back(target);
    }
    return "";
}

bool SameFileName(const std::string& a, const std::string& b) {
    // Windows file names are case-insensitive; another spelling of the same path is not caught.
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

CommandRequest BuildList(const Given& given) {
    CommandRequest request;
    request.kind = CommandKind::kList;
    request.list_file = given.Value(Option::kList);
    if (given.Has(Option::kIp)) return Refuse(given.Typed(Option::kIp) + " goes with /wake only");
    if (std::string refusal = ReadPasswordAndWatch(given, request); !refusal.empty()) return Refuse(refusal);
    if (std::string refusal = ReadTo(given, request); !refusal.empty()) return Refuse(refusal);
    if (given.Has(Option::kDelay)) {
        const std::optional<int> ms = ReadDecimal(given.Value(Option::kDelay), 0, kListMostDelayMs);
        if (!ms) return Refuse(NumberRefusal(given, Option::kDelay, 0, kListMostDelayMs, "milliseconds"));
        request.delay_ms = *ms;
    }
    request.report_file = given.Value(Option::kReport);
    if (SameFileName(request.report_file, request.list_file)) {
        return Refuse(given.Typed(Option::kReport) + " would overwrite the list: " + request.report_file);
    }
    return request;
}

CommandRequest BuildWake(const Given& given) {
    CommandRequest request;
    request.kind = CommandKind::kWake;
    const std::string& target = given.Value(Option::kWake);
    if (target.size() >= kMacTextLength) {
        // The dialog's field never holds more than 17 characters, nor does the cache.
        if (target.size() != kMacTextLength || !IsValidMacText(target)) {
            return Refuse(std::string(kInvalidMacMessage) + ": " + target);
        }
        request.mac = target;
        request.ip = given.Value(Option::kIp);
    } else {
        if (given.Has(Option::kIp)) return Refuse(given.Typed(Option::kIp) + " goes with /wake <MAC> only");
        request.ip = target;
    }
    // The IP text names the remembered pair: the last IP's own name would overwrite it.
    if (!request.ip.empty() && !IsPairName(request.ip)) {
        const Option named = given.Has(Option::kIp) ? Option::kIp : Option::kWake;
        return Refuse("Not an IP after " + given.Typed(named) + ": " + request.ip);
    }
    if (std::string refusal = ReadPasswordAndWatch(given, request); !refusal.empty()) return Refuse(refusal);
    if (std::string refusal = ReadTo(given, request); !refusal.empty()) return Refuse(refusal);
    if (request.wait && request.ip.empty()) {
        return Refuse(given.Typed(Option::kWait) + " needs an IP: /wake <IP> or /ip <IP>");
    }
    return request;
}

CommandRequest BuildListen(const Given& given) {
    CommandRequest request;
    request.kind = CommandKind::kListen;
    request.listen_seconds = kListenDefaultSeconds;
    if (!given.Has(Option::kFor)) return request;
    const std::optional<int> seconds = ReadDecimal(given.Value(Option::kFor), 1, kListenMostSeconds);
    if (!seconds) return Refuse(NumberRefusal(given, Option::kFor, 1, kListenMostSeconds, "seconds"));
    request.listen_seconds = *seconds;
    return request;
}

std::string ConsoleLine(const std::string& text) {
    std::string line = text;
    for (char& c : line) {
        if (c == '\n') c = ' ';
    }
    return line + "\r\n";
}

}  // namespace

CommandRequest ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandRequest request;
    if (arguments.empty()) return request;
    for (const std::string& argument : arguments) {
        if (IsHelp(argument)) {
            request.kind = CommandKind::kHelp;
            return request;
        }
    }
    Given given;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const OptionName* option = FindOption(argument);
        if (option == nullptr) {
            return Refuse((StartsLikeOption(argument) ? "Unknown option: " : "Unexpected argument: ") + argument);
        }
        const int index = static_cast<int>(option->option);
        const bool again = option->option == Option::kTo && given.present[index];
        if (given.present[index] && !again) return Refuse("Repeated option: " + argument);
        given.present[index] = true;
        if (!again) given.typed[index] = argument;
        if (option->value == nullptr) continue;
        if (i + 1 == arguments.size() || !AcceptsValue(option->option, arguments[i + 1])) {
            return Refuse(std::string("Missing ") + option->value + " after " + argument);
        }
        given.value[index] = ValueOf(option->option, arguments[++i]);
        if (option->option == Option::kTo) given.to_values.push_back(given.value[index]);
    }
    for (const Option* first = kCommands; first != std::end(kCommands); ++first) {
        for (const Option* later = first + 1; later != std::end(kCommands); ++later) {
            if (given.Has(*first) && given.Has(*later)) {
                return Refuse(given.Typed(*later) + " cannot be used with " + given.Typed(*first));
            }
        }
    }
    if (given.Has(Option::kFor) && !given.Has(Option::kListen)) {
        return Refuse(given.Typed(Option::kFor) + " goes with /listen only");
    }
    for (Option list_only : {Option::kDelay, Option::kReport}) {
        if (given.Has(list_only) && !given.Has(Option::kList)) {
            return Refuse(given.Typed(list_only) + " goes with /list only");
        }
    }
    for (Option watch_only : {Option::kTimeout, Option::kSweep, Option::kNoSweep}) {
        if (given.Has(watch_only) && !given.Has(Option::kWait)) {
            return Refuse(given.Typed(watch_only) + " goes with /wait");
        }
    }
    if (given.Has(Option::kSweep) && given.Has(Option::kNoSweep)) {
        return Refuse(given.Typed(Option::kSweep) + " cannot be used with " + given.Typed(Option::kNoSweep));
    }
    if (given.Has(Option::kWake)) return BuildWake(given);
    if (given.Has(Option::kList)) return BuildList(given);
    if (given.Has(Option::kIp)) return Refuse(given.Typed(Option::kIp) + " goes with /wake only");
    for (Option sender_only : {Option::kPassword, Option::kWait, Option::kTo}) {
        if (given.Has(sender_only)) return Refuse(given.Typed(sender_only) + " goes with /wake or /list only");
    }
    if (given.Has(Option::kListen)) return BuildListen(given);
    // Only /check is left: every argument was an option, and there was at least one.
    request.kind = CommandKind::kCheck;
    request.ip = given.Value(Option::kCheck);
    return request;
}

CommandReport MessageReport(int exit_code, const Message& message) {
    return {exit_code, ConsoleLine(message.text), message};
}

CommandReport SentReport(const std::string& mac) {
    return {kExitDone, ConsoleLine(SentMessage(mac).text), Message{}};
}

CommandReport UsageReport() {
    std::string lines;
    for (const char* c = kUsageText; *c != '\0'; ++c) {
        if (*c == '\n') lines += '\r';
        lines += *c;
    }
    return {kExitDone, lines + "\r\n", Message{kUsageText, kUsageCaption, MessageIcon::kInformation}};
}

CommandReport RefusalReport(const std::string& error) {
    return MessageReport(kExitBadInput, Message{error, kErrorCaption, MessageIcon::kError});
}

std::string SweepSkippedText(int needs_s) {
    return "No sweep for a new address: /timeout leaves no room for it (it needs at least " + std::to_string(needs_s) +
           " s).";
}

bool SweepSkipMatters(const WakeSighting& seen) {
    if (seen.sweep_needs_s <= 0) return false;
    const WakeVerdict verdict = DecideWakeReport(seen).verdict;
    return verdict == WakeVerdict::kOtherMac || verdict == WakeVerdict::kNoAnswer;
}

SweepChoice ChooseSweep(const CommandRequest& request, const std::function<SweepSetting()>& setting) {
    if (request.sweep == SweepAsked::kNo) return SweepChoice{false, false};
    const SweepSetting set = setting();
    const bool by_policy = set == SweepSetting::kOffByPolicy;
    if (request.sweep == SweepAsked::kYes) return SweepChoice{!by_policy, by_policy};
    return SweepChoice{set == SweepSetting::kOn, false};
}

bool ResolveToEndpoints(const std::vector<ToTarget>& to, const ResolveFunction& resolve,
                        std::vector<WireEndpoint>& endpoints, std::string& error) {
    for (const ToTarget& target : to) {
        // An address is taken as it reads; only a name is handed to the resolver.
        std::optional<Ipv4Bytes> address = ReadIpv4Octets(target.host);
        if (!address) address = resolve(target.host);
        if (!address) {
            error = "Cannot resolve /to host: " + target.host;
            return false;
        }
        endpoints.push_back(WireEndpoint{*address, ToPortBytes(static_cast<std::uint16_t>(target.port))});
    }
    return true;
}

namespace {

// A line of its own under the report, wherever the report is shown: in the box as well.
void AddLine(CommandReport& report, const std::string& line) {
    report.console_text += ConsoleLine(line);
    report.box.text += "\n" + line;
}

CommandReport RunWake(const CommandRequest& request, CommandLineSystem& system) {
    // Before anything is sent: a /to that names nobody is a mistake to fix, not a half-done wake.
    std::vector<WireEndpoint> also_to;
    if (std::string error; !ResolveToEndpoints(request.to, system.resolve, also_to, error)) {
        return RefusalReport(error);
    }
    std::string mac = request.mac;
    if (mac.empty()) {
        const MacOutcome found = DecideMac(system.find_mac(request.ip));
        if (found.result == MacResult::kNotFound) return MessageReport(kExitBadInput, found.message);
        mac = found.mac_text;
    }
    // Without an IP (/wake <MAC> alone) nothing is remembered.
    const WakeFields fields{request.ip, mac, request.password, also_to};
    WakeOutcome sent{WakeResult::kSendFailed, Message{}, "", "", std::nullopt};
    std::optional<WakeSighting> seen;
    const auto send = [&] {
        sent = SendWake(fields, system.wake, [] {});
        return sent.result == WakeResult::kSent;
    };
    SweepChoice sweep;
    if (request.wait) {
        sweep = ChooseSweep(request, system.sweep_setting);
        // Probed from the send on: the report comes as soon as the machine is seen.
        seen = system.watch_wake(request.ip, mac, request.timeout_seconds * std::int64_t{1000}, sweep.sweep, send);
    } else {
        send();
    }
    CommandReport report;
    switch (sent.result) {
    case WakeResult::kInvalidMac: return MessageReport(kExitBadInput, sent.message);
    case WakeResult::kSendFailed: report = MessageReport(kExitNothingSent, sent.message); break;
    case WakeResult::kSent: {
        if (!request.wait) {
            report = SentReport(sent.mac);
            break;
        }
        const WakeReport told = DecideWakeReport(seen.value_or(WakeSighting{}));
        report = MessageReport(told.exit_code, told.message);
        break;
    }
    }
    // Said, but the wake's own result stands: the packet went out (or not) either way.
    std::vector<PairNotRemembered> not_remembered;
    if (sent.not_remembered) not_remembered.push_back(*sent.not_remembered);
    if (seen) not_remembered.insert(not_remembered.end(), seen->not_remembered.begin(), seen->not_remembered.end());
    // A plain send has no box; one that could not remember its pair has something to say.
    if (!not_remembered.empty() && report.box.text.empty()) report.box = SentMessage(sent.mac);
    for (const PairNotRemembered& pair : not_remembered) AddLine(report, CacheFailedText(pair));
    if (seen && sent.result == WakeResult::kSent && SweepSkipMatters(*seen)) {
        AddLine(report, SweepSkippedText(seen->sweep_needs_s));
    }
    if (sweep.sweep_overruled) AddLine(report, kSweepOverruledText);
    return report;
}

}  // namespace

CommandReport RunCommandRequest(const CommandRequest& request, CommandLineSystem& system) {
    switch (request.kind) {
    case CommandKind::kHelp: return UsageReport();
    case CommandKind::kRefused: return RefusalReport(request.error);
    case CommandKind::kWake: return RunWake(request, system);
    case CommandKind::kCheck: {
        const CheckOutcome checked = CheckIp(request.ip, system.probe);
        const int code = checked.result == CheckResult::kOn    ? kExitDone
                         : checked.result == CheckResult::kOff ? kExitNoAnswer
                                                               : kExitBadInput;
        return MessageReport(code, checked.message);
    }
    case CommandKind::kDialog:  // no arguments: the caller opens the dialog instead
    case CommandKind::kListen:  // the caller writes its lines as they come
    case CommandKind::kList:
        break;
    }
    return UsageReport();
}

OutputPlace ChooseOutputPlace(bool report_has_box, const OutputProbes& probes) {
    if (probes.standard_output_redirected()) return OutputPlace::kStandardOutput;
    if (probes.attach_parent_console()) return OutputPlace::kParentConsole;
    // Asked last, and only for a report that has a box at all.
    if (report_has_box && probes.window_station_visible()) return OutputPlace::kMessageBox;
    return OutputPlace::kNowhere;
}
