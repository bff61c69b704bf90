#pragma once
// Where the magic packet goes. The Winsock sender is in magic_sender-win32.cpp; the
// wire itself is checked end to end, between network namespaces.
#include <array>
#include <cstdint>

/// An IPv4 destination exactly as it goes into the socket address: address and port
/// bytes in network order.
struct WireEndpoint {
    std::array<std::uint8_t, 4> address;
    std::array<std::uint8_t, 2> port;
};

/// 255.255.255.255 at the low 16 bits of `port` (given in host order).
WireEndpoint LimitedBroadcastEndpoint(int port);
