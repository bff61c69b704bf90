#include "net/probe_wait.h"

int CountPolls(std::int32_t limit_ms) {
    if (limit_ms <= 0) return 0;
    // Written without limit + 9, which would overflow near INT32_MAX.
    return limit_ms / kPollIntervalMs + (limit_ms % kPollIntervalMs != 0 ? 1 : 0);
}

bool PollForAnswer(int polls, int pause_ms, const PollFunction& poll, const SleepFunction& sleep) {
    for (int i = 0; i < polls; ++i) {
        if (poll()) return true;
        sleep(pause_ms);
    }
    return false;
}

bool ProbeWithTimeout(std::string ip_text, std::int32_t limit_ms, const ProbeStarter& start,
                      const SleepFunction& sleep) {
    const int polls = CountPolls(limit_ms);
    // No poll could see an answer, so a request sent now would be wasted.
    if (polls == 0) return false;
    ProbeHandle probe = start(std::move(ip_text), limit_ms);
    const bool answered =
        PollForAnswer(polls, kPollIntervalMs, [&probe] { return probe.IsAnswered(); }, sleep);
    probe.Abandon();
    return answered;
}
