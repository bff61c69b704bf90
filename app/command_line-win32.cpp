#include "app/command_line-win32.h"

#include <windows.h>

#include <functional>
#include <utility>

#include "app/console_stop-win32.h"
#include "app/list_command.h"
#include "app/listen_command-win32.h"
#include "app/listen_command.h"
#include "app/mac_resolution-win32.h"
#include "app/message_box-win32.h"
#include "app/probe_commands-win32.h"
#include "app/wake_command-win32.h"
#include "app/wake_watch-win32.h"
#include "common/handles-win32.h"
#include "common/monotonic_clock-win32.h"
#include "common/system_error-win32.h"
#include "common/utf16-win32.h"
#include "common/whole_file-win32.h"
#include "net/magic_sender-win32.h"

namespace {

bool StandardOutputRedirected() {
    // Not owned: the standard handle belongs to the process and outlives this call.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(out);
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) return true;
    // A console handed down to a windowed program and the null device of "> NUL" are
    // both FILE_TYPE_CHAR; only the console has a mode. The console is then reached
    // through CONOUT$ like when nothing was handed down; the null device is written to.
    DWORD mode = 0;
    return type == FILE_TYPE_CHAR && !GetConsoleMode(out, &mode);
}

bool AttachParentConsole() {
    // ERROR_ACCESS_DENIED: this process is attached to a console already.
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED) return false;
    // A program started with "start /b" inherits "ignore Ctrl-C": it is switched on again,
    // so that Ctrl-C stops /listen and /list and ends a /wake /wait as it does elsewhere.
    SetConsoleCtrlHandler(nullptr, FALSE);
    return true;
}

bool WindowStationVisible() {
    // The process's window station is not closed by whoever asks for it.
    HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags{};
    return station != nullptr &&
           GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

void WriteAll(HANDLE out, const std::string& text) {
    const char* next = text.data();
    DWORD left = static_cast<DWORD>(text.size());
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(out, next, left, &written, nullptr) || written == 0) return;
        next += written;
        left -= written;
    }
}

