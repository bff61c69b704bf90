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

/// Whether `local` has a LAN of its own, one with a broadcast address that a wake can
/// reach and a sweep can ask. Not 0.0.0.0 (how an adapter without an address shows),
/// loopback (127.0.0.0/8), a /31 or /32 mask (no broadcast address: a point-to-point
/// link, whose far end a wake reaches as an address off every LAN) nor a /0 mask
/// (everything, which is no LAN at all).
bool HasLan(const LocalIpv4Address& local);

/// The LAN of this PC that `address` is on: of `locals` that HasLan and whose network
/// (address AND mask) holds it, the one with the longest mask, the first listed among
/// equals. A VPN's 10.0.0.0/8 listed before the office's 10.1.2.0/24 leaves 10.1.2.50
/// on the /24. Sending, sweeping and reading the ARP table all go by this one rule.
std::optional<LocalIpv4Address> LanOf(const Ipv4Bytes& address, const std::vector<LocalIpv4Address>& locals);

/// The directed broadcast of `local`'s LAN (address OR NOT mask) at `port`; nothing
/// when it has no LAN (HasLan).
std::optional<WireEndpoint> DirectedBroadcastEndpoint(const LocalIpv4Address& local, int port);

/// One datagram of a wake: the local address its socket is bound to (none: unbound),
/// and where it goes.
struct MagicPacketRoute {
    std::optional<Ipv4Bytes> from;
    WireEndpoint to;
};

/// True when `target` is on a LAN of one of `locals` (LanOf).
bool IsOnLocalLan(const std::vector<LocalIpv4Address>& locals, const Ipv4Bytes& target);

/// Where a wake of `target` also goes when it is on none of `locals`' LANs, since every
/// broadcast of this PC stops at the first router: the address itself (a router still
/// knows the PC's MAC for a while after it went to sleep), then the directed broadcast
/// of its /24. The .255 of a /24 is that broadcast already; the .0 names the network,
/// whose broadcast is no more likely to be the PC's: both get the address alone.
/// Nothing for a target on a local LAN, nor for one that is no PC's address:
/// 0.0.0.0/8, loopback (127.0.0.0/8), multicast and above (224.0.0.0 on).
std::vector<WireEndpoint> OffLanEndpoints(const std::vector<LocalIpv4Address>& locals, const Ipv4Bytes& target,
                                          int port);

/// Every datagram of a wake, in sending order: the limited broadcast at `port` from an
/// unbound socket, as a single-adapter PC always sent it; then, because the limited
/// broadcast leaves through one adapter only, the directed broadcast of every address
/// in `locals` that has one, from a socket bound to that address; then, from unbound
/// sockets (the system picks the route), the OffLanEndpoints of `target` when there is
/// one, and every endpoint of `also_to` (/to). A destination (address and port) already
/// in the list is not added again.
std::vector<MagicPacketRoute> MagicPacketRoutes(const std::vector<LocalIpv4Address>& locals, int port,
                                                const std::optional<Ipv4Bytes>& target = std::nullopt,
                                                const std::vector<WireEndpoint>& also_to = {});
