#pragma once
// The wake's actions on this computer, and its watcher with the real probes and clock.
#include <functional>
#include <string>

#include "app/wake_command.h"

/// The registry cache, the magic packet broadcast, and a detached watcher that hands
/// its outcome's message to `report` on its own thread.
class SystemWakeActions final : public WakeActions {
public:
    using Report = std::function<void(const Message& message)>;
    explicit SystemWakeActions(Report report) : report_(std::move(report)) {}

    bool WriteCache(const std::string& name, const std::string& text) override;
    bool SendMagicPacket(const std::string& mac, int port, const std::string& password) override;
    /// When no thread can start, nothing is reported.
    void StartWatcher(const std::string& ip) override;

private:
    Report report_;
};

/// WatchForWake of `ip` with echo probes, the system's sleep and its monotonic clock,
/// on the caller's thread: about 60 s when the machine answers at once, 90 s when it
/// never does.
WatchOutcome WatchForWakeNow(const std::string& ip);
