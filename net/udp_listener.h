#pragma once
// What the UDP listener (udp_listener-win32.h) tells about its ports and about each
// datagram it receives.
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "addr/ip_text.h"  // Ipv4Bytes

/// A socket call that failed and the error Winsock gave (WSAGetLastError); `call`
/// null: nothing failed.
struct SocketFailure {
    const char* call = nullptr;
    int error = 0;
};

/// One port the listener was asked for: open when `failure.call` is null.
struct PortOpening {
    std::uint16_t port = 0;
    SocketFailure failure;
};

/// The calls that open one listening port, each returning 0 or the error Winsock gave.
struct PortSteps {
    std::function<int()> create;     // socket
    std::function<int()> exclusive;  // setsockopt SO_EXCLUSIVEADDRUSE
    std::function<int()> bind;       // bind to every address
};

/// Opens `port` by `steps` in order, to the first that fails. Only the exclusive use may
/// be refused without costing the port: Windows XP refuses it to a user without
/// administrator rights, and the port is then bound without it.
PortOpening OpenListeningPort(std::uint16_t port, const PortSteps& steps);

/// One received datagram.
struct ReceivedDatagram {
    std::vector<std::uint8_t> bytes;
    Ipv4Bytes from{};
    std::uint16_t from_port = 0;
    /// The local port it arrived on.
    std::uint16_t to_port = 0;
    /// The address it was sent to, where the system tells (IP_PKTINFO); nothing where
    /// it does not.
    std::optional<Ipv4Bytes> to;
};

enum class ListenWait {
    kNothing,   // the slice passed without a datagram
    kReceived,  // a datagram is in the caller's ReceivedDatagram
    kFailed,    // waiting or receiving failed; the failure says how
};
