#pragma once
// Where the magic packet goes. The Winsock sender is in magic_sender-win32.cpp; the
// wire itself is checked end to end, between network namespaces.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "addr/ip_text.h"  // Ipv4Bytes, PortBytes

/// An IPv4 destination exactly as it goes into the socket address: address and port
/// bytes in network order.
struct WireEndpoint {
    Ipv4Bytes address;
    PortBytes port;
};

/// 255.255.255.255 at the low 16 bits of `port` (given in host order).
WireEndpoint LimitedBroadcastEndpoint(int port);

/// One IPv4 address of a local adapter and its subnet mask, bytes in network order.
struct LocalIpv4Address {
    Ipv4Bytes address;
    Ipv4Bytes mask;
};

/// The directed broadcast of `local`'s LAN (address OR NOT mask) at `port`. Nothing
/// for an address with no LAN of its own to broadcast to: 0.0.0.0 (how an adapter
/// without an address shows), loopback (127.0.0.0/8), a /31 or /32 mask (no broadcast
/// address) and a /0 mask (the limited broadcast, which goes out anyway).
std::optional<WireEndpoint> DirectedBroadcastEndpoint(const LocalIpv4Address& local, int port);

/// One datagram of a wake: the local address its socket is bound to (none: unbound),
/// and where it goes.
struct MagicPacketRoute {
    std::optional<Ipv4Bytes> from;
    WireEndpoint to;
};

/// Every datagram of a wake, in sending order: the limited broadcast at `port` from an
/// unbound socket, as a single-adapter PC always sent it; then, because the limited
/// broadcast leaves through one adapter only, the directed broadcast of every address
/// in `locals` that has one, from a socket bound to that address.
std::vector<MagicPacketRoute> MagicPacketRoutes(const std::vector<LocalIpv4Address>& locals, int port);
