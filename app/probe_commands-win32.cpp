#include "app/probe_commands-win32.h"

#include <utility>

#include "common/monotonic_clock-win32.h"
#include "net/probe_engine-win32.h"

bool CheckProbeOnThisPc(std::string ip_text, std::int32_t limit_ms) {
    ProbeEngine* engine = ProcessProbeEngine();
    if (engine == nullptr) return false;
    ProbeOrder order;
    order.host = std::move(ip_text);
    order.reading = HostReading::kAddressOnly;
    order.order_class = OrderClass::kInteractive;
    order.first_ms = MonotonicMs();
    order.end_ms = order.first_ms + limit_ms;
    order.attempt_ms = limit_ms;
    order.attempts = 1;
    return ProbeAndWait(*engine, std::move(order)).verdict == ProbeVerdict::kAnswered;
}