// The text side of an output place: the redirected standard output as it is, or the
// parent's console through CONOUT$; for the other places it writes nothing.
class TextOutput {
public:
    explicit TextOutput(OutputPlace place) {
        if (place == OutputPlace::kStandardOutput) {
            // Not owned: the standard handle belongs to the process.
            out_ = GetStdHandle(STD_OUTPUT_HANDLE);
        } else if (place == OutputPlace::kParentConsole) {
            console_.reset(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
            out_ = console_.get();
        }
    }
    void Write(const std::string& text) const {
        if (out_ == nullptr || out_ == INVALID_HANDLE_VALUE) return;
        // The texts are UTF-8 (a list's labels may be anything). A console would read
        // the bytes in its own code page: it gets them as UTF-16. A file or a pipe gets
        // the UTF-8 bytes as they are.
        if (console_) {
            const std::wstring wide = WideFromUtf8(text);
            DWORD written = 0;
            if (!wide.empty() && WriteConsoleW(out_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) {
                return;
            }
        }
        WriteAll(out_, text);
    }

private:
    UniqueFile console_;
    HANDLE out_ = nullptr;
};

// A run whose lines come one by one (/listen, /list): each goes out as it is made
// where it can be read as it comes; a box can only show them all at the end.
int RunWithLines(const std::function<int(const std::function<void(const std::string& line)>& say)>& run) {
    const OutputPlace place = ChooseOutputPlace(true, SystemOutputProbes());
    const TextOutput output(place);
    BoxLines kept;
    const int code = run([&](const std::string& line) {
        if (place == OutputPlace::kMessageBox) {
            kept.Add(line);
        } else {
            output.Write(line + "\r\n");
        }
    });
    if (place == OutputPlace::kMessageBox) ShowMessageBox(nullptr, ListenBox(kept, code));
    return code;
}

// The wake's actions of a list: the system's, with one socket per route for all the
// sends, but the probe before each packet also makes that PC's watch.
class ListWakeActions final : public WakeActions {
public:
    explicit ListWakeActions(ListWatches& watches) : watches_(watches) { wake_.KeepSockets(); }
    bool WriteCache(const std::string& name, const std::string& text, std::string& reason) override {
        return wake_.WriteCache(name, text, reason);
    }
    bool SendMagicPacket(const std::string& mac, int port, const std::string& password, const std::string& ip,
                         const std::vector<WireEndpoint>& also_to) override {
        return wake_.SendMagicPacket(mac, port, password, ip, also_to);
    }
    void ProbeBeforeSend(const std::string& ip, const std::string& mac) override { watches_.ProbeBeforeSend(ip, mac); }
    void StartWatcher(const std::string&, const std::string&, const std::optional<PairNotRemembered>&) override {}
    void EndSends() { wake_.EndSends(); }

private:
    SystemWakeActions wake_;
    ListWatches& watches_;
};

class SystemList final : public ListSystem {
public:
    SystemList(const ConsoleStop& stop, bool sweep) : stop_(stop), watches_(sweep), wake_(watches_) {}

    bool ReadListFile(const std::string& path, std::string& bytes, std::string& error) override {
        const UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            error = SystemErrorText(GetLastError());
            return false;
        }
        // One byte past the most a list may hold tells a file that is too large.
        bytes.assign(kPcListMostBytes + 1, '\0');
        DWORD total = 0;
        for (DWORD got = 1; got > 0 && total < bytes.size(); total += got) {
            if (!ReadFile(file.get(), &bytes[total], static_cast<DWORD>(bytes.size() - total), &got, nullptr)) {
                error = SystemErrorText(GetLastError());
                return false;
            }
        }
        bytes.resize(total);
        return true;
    }
    std::string FindMacWithoutRequest(const std::string& ip) override { return ::FindMacWithoutRequest(ip); }
    WakeActions& Wake() override { return wake_; }
    bool Pause(int ms) override {
        // In short steps, so that Ctrl-C cuts a long delay short.
        const std::int64_t end = MonotonicMs() + ms;
        for (std::int64_t left; !stop_.Asked() && (left = end - MonotonicMs()) > 0;) {
            Sleep(static_cast<DWORD>(left < 50 ? left : 50));
        }
        return !stop_.Asked();
    }
    std::int64_t NowMs() override { return MonotonicMs(); }
    std::optional<Ipv4Bytes> ResolveHost(const std::string& name) override { return ResolveIpv4Host(name); }
    void WatchAll(const std::vector<WatchTarget>& targets, std::int64_t end_ms, const WatchVerdict& verdict) override {
        // RunList watches once every send is done: their sockets close before the watch.
        // A run that watches nothing ends with its sends, and closes them with this object.
        wake_.EndSends();
        watches_.WatchAll(targets, end_ms, verdict, [this] { return stop_.Asked(); });
    }
    bool IsSameFile(const std::string& a, const std::string& b) override { return ::IsSameFile(a, b); }
    bool WriteReportFile(const std::string& path, const std::string& text, std::string& error) override {
        return WriteFileWhole(path, text, error);
    }

private:
    const ConsoleStop& stop_;
    ListWatches watches_;
    ListWakeActions wake_;
};

int RunListCommand(const CommandRequest& request) {
    return RunWithLines([&request](const std::function<void(const std::string& line)>& say) {
        const ConsoleStop stop;
        const SweepChoice sweep = request.wait ? ChooseSweep(request, SweepSettingOnThisPc) : SweepChoice{};
        if (sweep.sweep_overruled) say(kSweepOverruledText);
        SystemList system(stop, sweep.sweep);
        return RunList(request, system, say);
    });
}

}  // namespace

OutputProbes SystemOutputProbes() {
    return {StandardOutputRedirected, AttachParentConsole, WindowStationVisible};
}

void ShowCommandReport(const CommandReport& report) {
    const OutputPlace place = ChooseOutputPlace(!report.box.text.empty(), SystemOutputProbes());
    if (place == OutputPlace::kMessageBox) {
        ShowMessageBox(nullptr, report.box);
    } else {
        TextOutput(place).Write(report.console_text);
    }
}

int RunCommandLine(const std::vector<std::string>& arguments) {
    const CommandRequest request = ParseCommandLine(arguments);
    if (request.kind == CommandKind::kListen) {
        return RunWithLines([&request](const std::function<void(const std::string& line)>& say) {
            return ListenOnThisPc(request.listen_seconds, say);
        });
    }
    if (request.kind == CommandKind::kList) return RunListCommand(request);
    // The watcher is never started: /wait watches on this thread.
    SystemWakeActions wake;
    // A single /wake /wait keeps the console's Ctrl-C as it always was: the process ends.
    CommandLineSystem system{wake, FindMacOnThisPc, CheckProbeOnThisPc, MonotonicMs, WatchWakeOnThisPc,
                             ResolveIpv4Host, SweepSettingOnThisPc};
    const CommandReport report = RunCommandRequest(request, system);
    ShowCommandReport(report);
    return report.exit_code;
}
