#pragma once
// What an echo probe thread shares with whoever started it, and the starter's handle
// on it. The state is reference-counted: the probe thread holds one share and the
// starter's ProbeHandle the other, so whichever lets go last frees it. No thread is
// ever stopped from outside: the starter abandons the probe (never waiting for it),
// and the probe, which waits in short bounded slices, sees that, closes its socket
// and ends by itself.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

enum class ProbeResult { kPending, kAnswered, kNoAnswer };

/// Abandons every probe of the process, running or yet to start, for good: called when
/// the process is about to end, so that no probe sends anything from then on.
void AbandonEveryProbe();
/// True once AbandonEveryProbe has been called.
bool IsEveryProbeAbandoned();

class ProbeState {
public:
    /// `limit_ms` is how long the starter will wait for the answer; a probe that
    /// cannot wait in slices (the IcmpSendEcho fallback) uses it as its own bound.
    ProbeState(std::string host, std::int32_t limit_ms)
        : host_(std::move(host)), limit_ms_(limit_ms) {}

    ProbeState(const ProbeState&) = delete;
    ProbeState& operator=(const ProbeState&) = delete;

    /// The probe's own copy of the host text.
    const std::string& host() const { return host_; }
    std::int32_t limit_ms() const { return limit_ms_; }

    /// kPending until the probe thread has finished (its socket already closed).
    ProbeResult result() const { return result_.load(std::memory_order_acquire); }
    /// Called once by the probe thread as the last thing it does with its resources.
    void Finish(ProbeResult result) { result_.store(result, std::memory_order_release); }

    bool IsAbandoned() const { return abandoned_.load(std::memory_order_acquire) || IsEveryProbeAbandoned(); }
    void Abandon() { abandoned_.store(true, std::memory_order_release); }

private:
    const std::string host_;
    const std::int32_t limit_ms_;
    std::atomic<ProbeResult> result_{ProbeResult::kPending};
    std::atomic<bool> abandoned_{false};
};

/// The starter's share of one probe. Move-only; abandoning it, or destroying it,
/// tells the probe to stop and lets go of the share at once, without waiting.
class ProbeHandle {
public:
    ProbeHandle() = default;
    explicit ProbeHandle(std::shared_ptr<ProbeState> state) : state_(std::move(state)) {}
    ~ProbeHandle() { Abandon(); }

    ProbeHandle(ProbeHandle&& other) noexcept = default;
    ProbeHandle& operator=(ProbeHandle&& other) noexcept {
        if (this != &other) {
            Abandon();
            state_ = std::move(other.state_);
        }
        return *this;
    }
    ProbeHandle(const ProbeHandle&) = delete;
    ProbeHandle& operator=(const ProbeHandle&) = delete;

    /// True once the probe has ended with an answer; always false after Abandon.
    bool IsAnswered() const { return state_ && state_->result() == ProbeResult::kAnswered; }

    /// Tells the probe to stop and drops this share. Never blocks; an answer that
    /// comes after this no longer counts.
    void Abandon() {
        if (state_) state_->Abandon();
        state_.reset();
    }

private:
    std::shared_ptr<ProbeState> state_;
};

/// The work of one probe thread; it must call `state->Finish` before it returns.
using ProbeBody = std::function<void(std::shared_ptr<ProbeState> state)>;

/// Starts `body` on a new detached thread with a fresh state for `host` and
/// `limit_ms`, and returns the starter's handle. When no thread can be created the
/// probe counts as ended without an answer.
ProbeHandle StartProbe(std::string host, std::int32_t limit_ms, const ProbeBody& body);
