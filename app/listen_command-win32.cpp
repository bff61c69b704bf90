#include "app/listen_command-win32.h"

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <vector>

#include "app/listen_command.h"
#include "net/adapter_list-win32.h"
#include "net/udp_listener-win32.h"

namespace {

// A console control handler takes no context, so Ctrl-C reaches the one listen loop
// through this flag; the system calls the handler on a thread of its own.
std::atomic<bool> stop_asked{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
    // Closing the console, logging off, shutting down: the default handler ends the process.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    stop_asked.store(true);
    return TRUE;
}

// The handler, for the life of the object.
class ConsoleControlHandler {
public:
    ConsoleControlHandler() : added_(SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE) {}
    ~ConsoleControlHandler() {
        if (added_) SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    }
    ConsoleControlHandler(const ConsoleControlHandler&) = delete;
    ConsoleControlHandler& operator=(const ConsoleControlHandler&) = delete;

private:
    bool added_;
};

class SystemListen final : public ListenSystem {
public:
    explicit SystemListen(UdpListener& listener) : listener_(listener) {}
    ListenWait Receive(int slice_ms, ReceivedDatagram& datagram, SocketFailure& failure) override {
        return listener_.Receive(slice_ms, datagram, failure);
    }
    // GetTickCount64 is newer than Windows XP; a listen lasts an hour at most.
    std::uint32_t TickCount() override { return GetTickCount(); }
    TimeOfDay LocalTime() override {
        SYSTEMTIME now;
        GetLocalTime(&now);
        return TimeOfDay{now.wHour, now.wMinute, now.wSecond};
    }
    bool StopAsked() override { return stop_asked.load(); }

private:
    UdpListener& listener_;
};

}  // namespace

int ListenOnThisPc(int seconds, const std::function<void(const std::string& line)>& say) {
    stop_asked.store(false);
    const ConsoleControlHandler handler;
    UdpListener listener(std::vector<std::uint16_t>(kListenPorts.begin(), kListenPorts.end()));
    const ListenSetup setup{listener.openings(), ReadLocalAdapters(), ReadLocalIpv4Addresses()};
    SystemListen system(listener);
    return RunListen(seconds, setup, system, say);
}
