#pragma once
// Winsock side of the magic packet sender. Needs WSAStartup to have succeeded.
#include <optional>
#include <string>
#include <vector>

#include "net/magic_sender.h"

/// Builds the magic packet for `mac` (with `password` when not empty) and sends it once
/// along every route of MagicPacketRoutes for this PC's adapters (ReadLocalIpv4Addresses):
/// to UDP port `port` of 255.255.255.255, then of every LAN's directed broadcast. Each
/// datagram has a new socket with SO_BROADCAST set, bound where its route says so, and
/// closed again before the call returns. True when at least one datagram was handed to
/// the network; false when the MAC text is too short to hold six bytes (no socket is
/// opened then) or not one datagram went out. A failure costs only its own datagram.
/// Nothing is retried or received.
bool SendMagicPacket(std::string mac, int port, std::string password);

/// The same with the adapters' addresses given (a run that sends many packets reads them
/// once: the read costs more than the sends), and for a wake of `target` beyond this
/// PC's LANs also to the target and its /24's broadcast, then to every endpoint of
/// `also_to` (MagicPacketRoutes).
bool SendMagicPacket(std::string mac, int port, std::string password, const std::vector<LocalIpv4Address>& locals,
                     const std::optional<Ipv4Bytes>& target = std::nullopt,
                     const std::vector<WireEndpoint>& also_to = {});

/// The first IPv4 address the system's resolver gives for `name` (a /to host); none
/// when it gives none, or for an empty name (Winsock would answer with this PC's own).
std::optional<Ipv4Bytes> ResolveIpv4Host(const std::string& name);
