#pragma once
// The wake's actions on this computer: the registry cache, the magic packet broadcast,
// and the watcher as an order of the process's probe engine.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/wake_command.h"
#include "app/wake_watch.h"
#include "net/magic_sender-win32.h"

class SystemWakeActions final : public WakeActions {
public:
    /// Called on the engine's thread with what a watch saw when it has ended (not when it
    /// was cancelled at exit); it must not block: the dialog posts itself a message.
    /// Without it no watcher is started, nor the probe before the packet.
    using WatchDone = std::function<void(const WakeSighting& seen)>;
    explicit SystemWakeActions(WatchDone watch_done = nullptr) : watch_done_(std::move(watch_done)) {}

    bool WriteCache(const std::string& name, const std::string& text, std::string& reason) override;
    bool SendMagicPacket(const std::string& mac, int port, const std::string& password, const std::string& ip,
                         const std::vector<WireEndpoint>& also_to) override;
    /// The watch's first order, on the probe engine; the sweep as the NoSweep setting allows.
    void ProbeBeforeSend(const std::string& ip, const std::string& mac) override;
    /// Hands the watch to the probe engine; when the engine cannot run, nothing is reported.
    void StartWatcher(const std::string& ip, const std::string& mac,
                      const std::optional<PairNotRemembered>& not_remembered) override;
    /// From now on the sends keep one socket per route open for the next, until
    /// EndSends: a list's hundreds of sends share them. Without it each send closes its
    /// own before it returns.
    void KeepSockets() { kept_sockets_.emplace(); }
    /// Closes the sockets kept; later sends open their own again.
    void EndSends() { kept_sockets_.reset(); }

private:
    void CreateWatch(const std::string& ip, const std::string& mac);
    WatchDone watch_done_;
    std::shared_ptr<WakeWatch> watch_;
    // This PC's addresses, read at the first send: a list's hundreds of sends share them.
    std::optional<std::vector<LocalIpv4Address>> locals_;
    std::optional<MagicPacketSockets> kept_sockets_;
};
