#pragma once
// The wake watch on this computer: the process's probe engine, the IP helper's ARP
// table and adapter addresses, the registry cache, and the NoSweep setting.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/wake_watch.h"

/// The watches' network on this computer; lives as long as the process.
WakeWatchNetwork& SystemWatchNetwork();

/// True when DWORD NoSweep = 1 under HKLM\Software\Tarvex\WOL: the dialog never sweeps.
bool SweepTurnedOff();

/// WakeWatchFunction on this computer: /wake /wait.
std::optional<WakeSighting> WatchWakeOnThisPc(const std::string& ip, const std::string& mac, std::int64_t timeout_ms,
                                              bool sweep, const std::function<bool()>& send);
