#pragma once
// Winsock side of listening for datagrams: one UDP socket per port on every address of
// this PC, waited on together. Needs WSAStartup to have succeeded.
#include <winsock2.h>
#include <mswsock.h>

#include <cstdint>
#include <vector>

#include "net/socket-win32.h"
#include "net/udp_listener.h"

class UdpListener {
public:
    /// Opens a socket on each of `ports` of every address (INADDR_ANY), for this program
    /// alone where the system allows it (SO_EXCLUSIVEADDRUSE: no other socket may share or
    /// take over the port; Windows XP allows it only to administrators, and the port is
    /// then bound without it; address reuse is never asked for), and asks each to tell the address a datagram
    /// was sent to (IP_PKTINFO, read with WSARecvMsg where the system has it). A port that
    /// cannot be opened costs only itself: openings() says which call failed.
    explicit UdpListener(const std::vector<std::uint16_t>& ports);

    UdpListener(const UdpListener&) = delete;
    UdpListener& operator=(const UdpListener&) = delete;

    /// Each port asked for, in the order asked, open or with its failure.
    const std::vector<PortOpening>& openings() const { return openings_; }

    /// Waits at most `slice_ms` in one select on every open socket and receives one
    /// datagram; the open sockets take turns, so a busy port does not hide the others.
    /// A socket that reports a reset (Windows tells of an ICMP error that way) yields
    /// nothing rather than a failure.
    ListenWait Receive(int slice_ms, ReceivedDatagram& datagram, SocketFailure& failure);

private:
    struct OpenPort {
        UniqueSocket socket;
        std::uint16_t port;
        bool packet_info;  // IP_PKTINFO was accepted
    };
    ListenWait ReceiveFrom(const OpenPort& open, ReceivedDatagram& datagram, SocketFailure& failure);

    std::vector<PortOpening> openings_;
    std::vector<OpenPort> open_;
    std::size_t next_ = 0;  // the socket served first by the next Receive
    LPFN_WSARECVMSG receive_message_ = nullptr;
    std::vector<std::uint8_t> buffer_;
};
