#include "net/probe_io-win32.h"

// icmpapi.h needs the IP helper types declared first, and winternl.h for the APC
// routine's type.
#include <iphlpapi.h>
#include <winternl.h>
#define PIO_APC_ROUTINE_DEFINED
#include <icmpapi.h>
#include <ntsecapi.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <thread>

#include "common/monotonic_clock-win32.h"
#include "common/windows_version-win32.h"

namespace {

using UniqueIcmpHandle = UniqueHandle<InvalidIsNone<HANDLE, IcmpCloseHandle>>;

bool IsSignalled(HANDLE event) {
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// Wine 8's IcmpSendEcho2, given an event and no APC routine, frees the status block of a
// request that is still running, and the request's end then writes into freed memory:
// the heap breaks at some later free (the tests that force the IP helper path crashed
// so). Given an APC routine as well, Wine keeps that block until the routine has run,
// which an alertable wait lets it do. Windows needs none of it and gets none.
bool RunsOnWine() {
    static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

void NTAPI LetWineFreeItsStatusBlock(PVOID, PIO_STATUS_BLOCK, ULONG) {}

}  // namespace

struct WinsockProbeIo::ApiEcho {
    std::vector<std::uint8_t> payload;
    std::vector<BYTE> replies;  // written by the call until `event` is set
    UniqueKernelObject event;   // manual reset; set when the call has ended
    UniqueIcmpHandle icmp;      // declared last: closed first, before the buffer goes
    IPAddr destination = 0;
    std::int64_t give_up_ms = 0;  // its timeout plus kApiEchoMarginMs

    /// True for a reply with status IP_SUCCESS from the destination whose data is the
    /// payload exactly. Only once the event is set.
    bool Answered() {
        const DWORD count = IcmpParseReplies(replies.data(), static_cast<DWORD>(replies.size()));
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
};

// What the io shares with every lookup's thread. A thread holds it until it has ended,
// so the event it sets outlives the io if need be.
struct WinsockProbeIo::Lookups {
    UniqueKernelObject ended{CreateEventA(nullptr, TRUE, FALSE, nullptr)};  // manual reset
    std::atomic<int> running{0};  // threads not ended yet, let go of or not
};

// One lookup, shared by its thread and, until it is reported or let go of, the io.
struct WinsockProbeIo::Lookup {
    std::shared_ptr<Lookups> shared;
    HostNameLookup look_up;
    std::string host;
    bool found = false;      // written by the thread before `ended`
    Ipv4Bytes address{};     // likewise
    std::atomic<bool> ended{false};
};

bool LookUpHostName(const std::string& host, Ipv4Bytes& address) {
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

WinsockProbeIo::WinsockProbeIo(EchoPath path, HostNameLookup look_up)
    : path_(path),
      look_up_(std::move(look_up)),
      wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      raw_event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      tcp_event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      lookups_shared_(std::make_shared<Lookups>()) {
    if (path_ == EchoPath::kIpHelperOnly || !raw_event_) return;
    raw_.reset(socket(AF_INET, SOCK_RAW, IPPROTO_ICMP));
    if (raw_ && WSAEventSelect(raw_.get(), raw_event_.get(), FD_READ) != 0) raw_.reset();
}

WinsockProbeIo::~WinsockProbeIo() {
    for (auto& [id, echo] : api_echoes_) let_go_.push_back(std::move(echo));
    for (auto& echo : let_go_) {
        const std::int64_t left = echo->give_up_ms - NowMs();
        if (left > 0) WaitForSingleObject(echo->event.get(), static_cast<DWORD>(left));
        // Still running: freeing its buffer (or closing its event, whose number may be
        // reused) would let the system write into memory that is someone else's by then.
        // It is left as it is; the io goes when the process ends, and the system takes
        // it all back then.
        if (!IsSignalled(echo->event.get())) (void)echo.release();
    }
    // Lookups' threads hold what they use and end on their own: nothing to wait for.
}

bool WinsockProbeIo::IsReady() const {
    return wake_ && raw_event_ && tcp_event_ && lookups_shared_->ended;
}

std::int64_t WinsockProbeIo::NowMs() {
    return MonotonicMs();
}

std::uint32_t WinsockProbeIo::TickCount() {
    return GetTickCount();
}

std::uint32_t WinsockProbeIo::NewProbeValue() {
    std::uint32_t value = 0;
    if (RtlGenRandom(&value, sizeof value)) return value;
    // Not expected to happen; still different from attempt to attempt.
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<std::uint32_t>(now.QuadPart) ^ (GetCurrentThreadId() << 16) ^ GetTickCount();
}

IoId WinsockProbeIo::StartLookup(const std::string& host) {
    if (!HasLookupRoom()) return 0;
    auto lookup = std::make_shared<Lookup>();
    lookup->shared = lookups_shared_;
    lookup->look_up = look_up_;
    lookup->host = host;
    ++lookups_shared_->running;
    try {
        // Detached: nobody waits for it, and the runtime closes its handle when it ends.
        std::thread(RunLookup, lookup).detach();
    } catch (const std::exception&) {  // no thread (system_error) or no memory for one
        --lookups_shared_->running;
        return 0;
    }
    const IoId id = NextId();
    lookups_.emplace(id, std::move(lookup));
    return id;
}

bool WinsockProbeIo::HasLookupRoom() {
    return lookups_shared_->running.load() < kMostLookups;
}

int WinsockProbeIo::MostPendingConnections() {
    // Vista and later have no such limit; every connection the engine may open at once
    // (a control and the service ports for each attempt) is then no burden.
    static const int most = WindowsMajorVersion() == 5
                                ? kMostPendingConnectionsXp
                                : kMostProbesAtOnce * static_cast<int>(kServicePorts.size() + 1);
    return most;
}

bool WinsockProbeIo::HasRawSocket() {
    return raw_.valid();
}

bool WinsockProbeIo::SendRawEcho(const Ipv4Bytes& to, const EchoRequest& request) {
    if (!raw_) return false;
    const sockaddr_in addr = ToSockaddr(to, {0, 0});
    const int length = static_cast<int>(request.size());
    const int sent = sendto(raw_.get(), reinterpret_cast<const char*>(request.data()), length, 0,
                            reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEACCES) raw_.reset();
    if (sent != length) return false;
    ++raw_echoes_sent_;
    return true;
}

IoId WinsockProbeIo::StartApiEcho(const Ipv4Bytes& to, const std::vector<std::uint8_t>& payload,
                                  std::int32_t timeout_ms) {
    if (path_ == EchoPath::kRawOnly || ApiEchoesInFlight() >= kMostApiEchoes || payload.size() > 0xFFFF) return 0;
    auto echo = std::make_unique<ApiEcho>();
    echo->icmp.reset(IcmpCreateFile());
    echo->event.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!echo->icmp || !echo->event) return 0;
    static_assert(sizeof echo->destination == sizeof(Ipv4Bytes), "IPAddr is 4 bytes");
    std::memcpy(&echo->destination, to.data(), to.size());
    echo->payload = payload;
    // Room for one reply with our data echoed, plus the 8 bytes of an ICMP error and
    // the status block the call appends, with some to spare.
    echo->replies.resize(sizeof(ICMP_ECHO_REPLY) + payload.size() + 8 + 64);
    const DWORD timeout = static_cast<DWORD>(std::max<std::int32_t>(timeout_ms, 1));
    echo->give_up_ms = NowMs() + timeout + kApiEchoMarginMs;
    const PIO_APC_ROUTINE apc = RunsOnWine() ? LetWineFreeItsStatusBlock : nullptr;
    const DWORD at_once = IcmpSendEcho2(echo->icmp.get(), echo->event.get(), apc, nullptr, echo->destination,
                                        echo->payload.data(), static_cast<WORD>(echo->payload.size()), nullptr,
                                        echo->replies.data(), static_cast<DWORD>(echo->replies.size()), timeout);
    if (at_once == 0 && GetLastError() != ERROR_IO_PENDING) return 0;  // it never started
    // Answered within the call: the next Wait reads the replies.
    if (at_once != 0) SetEvent(echo->event.get());
    const IoId id = NextId();
    api_echoes_.emplace(id, std::move(echo));
    ++api_echoes_started_;
    return id;
}

int WinsockProbeIo::ApiEchoRoom() {
    return path_ == EchoPath::kRawOnly ? 0 : kMostApiEchoes - ApiEchoesInFlight();
}

int WinsockProbeIo::MostApiEchoes() {
    return path_ == EchoPath::kRawOnly ? 0 : kMostApiEchoes;
}

bool WinsockProbeIo::HasApiEchoRoom() const {
    return path_ == EchoPath::kRawOnly || ApiEchoesInFlight() < kMostApiEchoes;
}

IoId WinsockProbeIo::Connect(const Ipv4Bytes& to, std::uint16_t port) {
    UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    // WSAEventSelect makes the socket non-blocking too.
    if (!s || WSAEventSelect(s.get(), tcp_event_.get(), FD_CONNECT) != 0) return 0;
    const sockaddr_in addr = ToSockaddr(to, ToPortBytes(port));
    const IoId id = NextId();
    if (connect(s.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
        // Possible on loopback; the socket closes here, the next Wait reports it.
        settled_at_once_.push_back({id, ConnectionState::kCompleted});
    } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
        connections_.emplace(id, std::move(s));
    } else {
        settled_at_once_.push_back({id, ConnectionState::kFailed});
    }
    return id;
}

void WinsockProbeIo::Close(IoId id) {
    if (connections_.erase(id) != 0) return;
    const auto settled = std::find_if(settled_at_once_.begin(), settled_at_once_.end(),
                                      [id](const IoEvents::Connection& c) { return c.id == id; });
    if (settled != settled_at_once_.end()) {
        settled_at_once_.erase(settled);
        return;
    }
    // Its thread holds the lookup until it ends; the io's last word on it is this.
    if (lookups_.erase(id) != 0) return;
    const auto echo = api_echoes_.find(id);
    if (echo == api_echoes_.end()) return;
    // The call writes into the buffer until it ends; until then the buffer stays.
    if (!IsSignalled(echo->second->event.get())) let_go_.push_back(std::move(echo->second));
    api_echoes_.erase(echo);
}

void WinsockProbeIo::Wait(int timeout_ms, IoEvents& events) {
    const std::int64_t deadline = NowMs() + std::max(timeout_ms, 0);
    for (;;) {
        std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> handles;
        DWORD count = 0;
        handles[count++] = wake_.get();
        if (raw_) handles[count++] = raw_event_.get();
        if (!connections_.empty()) handles[count++] = tcp_event_.get();
        handles[count++] = lookups_shared_->ended.get();
        // Also those let go of: their end is when their buffers may go, and it makes room.
        std::int64_t until = deadline;
        for (const auto& [id, echo] : api_echoes_) {
            handles[count++] = echo->event.get();
            until = std::min(until, echo->give_up_ms);
        }
        for (const auto& echo : let_go_) handles[count++] = echo->event.get();
        const std::int64_t now = NowMs();
        const DWORD wait_ms = settled_at_once_.empty() && until > now ? static_cast<DWORD>(until - now) : 0;
        // Alertable for Wine's sake (RunsOnWine): an APC that runs ends the wait like
        // nothing else seen.
        const DWORD woke = WaitForMultipleObjectsEx(count, handles.data(), FALSE, wait_ms, RunsOnWine());
        // The wake event resets itself as the wait returns for it.
        if (woke == WAIT_OBJECT_0) events.woken = true;

        const std::size_t seen_before = events.datagrams.size() + events.connections.size() + events.api_echoes.size();
        const bool raw_failed_before = events.raw_failed;
        const int room_before = ApiEchoRoom();
        Receive(events);
        CheckConnections(events);
        CheckApiEchoes(NowMs(), events);
        // A lookup that ended is reported, or, let go of, is nothing to report; either
        // way it made room, which the engine may have found missing just before this
        // wait began (its thread may end at any moment, not only during the wait).
        const bool lookup_ended = CheckLookups(events);
        events.connections.insert(events.connections.end(), settled_at_once_.begin(), settled_at_once_.end());
        settled_at_once_.clear();
        const bool saw = events.datagrams.size() + events.connections.size() + events.api_echoes.size() !=
                             seen_before ||
                         events.raw_failed != raw_failed_before;
        // Likewise a request that was let go of or reported ending: it matters only for
        // the room it makes, for the orders that wait for it.
        const bool room_made = lookup_ended || ApiEchoRoom() > room_before;
        if (saw || room_made || woke == WAIT_OBJECT_0 || woke == WAIT_FAILED || NowMs() >= deadline) return;
    }
}

void WinsockProbeIo::Wake() {
    SetEvent(wake_.get());
}

IoId WinsockProbeIo::NextId() {
    const auto taken = [this](IoId id) {
        return id == 0 || connections_.count(id) != 0 || api_echoes_.count(id) != 0 || lookups_.count(id) != 0 ||
               std::any_of(settled_at_once_.begin(), settled_at_once_.end(),
                           [id](const IoEvents::Connection& c) { return c.id == id; });
    };
    do {
        ++last_id_;
    } while (taken(last_id_));
    return last_id_;
}

void WinsockProbeIo::Receive(IoEvents& events) {
    if (!raw_ || !IsSignalled(raw_event_.get())) return;
    // Reset before reading: a datagram that comes after the last read sets it again.
    ResetEvent(raw_event_.get());
    std::array<std::uint8_t, kReceiveBufferSize> buffer;
    for (int i = 0; i < kMostDatagramsPerWait; ++i) {
        sockaddr_in from;
        int from_size = sizeof from;
        const int got = recvfrom(raw_.get(), reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()),
                                 0, reinterpret_cast<sockaddr*>(&from), &from_size);
        if (got != SOCKET_ERROR) {
            events.datagrams.emplace_back(buffer.begin(), buffer.begin() + got);
            continue;
        }
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) return;
        // Longer than the buffer: cut and someone else's (our reply fits), so skipped.
        if (error == WSAEMSGSIZE) continue;
        events.raw_failed = true;
        raw_.reset();
        return;
    }
    // More may be queued: the next Wait reads on at once.
    SetEvent(raw_event_.get());
}

void WinsockProbeIo::CheckConnections(IoEvents& events) {
    if (connections_.empty() || !IsSignalled(tcp_event_.get())) return;
    // Reset before looking: an FD_CONNECT recorded after this sets it again.
    ResetEvent(tcp_event_.get());
    for (auto it = connections_.begin(); it != connections_.end();) {
        WSANETWORKEVENTS seen;
        ConnectionState state = ConnectionState::kFailed;
        if (WSAEnumNetworkEvents(it->second.get(), nullptr, &seen) == 0) {
            if ((seen.lNetworkEvents & FD_CONNECT) == 0) {
                ++it;
                continue;
            }
            if (seen.iErrorCode[FD_CONNECT_BIT] == 0) state = ConnectionState::kCompleted;
        }
        events.connections.push_back({it->first, state});
        it = connections_.erase(it);  // closed at once, nothing sent
    }
}

void WinsockProbeIo::CheckApiEchoes(std::int64_t now, IoEvents& events) {
    for (auto it = api_echoes_.begin(); it != api_echoes_.end();) {
        const bool ended = IsSignalled(it->second->event.get());
        if (!ended && now < it->second->give_up_ms) {
            ++it;
            continue;
        }
        events.api_echoes.push_back({it->first, ended && it->second->Answered()});
        // Past its time the engine hears of it, but the call may still write the buffer.
        if (!ended) let_go_.push_back(std::move(it->second));
        it = api_echoes_.erase(it);
    }
    // Only a call that has ended lets its buffer go, however late.
    let_go_.erase(std::remove_if(let_go_.begin(), let_go_.end(),
                                 [](const std::unique_ptr<ApiEcho>& echo) { return IsSignalled(echo->event.get()); }),
                  let_go_.end());
}

bool WinsockProbeIo::CheckLookups(IoEvents& events) {
    if (!IsSignalled(lookups_shared_->ended.get())) return false;
    // Reset before looking: a thread that ends after this sets it again.
    ResetEvent(lookups_shared_->ended.get());
    for (auto it = lookups_.begin(); it != lookups_.end();) {
        const Lookup& lookup = *it->second;
        if (!lookup.ended.load()) {
            ++it;
            continue;
        }
        events.lookups.push_back({it->first, lookup.found, lookup.address});
        it = lookups_.erase(it);
    }
    return true;
}

void WinsockProbeIo::Settle(int most_ms) {
    const std::int64_t deadline = NowMs() + std::max(most_ms, 0);
    for (;;) {
        for (auto& [id, echo] : api_echoes_) let_go_.push_back(std::move(echo));
        api_echoes_.clear();
        let_go_.erase(std::remove_if(let_go_.begin(), let_go_.end(),
                                     [](const std::unique_ptr<ApiEcho>& echo) { return IsSignalled(echo->event.get()); }),
                      let_go_.end());
        const std::int64_t left = deadline - NowMs();
        if (let_go_.empty() || left <= 0) return;
        std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> handles;
        DWORD count = 0;
        for (const auto& echo : let_go_) handles[count++] = echo->event.get();
        WaitForMultipleObjectsEx(count, handles.data(), FALSE, static_cast<DWORD>(left), RunsOnWine());
    }
}

ProbeIoSent WinsockProbeIo::Sent() const {
    ProbeIoSent sent;
    sent.raw_echoes = raw_echoes_sent_.load();
    sent.api_echoes = api_echoes_started_.load();
    return sent;
}

int WinsockProbeIo::ApiEchoesInFlight() const {
    return static_cast<int>(api_echoes_.size() + let_go_.size());
}

void WinsockProbeIo::RunLookup(std::shared_ptr<Lookup> lookup) {
    {
        // A start-up of its own: the io's owner may end its session while this runs.
        const WinsockSession winsock;
        lookup->found = winsock.started() && lookup->look_up(lookup->host, lookup->address);
    }
    lookup->ended.store(true);
    Lookups& shared = *lookup->shared;
    // Room first, then the event: a Wait that wakes for it sees the room.
    --shared.running;
    SetEvent(shared.ended.get());
}
