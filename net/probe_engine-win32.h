#pragma once
// The process's probe engine: one thread running ProbeEngine::Run over the Winsock and
// IP helper io, started on first use and stopped once, at exit.
#include <memory>
#include <mutex>
#include <thread>

#include "net/probe_engine.h"
#include "net/probe_io-win32.h"

/// How long an engine's thread, once stopped, waits for its IP helper requests still in
/// flight before it ends (WinsockProbeIo::Settle).
constexpr int kEngineSettleMs = 1000;

/// Owns an io, an engine over it and the thread that runs the engine. Needs WSAStartup
/// to have succeeded, and to stay so until the owner is gone.
class ProbeEngineThread {
public:
    /// `settle_ms`: how long the thread, once stopped, lets its IP helper requests end
    /// before it ends itself; 0 where the process ends with it.
    explicit ProbeEngineThread(EchoPath path = EchoPath::kRawThenIpHelper, int most_at_once = kMostProbesAtOnce,
                               int settle_ms = kEngineSettleMs);
    /// Stop.
    ~ProbeEngineThread();
    ProbeEngineThread(const ProbeEngineThread&) = delete;
    ProbeEngineThread& operator=(const ProbeEngineThread&) = delete;

    /// False when the io or the thread could not be started: then nothing runs the
    /// engine and it must not be handed out.
    bool IsRunning() const { return running_; }
    ProbeEngine& engine() { return engine_; }
    /// What its io has sent so far. Any thread.
    ProbeIoSent Sent() const { return io_.Sent(); }

    /// Stops the engine (every order ends, kCancelled) and waits for its thread to end.
    /// Any thread; from the engine's own thread (a `done`) it only stops.
    void Stop();

private:
    WinsockProbeIo io_;
    ProbeEngine engine_;
    bool running_ = false;
    std::mutex join_mutex_;
    std::thread thread_;
};

/// The program's engine, started on its first use; nullptr when it could not start, and
/// when StopEveryProbe came before any use. Any thread.
ProbeEngine* ProcessProbeEngine();

/// The one cancel signal at exit: stops the program's engine, which ends every order,
/// and waits for its thread. A later Submit to it returns 0. Call it before WSACleanup.
void StopEveryProbe();
