#include "app/listen_command-win32.h"

#include <winsock2.h>
#include <windows.h>

#include <vector>

#include "app/console_stop-win32.h"
#include "app/listen_command.h"
#include "common/utf16-win32.h"
#include "common/windows_version-win32.h"
#include "net/adapter_list-win32.h"
#include "net/udp_listener-win32.h"

namespace {

class SystemListen final : public ListenSystem {
public:
    SystemListen(UdpListener& listener, const ConsoleStop& stop) : listener_(listener), stop_(stop) {}
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
    bool StopAsked() override { return stop_.Asked(); }

private:
    UdpListener& listener_;
    const ConsoleStop& stop_;
};

}  // namespace

int ListenOnThisPc(int seconds, const std::function<void(const std::string& line)>& say) {
    const ConsoleStop stop;
    UdpListener listener(std::vector<std::uint16_t>(kListenPorts.begin(), kListenPorts.end()));
    const ListenSetup setup{listener.openings(), ReadLocalAdapters(), ReadLocalIpv4Addresses(), ProgramPath(),
                            WindowsMajorVersion()};
    SystemListen system(listener, stop);
    return RunListen(seconds, setup, system, say);
}
