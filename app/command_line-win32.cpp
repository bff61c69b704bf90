#include "app/command_line-win32.h"

#include <windows.h>

#include <utility>

#include "app/listen_command-win32.h"
#include "app/listen_command.h"
#include "app/mac_resolution-win32.h"
#include "app/probe_commands-win32.h"
#include "app/wake_command-win32.h"
#include "common/handles-win32.h"
#include "common/monotonic_clock-win32.h"

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
    return AttachConsole(ATTACH_PARENT_PROCESS) || GetLastError() == ERROR_ACCESS_DENIED;
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
        if (out_ != nullptr && out_ != INVALID_HANDLE_VALUE) WriteAll(out_, text);
    }

private:
    UniqueFile console_;
    HANDLE out_ = nullptr;
};

void ShowBox(const Message& box) {
    MessageBoxA(nullptr, box.text.c_str(), box.caption, MB_OK | static_cast<unsigned>(box.icon));
}

// /listen: every line goes out as it is made where it can be read as it comes; a box
// can only show them all at the end.
int RunListenCommand(int seconds) {
    const OutputPlace place = ChooseOutputPlace(true, SystemOutputProbes());
    const TextOutput output(place);
    std::vector<std::string> kept;
    const int code = ListenOnThisPc(seconds, [&](const std::string& line) {
        if (place == OutputPlace::kMessageBox) {
            kept.push_back(line);
        } else {
            output.Write(line + "\r\n");
        }
    });
    if (place == OutputPlace::kMessageBox) ShowBox(ListenBox(kept, code));
    return code;
}

}  // namespace

OutputProbes SystemOutputProbes() {
    return {StandardOutputRedirected, AttachParentConsole, WindowStationVisible};
}

void ShowCommandReport(const CommandReport& report) {
    const OutputPlace place = ChooseOutputPlace(!report.box.text.empty(), SystemOutputProbes());
    if (place == OutputPlace::kMessageBox) {
        ShowBox(report.box);
    } else {
        TextOutput(place).Write(report.console_text);
    }
}

int RunCommandLine(const std::vector<std::string>& arguments) {
    const CommandRequest request = ParseCommandLine(arguments);
    if (request.kind == CommandKind::kListen) return RunListenCommand(request.listen_seconds);
    // The watcher is never started: /wait watches on this thread.
    SystemWakeActions wake;
    // A single /wake /wait keeps the console's Ctrl-C as it always was: the process ends.
    CommandLineSystem system{wake, FindMacOnThisPc, CheckProbeOnThisPc, MonotonicMs,
                             [](const std::vector<WatchTarget>& targets, std::int64_t end_ms,
                                const WatchVerdict& verdict) {
                                 WatchEveryHost(targets, end_ms, verdict, [] { return false; });
                             }};
    const CommandReport report = RunCommandRequest(request, system);
    ShowCommandReport(report);
    return report.exit_code;
}
