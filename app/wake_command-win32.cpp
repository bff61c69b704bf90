#include "app/wake_command-win32.h"

#include <windows.h>

#include <utility>

#include "cache/registry_cache-win32.h"
#include "common/detached_thread.h"
#include "net/echo_probe-win32.h"
#include "net/magic_sender-win32.h"
#include "net/probe_wait-win32.h"

namespace {

/// What the wake command hands to its watcher thread, which owns it alone.
struct WakeTarget {
    std::string ip;  // the IP text as typed
    SystemWakeActions::Report report;
};

}  // namespace

bool SystemWakeActions::WriteCache(const std::string& name, const std::string& text) {
    return WriteCacheValue(name, text);
}

bool SystemWakeActions::SendMagicPacket(const std::string& mac, int port, const std::string& password) {
    return ::SendMagicPacket(mac, port, password);
}

void SystemWakeActions::StartWatcher(const std::string& ip) {
    StartDetachedThread([target = WakeTarget{ip, report_}] { target.report(WatchForWakeNow(target.ip).message); });
}

WatchOutcome WatchForWakeNow(const std::string& ip) {
    return WatchForWake(
        ip, kWatchSchedule,
        [](std::string host, std::int32_t limit_ms) {
            return StartEchoProbe(std::move(host), limit_ms, HostReading::kAddressOrName);
        },
        [](int ms) { Sleep(static_cast<DWORD>(ms)); }, MonotonicMs);
}
