#include "net/echo_probe-win32.h"

// icmpapi.h needs the IP helper types declared first.
#include <iphlpapi.h>
#include <icmpapi.h>
#include <ntsecapi.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "common/detached_thread.h"
#include "common/handles-win32.h"
#include "net/probe_wait-win32.h"
#include "net/probe_wait.h"

namespace {

using UniqueIcmpHandle = UniqueHandle<InvalidIsNone<HANDLE, IcmpCloseHandle>>;

// How long a probe waits for its IcmpSendEcho thread to start before it goes on with
// the connections regardless.
constexpr DWORD kIcmpThreadStartMs = 200;

// What a probe and its IcmpSendEcho thread share; whichever ends last frees it.
struct IcmpApiShared {
    std::atomic<IcmpApiState> state{IcmpApiState::kPending};
    std::atomic<bool> calling{false};
};

class ThreadIcmpApiEcho final : public IcmpApiEcho {
public:
    explicit ThreadIcmpApiEcho(std::shared_ptr<IcmpApiShared> shared) : shared_(std::move(shared)) {}
    IcmpApiState State() const override { return shared_->state.load(std::memory_order_acquire); }

private:
    std::shared_ptr<IcmpApiShared> shared_;
};

}  // namespace

std::unique_ptr<WinsockProbeSockets> WinsockProbeSockets::Open(bool raw_icmp) {
    UniqueSocket raw;
    if (raw_icmp) {
        raw.reset(socket(AF_INET, SOCK_RAW, IPPROTO_ICMP));
        if (!raw) return nullptr;
    }
    return std::unique_ptr<WinsockProbeSockets>(new WinsockProbeSockets(std::move(raw)));
}

bool WinsockProbeSockets::SendEcho(const Ipv4Bytes& to, const EchoRequest& request) {
    if (!raw_) return false;
    const sockaddr_in addr = ToSockaddr(to, {0, 0});
    const int length = static_cast<int>(request.size());
    const int sent = sendto(raw_.get(), reinterpret_cast<const char*>(request.data()), length, 0,
                            reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    return sent == length;
}

bool WinsockProbeSockets::Connect(const Ipv4Bytes& to, std::uint16_t port, ConnectionKind kind) {
    // A select set holds FD_SETSIZE sockets; the raw socket needs one of them.
    if (pending_.size() + 1 >= FD_SETSIZE) return false;
    UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s) return false;
    u_long non_blocking = 1;
    if (ioctlsocket(s.get(), FIONBIO, &non_blocking) != 0) return false;
    const sockaddr_in addr = ToSockaddr(to, ToPortBytes(port));
    if (connect(s.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
        // Possible on loopback, where a local proxy would complete the control at once
        // too; the socket closes here.
        (kind == ConnectionKind::kControl ? completed_.control_connected : completed_.service_connected) = true;
        return true;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
    pending_.push_back(Connection{std::move(s), kind});
    return true;
}

DatagramWait WinsockProbeSockets::Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& size) {
    sockaddr_in from;
    int from_size = sizeof from;
    const int got = recvfrom(raw_.get(), reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                             reinterpret_cast<sockaddr*>(&from), &from_size);
    if (got == SOCKET_ERROR) {
        // A datagram longer than the buffer fails with WSAEMSGSIZE and is cut; it is
        // someone else's (our reply fits), so it is skipped, not taken as a failure.
        return WSAGetLastError() == WSAEMSGSIZE ? DatagramWait::kTooLarge : DatagramWait::kFailed;
    }
    size = static_cast<std::size_t>(got);
    return DatagramWait::kReceived;
}

ProbeWaitResult WinsockProbeSockets::Wait(int slice_ms, std::uint8_t* buffer, std::size_t capacity) {
    if (completed_.control_connected || completed_.service_connected) {
        const ProbeWaitResult at_once = completed_;
        completed_ = ProbeWaitResult{};
        return at_once;
    }
    ProbeWaitResult result;
    if (!raw_ && pending_.empty()) {
        // Winsock's select refuses three empty sets.
        Sleep(static_cast<DWORD>(slice_ms));
        return result;
    }
    fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    if (raw_) FD_SET(raw_.get(), &readable);
    for (const Connection& c : pending_) {
        FD_SET(c.socket.get(), &writable);
        FD_SET(c.socket.get(), &failed);
    }
    timeval slice;
    slice.tv_sec = slice_ms / 1000;
    slice.tv_usec = (slice_ms % 1000) * 1000;
    // Winsock ignores select's first argument.
    const int ready = select(0, &readable, &writable, &failed, &slice);
    if (ready == 0) return result;
    if (ready == SOCKET_ERROR) {
        result.datagram = DatagramWait::kFailed;
        return result;
    }
    for (auto it = pending_.begin(); it != pending_.end();) {
        const SOCKET s = it->socket.get();
        const bool is_writable = FD_ISSET(s, &writable) != 0;
        int error = 0;
        int error_size = sizeof error;
        if (is_writable &&
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &error_size) != 0) {
            error = WSAGetLastError();
        }
        const ConnectionState state = JudgeConnection(is_writable, FD_ISSET(s, &failed) != 0, error);
        if (state == ConnectionState::kPending) {
            ++it;
            continue;
        }
        if (state == ConnectionState::kCompleted) {
            (it->kind == ConnectionKind::kControl ? result.control_connected : result.service_connected) = true;
        }
        it = pending_.erase(it);  // closed at once, nothing sent
    }
    if (raw_ && FD_ISSET(raw_.get(), &readable)) result.datagram = Receive(buffer, capacity, result.size);
    return result;
}

