#pragma once
// The wake's actions on this computer: the registry cache, the magic packet broadcast,
// and the watcher as an order of the process's probe engine.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/wake_command.h"
#include "net/magic_sender.h"

class SystemWakeActions final : public WakeActions {
public:
    /// Called on the engine's thread when a watch has ended with or without an answer
    /// (not when it was cancelled at exit); it must not block: the dialog posts itself
    /// a message. Without it no watcher is started.
    using WatchDone = std::function<void(bool answered)>;
    explicit SystemWakeActions(WatchDone watch_done = nullptr) : watch_done_(std::move(watch_done)) {}

    bool WriteCache(const std::string& name, const std::string& text) override;
    bool SendMagicPacket(const std::string& mac, int port, const std::string& password, const std::string& ip,
                         const std::vector<WireEndpoint>& also_to) override;
    /// Hands the watch to the probe engine; when the engine cannot run, nothing is reported.
    void StartWatcher(const std::string& ip) override;

private:
    WatchDone watch_done_;
    // This PC's addresses, read at the first send: a list's hundreds of sends share them.
    std::optional<std::vector<LocalIpv4Address>> locals_;
};
