#pragma once
// The program's one way of starting a thread: detached, since nothing ever waits
// for one or stops one from outside; each thread ends by itself.
#include <thread>
#include <utility>

/// Runs `work` on a new detached thread. An exception leaving `work` is dropped
/// there, since it would end the process. False when no thread could be started
/// (std::system_error, or no memory for the thread's start data); `work` and what
/// it owns are then released here.
template <typename Work>
bool StartDetachedThread(Work work) noexcept {
    try {
        std::thread([work = std::move(work)]() mutable {
            try {
                work();
            } catch (...) {
            }
        }).detach();
        return true;
    } catch (...) {
        return false;
    }
}