std::unique_ptr<ProbeSockets> WinsockEchoNetwork::OpenSockets(bool raw_icmp) {
    return WinsockProbeSockets::Open(raw_icmp);
}

bool WinsockEchoNetwork::Resolve(const std::string& host, Ipv4Bytes& address) {
    if (host.empty()) return false;
    // The entry lives in per-thread Winsock storage; copy from it at once.
    const hostent* entry = gethostbyname(host.c_str());
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != 4 ||
        entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr) {
        return false;
    }
    std::memcpy(address.data(), entry->h_addr_list[0], address.size());
    return true;
}

std::uint32_t WinsockEchoNetwork::TickCount() {
    return GetTickCount();
}

std::uint32_t WinsockEchoNetwork::NewProbeValue() {
    std::uint32_t value = 0;
    if (RtlGenRandom(&value, sizeof value)) return value;
    // Not expected to happen; still different from probe to probe.
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<std::uint32_t>(now.QuadPart) ^ (GetCurrentThreadId() << 16) ^ GetTickCount();
}

std::unique_ptr<IcmpApiEcho> WinsockEchoNetwork::StartEchoThroughIcmpApi(const Ipv4Bytes& to,
                                                                         std::vector<std::uint8_t> payload,
                                                                         std::int32_t timeout_ms) {
    auto shared = std::make_shared<IcmpApiShared>();
    const bool started = StartDetachedThread([shared, to, payload = std::move(payload), timeout_ms] {
        shared->calling.store(true, std::memory_order_release);
        const bool answered = EchoThroughIcmpApi(to, payload, timeout_ms);
        shared->state.store(answered ? IcmpApiState::kAnswered : IcmpApiState::kNoAnswer,
                            std::memory_order_release);
    });
    if (!started) return nullptr;
    // The request is to leave before the connections: let the thread reach its call,
    // and give the call a moment to put the request on the wire.
    const DWORD start = GetTickCount();
    while (!shared->calling.load(std::memory_order_acquire) && GetTickCount() - start < kIcmpThreadStartMs) {
        Sleep(1);
    }
    Sleep(1);
    return std::make_unique<ThreadIcmpApiEcho>(std::move(shared));
}

bool EchoThroughIcmpApi(const Ipv4Bytes& to, const std::vector<std::uint8_t>& payload, std::int32_t timeout_ms) {
    UniqueIcmpHandle icmp(IcmpCreateFile());
    if (!icmp) return false;
    IPAddr destination;
    static_assert(sizeof destination == sizeof(Ipv4Bytes), "IPAddr is 4 bytes");
    std::memcpy(&destination, to.data(), to.size());

    // Room for one reply with our data echoed, plus the 8 bytes of an ICMP error and
    // the status block the call may append, with some to spare.
    std::vector<BYTE> replies(sizeof(ICMP_ECHO_REPLY) + payload.size() + 8 + 64);
    const DWORD count = IcmpSendEcho(icmp.get(), destination, const_cast<std::uint8_t*>(payload.data()),
                                     static_cast<WORD>(payload.size()), nullptr, replies.data(),
                                     static_cast<DWORD>(replies.size()),
                                     static_cast<DWORD>(timeout_ms > 0 ? timeout_ms : 1));
    const BYTE* const begin = replies.data();
    const BYTE* const end = begin + replies.size();
    for (DWORD i = 0; i < count && (i + 1) * sizeof(ICMP_ECHO_REPLY) <= replies.size(); ++i) {
        ICMP_ECHO_REPLY reply;
        std::memcpy(&reply, begin + i * sizeof reply, sizeof reply);
        // A router's "unreachable" arrives here too, with its own status and address.
        if (reply.Status != IP_SUCCESS || reply.Address != destination) continue;
        // The data must be ours: a reply to another probe carries another value.
        const auto* data = static_cast<const BYTE*>(reply.Data);
        if (reply.DataSize != payload.size() || data < begin || data > end ||
            static_cast<std::size_t>(end - data) < payload.size()) {
            continue;
        }
        if (std::memcmp(data, payload.data(), payload.size()) == 0) return true;
    }
    return false;
}

void EchoProbeThread(std::shared_ptr<ProbeState> state, HostReading reading, EchoRoute route) {
    WinsockEchoNetwork network;
    state->Finish(RunEchoProbe(*state, network, reading, route));
}

ProbeHandle StartEchoProbe(std::string host, std::int32_t limit_ms, HostReading reading, EchoRoute route) {
    return StartProbe(std::move(host), limit_ms, [reading, route](std::shared_ptr<ProbeState> state) {
        EchoProbeThread(std::move(state), reading, route);
    });
}

bool ProbeWithTimeout(std::string ip_text, std::int32_t limit_ms) {
    return ProbeWithTimeout(
        std::move(ip_text), limit_ms,
        [](std::string host, std::int32_t limit) {
            return StartEchoProbe(std::move(host), limit, HostReading::kAddressOnly);
        },
        [](int ms) { Sleep(static_cast<DWORD>(ms)); }, MonotonicMs);
}
