#include "net/probe_engine-win32.h"

#include <system_error>

ProbeEngineThread::ProbeEngineThread(EchoPath path, int most_at_once, int settle_ms)
    : io_(path), engine_(io_, most_at_once) {
    if (!io_.IsReady()) return;
    try {
        thread_ = std::thread([this, settle_ms] {
            engine_.Run();
            // A thread that ends has its requests in flight cancelled, and Wine 8 can
            // deadlock its ICMP driver cancelling one as it completes: they end first.
            if (settle_ms > 0) io_.Settle(settle_ms);
        });
        running_ = true;
    } catch (const std::system_error&) {
        // No thread to be had: callers see an engine that could not start.
    }
}

ProbeEngineThread::~ProbeEngineThread() {
    Stop();
}

void ProbeEngineThread::Stop() {
    engine_.Stop();
    // Stop wakes the io itself; once more costs nothing and does not depend on it.
    io_.Wake();
    if (std::this_thread::get_id() == thread_.get_id()) return;
    const std::lock_guard<std::mutex> lock(join_mutex_);
    if (thread_.joinable()) thread_.join();
}

namespace {

struct ProcessEngine {
    std::mutex mutex;
    bool started_once = false;  // started or tried; never again
    std::unique_ptr<ProbeEngineThread> thread;
};

// Never destroyed: a thread still holding the engine after StopEveryProbe may call it
// (Submit answers 0) however late in the process's exit that happens.
ProcessEngine& Process() {
    static ProcessEngine* const process = new ProcessEngine;
    return *process;
}

}  // namespace

ProbeEngine* ProcessProbeEngine() {
    ProcessEngine& process = Process();
    const std::lock_guard<std::mutex> lock(process.mutex);
    if (!process.started_once) {
        process.started_once = true;
        // The process ends with it: nothing to wait for.
        auto thread = std::make_unique<ProbeEngineThread>(EchoPath::kRawThenIpHelper, kMostProbesAtOnce, 0);
        if (thread->IsRunning()) process.thread = std::move(thread);
    }
    return process.thread ? &process.thread->engine() : nullptr;
}

void StopEveryProbe() {
    ProcessEngine& process = Process();
    ProbeEngineThread* thread = nullptr;
    {
        const std::lock_guard<std::mutex> lock(process.mutex);
        process.started_once = true;
        thread = process.thread.get();
    }
    // Outside the lock: a `done` that runs while the engine ends may ask for the engine.
    if (thread != nullptr) thread->Stop();
}
