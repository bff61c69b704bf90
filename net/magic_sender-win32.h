#pragma once
// Winsock side of the magic packet sender. Needs WSAStartup to have succeeded.
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

/// The same with the adapters' addresses given: a run that sends many packets reads them
/// once (the read costs more than the sends).
bool SendMagicPacket(std::string mac, int port, std::string password, const std::vector<LocalIpv4Address>& locals);
