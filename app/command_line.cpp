#include "app/command_line.h"

#include <cctype>

#include "addr/mac_text.h"
#include "app/mac_resolution.h"

namespace {

enum class Option { kWake, kIp, kPassword, kWait, kCheck, kCount };

struct OptionName {
    Option option;
    const char* name;  // lower case, without the leading '/' or '-'
    const char* value;  // what its value is, for "Missing ... after"; null: it takes none
};
constexpr OptionName kOptions[] = {
    {Option::kWake, "wake", "MAC or IP"}, {Option::kIp, "ip", "IP"},         {Option::kPassword, "password", "password"},
    {Option::kWait, "wait", nullptr},      {Option::kCheck, "check", "IP"},
};

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

bool AcceptsValue(Option option, const std::string& argument) {
    if (argument.empty()) return false;
    // A password may start with '-' or '/'; nothing else the options take does.
    if (option == Option::kPassword) return FindOption(argument) == nullptr && !IsHelp(argument);
    return !StartsLikeOption(argument);
}

CommandRequest Refuse(std::string error) {
    CommandRequest request;
    request.kind = CommandKind::kRefused;
    request.error = std::move(error);
    return request;
}

// The options given, each as typed and with its value.
struct Given {
    bool present[static_cast<int>(Option::kCount)] = {};
    std::string typed[static_cast<int>(Option::kCount)];
    std::string value[static_cast<int>(Option::kCount)];

    bool Has(Option o) const { return present[static_cast<int>(o)]; }
    const std::string& Typed(Option o) const { return typed[static_cast<int>(o)]; }
    const std::string& Value(Option o) const { return value[static_cast<int>(o)]; }
};

CommandRequest BuildWake(const Given& given) {
    CommandRequest request;
    request.kind = CommandKind::kWake;
    const std::string& target = given.Value(Option::kWake);
    if (target.size() >= kMacTextLength) {
        // The dialog's field never holds more than 17 characters, nor does the cache.
        if (target.size() != kMacTextLength || !IsValidMacText(target)) return Refuse(kInvalidMacMessage);
        request.mac = target;
        request.ip = given.Value(Option::kIp);
    } else {
        if (given.Has(Option::kIp)) return Refuse(given.Typed(Option::kIp) + " goes with /wake <MAC> only");
        request.ip = target;
    }
    request.password = given.Value(Option::kPassword);
    if (request.password.size() > kPasswordMax) {
        return Refuse(given.Typed(Option::kPassword) + " takes at most " + std::to_string(kPasswordMax) +
                      " characters");
    }
    request.wait = given.Has(Option::kWait);
    if (request.wait && request.ip.empty()) {
        return Refuse(given.Typed(Option::kWait) + " needs an IP: /wake <IP> or /ip <IP>");
    }
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
        if (given.present[index]) return Refuse("Repeated option: " + argument);
        given.present[index] = true;
        given.typed[index] = argument;
        if (option->value == nullptr) continue;
        if (i + 1 == arguments.size() || !AcceptsValue(option->option, arguments[i + 1])) {
            return Refuse(std::string("Missing ") + option->value + " after " + argument);
        }
        given.value[index] = arguments[++i];
    }
    if (given.Has(Option::kWake) && given.Has(Option::kCheck)) {
        return Refuse(given.Typed(Option::kCheck) + " cannot be used with " + given.Typed(Option::kWake));
    }
    if (given.Has(Option::kWake)) return BuildWake(given);
    for (Option wake_only : {Option::kIp, Option::kPassword, Option::kWait}) {
        if (given.Has(wake_only)) return Refuse(given.Typed(wake_only) + " goes with /wake only");
    }
    // Only /check is left: every argument was an option, and there was at least one.
    request.kind = CommandKind::kCheck;
    request.ip = given.Value(Option::kCheck);
    return request;
}

CommandReport MessageReport(int exit_code, const Message& message) {
    return {exit_code, ConsoleLine(message.text), message};
}

CommandReport SentReport(const std::string& mac) {
    return {kExitDone, ConsoleLine("Magic packet sent to " + mac + "."), Message{}};
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

namespace {

// The wake's actions without its cache: /wake <MAC> without /ip remembers nothing.
class WithoutCache final : public WakeActions {
public:
    explicit WithoutCache(WakeActions& actions) : actions_(actions) {}
    void WriteCache(const std::string&, const std::string&) override {}
    bool SendMagicPacket(const std::string& mac, int port, const std::string& password) override {
        return actions_.SendMagicPacket(mac, port, password);
    }
    void StartWatcher(const std::string&) override {}

private:
    WakeActions& actions_;
};

CommandReport RunWake(const CommandRequest& request, CommandLineSystem& system) {
    std::string mac = request.mac;
    if (mac.empty()) {
        const MacOutcome found = DecideMac(system.find_mac(request.ip));
        if (found.result == MacResult::kNotFound) return MessageReport(kExitBadInput, found.message);
        mac = found.mac_text;
    }
    WithoutCache uncached(system.wake);
    WakeActions& actions = request.ip.empty() ? static_cast<WakeActions&>(uncached) : system.wake;
    const WakeOutcome sent = SendWake(WakeFields{request.ip, mac, request.password}, actions, [] {});
    switch (sent.result) {
    case WakeResult::kInvalidMac: return MessageReport(kExitBadInput, sent.message);
    case WakeResult::kSendFailed: return MessageReport(kExitNothingSent, sent.message);
    case WakeResult::kSent: break;
    }
    if (!request.wait) return SentReport(mac);
    const WatchOutcome watched = system.watch(request.ip);
    return MessageReport(watched.result == WatchResult::kAnswered ? kExitDone : kExitNoAnswer, watched.message);
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
    case CommandKind::kDialog: break;  // no arguments: the caller opens the dialog instead
    }
    return UsageReport();
}

OutputPlace ChooseOutputPlace(const CommandReport& report, const OutputProbes& probes) {
    if (probes.standard_output_is_file_or_pipe()) return OutputPlace::kStandardOutput;
    if (probes.attach_parent_console()) return OutputPlace::kParentConsole;
    // Asked last, and only for a report that has a box at all.
    if (!report.box.text.empty() && probes.window_station_visible()) return OutputPlace::kMessageBox;
    return OutputPlace::kNowhere;
}
