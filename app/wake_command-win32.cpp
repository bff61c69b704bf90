#include "app/wake_command-win32.h"

#include <memory>

#include "addr/ip_text.h"
#include "app/wake_watch-win32.h"
#include "cache/registry_cache-win32.h"
#include "common/monotonic_clock-win32.h"
#include "common/system_error-win32.h"
#include "net/adapter_list-win32.h"
#include "net/magic_sender-win32.h"

bool SystemWakeActions::WriteCache(const std::string& name, const std::string& text, std::string& reason) {
    LONG status = ERROR_SUCCESS;
    if (WriteCacheValue(name, text, &status)) return true;
    reason = SystemErrorText(static_cast<DWORD>(status));
    return false;
}

bool SystemWakeActions::SendMagicPacket(const std::string& mac, int port, const std::string& password,
                                        const std::string& ip, const std::vector<WireEndpoint>& also_to) {
    if (!locals_) locals_ = ReadLocalIpv4Addresses();
    // A machine's name adds nothing: the wake never resolves what the IP field holds.
    const std::optional<Ipv4Bytes> target = ReadIpv4Octets(ip);
    if (kept_sockets_) return ::SendMagicPacket(*kept_sockets_, mac, port, password, *locals_, target, also_to);
    return ::SendMagicPacket(mac, port, password, *locals_, target, also_to);
}

void SystemWakeActions::CreateWatch(const std::string& ip, const std::string& mac) {
    // Wakes a few seconds apart share the sweep of their LAN while it runs.
    watch_ = WakeWatch::Create(SystemWatchNetwork(), ProcessLanSweeps(), ip, mac,
                               WakeWatchPlan{kWatchSchedule, SweepSettingOnThisPc() == SweepSetting::kOn}, watch_done_);
}

void SystemWakeActions::ProbeBeforeSend(const std::string& ip, const std::string& mac) {
    if (!watch_done_) return;
    CreateWatch(ip, mac);
    watch_->ProbeBeforeSend();
}

void SystemWakeActions::StartWatcher(const std::string& ip, const std::string& mac,
                                     const std::optional<PairNotRemembered>& not_remembered) {
    if (!watch_done_) return;
    if (!watch_) CreateWatch(ip, mac);
    if (not_remembered) watch_->NotRemembered(*not_remembered);
    watch_->Start(MonotonicMs());
}
