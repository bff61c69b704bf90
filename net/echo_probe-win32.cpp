#include "net/echo_probe-win32.h"

// icmpapi.h needs the IP helper types declared first.
#include <iphlpapi.h>
#include <icmpapi.h>

#include <cstring>
#include <vector>

#include "common/handles-win32.h"
#include "net/probe_wait.h"

namespace {

using UniqueIcmpHandle = UniqueHandle<InvalidIsNone<HANDLE, IcmpCloseHandle>>;

}  // namespace

std::unique_ptr<WinsockRawIcmpSocket> WinsockRawIcmpSocket::Open() {
    UniqueSocket s(socket(AF_INET, SOCK_RAW, IPPROTO_ICMP));
    if (!s) return nullptr;
    return std::unique_ptr<WinsockRawIcmpSocket>(new WinsockRawIcmpSocket(std::move(s)));
}

bool WinsockRawIcmpSocket::SendTo(const Ipv4Bytes& to, const EchoRequest& request) {
    const sockaddr_in addr = ToSockaddr(to, {0, 0});
    const int length = static_cast<int>(request.size());
    const int sent = sendto(socket_.get(), reinterpret_cast<const char*>(request.data()), length, 0,
                            reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    return sent == length;
}

DatagramWait WinsockRawIcmpSocket::WaitForDatagram(int slice_ms, std::uint8_t* buffer,
                                                   std::size_t capacity, std::size_t& size) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_.get(), &readable);
    timeval slice;
    slice.tv_sec = slice_ms / 1000;
    slice.tv_usec = (slice_ms % 1000) * 1000;
    // Winsock ignores select's first argument.
    const int ready = select(0, &readable, nullptr, nullptr, &slice);
    if (ready == 0) return DatagramWait::kNothing;
    if (ready == SOCKET_ERROR) return DatagramWait::kFailed;

    sockaddr_in from;
    int from_size = sizeof from;
    const int got = recvfrom(socket_.get(), reinterpret_cast<char*>(buffer), static_cast<int>(capacity),
                             0, reinterpret_cast<sockaddr*>(&from), &from_size);
    if (got == SOCKET_ERROR) {
        // A datagram longer than the buffer fails with WSAEMSGSIZE and is cut; it is
        // someone else's (our reply fits), so it is skipped, not taken as a failure.
        return WSAGetLastError() == WSAEMSGSIZE ? DatagramWait::kTooLarge : DatagramWait::kFailed;
    }
    size = static_cast<std::size_t>(got);
    return DatagramWait::kReceived;
}

std::unique_ptr<RawIcmpSocket> WinsockEchoNetwork::OpenRawIcmp() {
    return WinsockRawIcmpSocket::Open();
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

bool WinsockEchoNetwork::EchoThroughIcmpApi(const Ipv4Bytes& to, const std::uint8_t* payload,
                                            std::size_t size, std::int32_t timeout_ms) {
    UniqueIcmpHandle icmp(IcmpCreateFile());
    if (!icmp) return false;
    IPAddr destination;
    static_assert(sizeof destination == sizeof(Ipv4Bytes), "IPAddr is 4 bytes");
    std::memcpy(&destination, to.data(), to.size());

    // Room for one reply with our data echoed, plus the 8 bytes of an ICMP error and
    // the status block the call may append, with some to spare.
    std::vector<BYTE> replies(sizeof(ICMP_ECHO_REPLY) + size + 8 + 64);
    const DWORD count = IcmpSendEcho(icmp.get(), destination, const_cast<std::uint8_t*>(payload),
                                     static_cast<WORD>(size), nullptr, replies.data(),
                                     static_cast<DWORD>(replies.size()),
                                     static_cast<DWORD>(timeout_ms > 0 ? timeout_ms : 1));
    for (DWORD i = 0; i < count && (i + 1) * sizeof(ICMP_ECHO_REPLY) <= replies.size(); ++i) {
        ICMP_ECHO_REPLY reply;
        std::memcpy(&reply, replies.data() + i * sizeof reply, sizeof reply);
        // A router's "unreachable" arrives here too, with its own status and address.
        if (reply.Status == IP_SUCCESS && reply.Address == destination) return true;
    }
    return false;
}

void EchoProbeThread(std::shared_ptr<ProbeState> state, EchoRoute route) {
    WinsockEchoNetwork network;
    state->Finish(RunEchoProbe(*state, network, route));
}

ProbeHandle StartEchoProbe(std::string host, std::int32_t limit_ms, EchoRoute route) {
    return StartProbe(std::move(host), limit_ms, [route](std::shared_ptr<ProbeState> state) {
        EchoProbeThread(std::move(state), route);
    });
}

bool ProbeWithTimeout(std::string ip_text, std::int32_t limit_ms) {
    return ProbeWithTimeout(
        std::move(ip_text), limit_ms,
        [](std::string host, std::int32_t limit) { return StartEchoProbe(std::move(host), limit); },
        [](int ms) { Sleep(static_cast<DWORD>(ms)); });
}
