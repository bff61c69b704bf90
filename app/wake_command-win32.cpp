#include "app/wake_command-win32.h"

#include <utility>

#include "addr/ip_text.h"
#include "cache/registry_cache-win32.h"
#include "common/monotonic_clock-win32.h"
#include "net/adapter_list-win32.h"
#include "net/magic_sender-win32.h"
#include "net/probe_engine-win32.h"

bool SystemWakeActions::WriteCache(const std::string& name, const std::string& text) {
    return WriteCacheValue(name, text);
}

bool SystemWakeActions::SendMagicPacket(const std::string& mac, int port, const std::string& password,
                                        const std::string& ip, const std::vector<WireEndpoint>& also_to) {
    if (!locals_) locals_ = ReadLocalIpv4Addresses();
    // A machine's name adds nothing: the wake never resolves what the IP field holds.
    return ::SendMagicPacket(mac, port, password, *locals_, ReadIpv4Octets(ip), also_to);
}

void SystemWakeActions::StartWatcher(const std::string& ip) {
    ProbeEngine* engine = ProcessProbeEngine();
    if (engine == nullptr || !watch_done_) return;
    engine->Submit(WatchOrder(ip, kWatchSchedule, MonotonicMs(), [done = watch_done_](const ProbeOutcome& outcome) {
        // Cancelled: the program is ending, and nobody is left to tell.
        if (outcome.verdict != ProbeVerdict::kCancelled) done(outcome.verdict == ProbeVerdict::kAnswered);
    }));
}
