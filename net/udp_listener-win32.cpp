#include "net/udp_listener-win32.h"

#include <ws2tcpip.h>

#include <cstddef>
#include <cstring>
#include <utility>

namespace {

// The largest datagram UDP carries; a buffer this size never cuts one.
constexpr std::size_t kLargestDatagram = 65535;

SocketFailure Failed(const char* call) { return SocketFailure{call, WSAGetLastError()}; }

// WSARecvMsg is no export of ws2_32: each provider hands it out through WSAIoctl.
LPFN_WSARECVMSG LoadReceiveMessage(SOCKET s) {
    GUID id = WSAID_WSARECVMSG;
    LPFN_WSARECVMSG function = nullptr;
    DWORD size = 0;
    if (WSAIoctl(s, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &function, sizeof function, &size, nullptr,
                 nullptr) == SOCKET_ERROR) {
        return nullptr;
    }
    return function;
}

Ipv4Bytes BytesOf(const in_addr& address) {
    Ipv4Bytes bytes;
    static_assert(sizeof address == sizeof bytes, "IPv4 address is 4 bytes");
    std::memcpy(bytes.data(), &address, bytes.size());
    return bytes;
}

}  // namespace

UdpListener::UdpListener(const std::vector<std::uint16_t>& ports) : buffer_(kLargestDatagram) {
    // Winsock takes a BOOL or a DWORD for these options: 4 bytes.
    const BOOL on = TRUE;
    const char* on_value = reinterpret_cast<const char*>(&on);
    const auto error_of = [](int result) { return result == SOCKET_ERROR ? WSAGetLastError() : 0; };
    for (std::uint16_t port : ports) {
        UniqueSocket s;
        const sockaddr_in any = ToSockaddr(Ipv4Bytes{}, ToPortBytes(port));
        const PortOpening opening = OpenListeningPort(
            port, {[&s] {
                       s.reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
                       return s ? 0 : WSAGetLastError();
                   },
                   [&] { return error_of(setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, on_value, sizeof on)); },
                   [&] { return error_of(bind(s.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any)); }});
        openings_.push_back(opening);
        if (opening.failure.call != nullptr) continue;
        // Without it the datagrams still come, only the address they were sent to is not told.
        const bool packet_info = setsockopt(s.get(), IPPROTO_IP, IP_PKTINFO, on_value, sizeof on) != SOCKET_ERROR;
        if (packet_info && receive_message_ == nullptr) receive_message_ = LoadReceiveMessage(s.get());
        open_.push_back(OpenPort{std::move(s), port, packet_info});
    }
}

ListenWait UdpListener::Receive(int slice_ms, ReceivedDatagram& datagram, SocketFailure& failure) {
    if (open_.empty()) {
        // Winsock's select refuses an empty set.
        Sleep(static_cast<DWORD>(slice_ms));
        return ListenWait::kNothing;
    }
    fd_set readable;
    FD_ZERO(&readable);
    for (const OpenPort& open : open_) FD_SET(open.socket.get(), &readable);
    timeval slice;
    slice.tv_sec = slice_ms / 1000;
    slice.tv_usec = (slice_ms % 1000) * 1000;
    // Winsock ignores select's first argument.
    const int ready = select(0, &readable, nullptr, nullptr, &slice);
    if (ready == SOCKET_ERROR) {
        failure = Failed("select");
        return ListenWait::kFailed;
    }
    for (std::size_t i = 0; ready > 0 && i < open_.size(); ++i) {
        const std::size_t at = (next_ + i) % open_.size();
        if (!FD_ISSET(open_[at].socket.get(), &readable)) continue;
        next_ = (at + 1) % open_.size();
        return ReceiveFrom(open_[at], datagram, failure);
    }
    return ListenWait::kNothing;
}

ListenWait UdpListener::ReceiveFrom(const OpenPort& open, ReceivedDatagram& datagram, SocketFailure& failure) {
    sockaddr_in from;
    std::memset(&from, 0, sizeof from);
    datagram.to.reset();
    char* data = reinterpret_cast<char*>(buffer_.data());
    int received = SOCKET_ERROR;
    const char* call = "recvfrom";
    if (open.packet_info && receive_message_ != nullptr) {
        call = "WSARecvMsg";
        WSABUF buffer{static_cast<ULONG>(buffer_.size()), data};
        alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
        WSAMSG message;
        std::memset(&message, 0, sizeof message);
        message.name = reinterpret_cast<sockaddr*>(&from);
        message.namelen = sizeof from;
        message.lpBuffers = &buffer;
        message.dwBufferCount = 1;
        message.Control.buf = control;
        message.Control.len = sizeof control;
        DWORD size = 0;
        if (receive_message_(open.socket.get(), &message, &size, nullptr, nullptr) != SOCKET_ERROR) {
            received = static_cast<int>(size);
            for (WSACMSGHDR* item = WSA_CMSG_FIRSTHDR(&message); item != nullptr;
                 item = WSA_CMSG_NXTHDR(&message, item)) {
                if (item->cmsg_level != IPPROTO_IP || item->cmsg_type != IP_PKTINFO) continue;
                IN_PKTINFO info;
                std::memcpy(&info, WSA_CMSG_DATA(item), sizeof info);
                datagram.to = BytesOf(info.ipi_addr);
            }
        }
    } else {
        int from_size = sizeof from;
        received = recvfrom(open.socket.get(), data, static_cast<int>(buffer_.size()), 0,
                            reinterpret_cast<sockaddr*>(&from), &from_size);
    }
    if (received == SOCKET_ERROR) {
        failure = Failed(call);
        // A reset is Windows passing on an ICMP error for an earlier datagram: this
        // socket still receives.
        return failure.error == WSAECONNRESET ? ListenWait::kNothing : ListenWait::kFailed;
    }
    datagram.bytes.assign(buffer_.begin(), buffer_.begin() + received);
    datagram.from = BytesOf(from.sin_addr);
    datagram.from_port = ntohs(from.sin_port);
    datagram.to_port = open.port;
    return ListenWait::kReceived;
}
