#include "net/probe_wait.h"

#include <algorithm>

bool PollForAnswer(std::int64_t deadline_ms, int pause_ms, const PollFunction& poll, const SleepFunction& sleep,
                   const ClockFunction& clock) {
    for (;;) {
        if (poll()) return true;
        const std::int64_t left = deadline_ms - clock();
        if (left <= 0) return false;
        sleep(static_cast<int>(std::min<std::int64_t>(pause_ms, left)));
        if (clock() >= deadline_ms) return false;
    }
}

bool ProbeWithTimeout(std::string ip_text, std::int32_t limit_ms, const ProbeStarter& start,
                      const SleepFunction& sleep, const ClockFunction& clock) {
    // No poll could see an answer, so a request sent now would be wasted.
    if (limit_ms <= 0) return false;
    // Starting the probe counts against the limit too.
    const std::int64_t deadline = clock() + limit_ms;
    ProbeHandle probe = start(std::move(ip_text), limit_ms);
    const bool answered =
        PollForAnswer(deadline, kPollIntervalMs, [&probe] { return probe.IsAnswered(); }, sleep, clock);
    probe.Abandon();
    return answered;
}
