#pragma once
// Winsock side of the magic packet sender. Needs WSAStartup to have succeeded.
#include <string>

/// Builds the magic packet for `mac` (with `password` when not empty) and broadcasts it
/// once to UDP port `port` of 255.255.255.255, from a new unbound socket with
/// SO_BROADCAST set, which is closed again before the call returns. True when the
/// datagram was handed to the network; false when the MAC text is too short to hold six
/// bytes (no socket is opened then) or when opening, enabling broadcast or sending
/// fails. Nothing is retried or received.
bool SendMagicPacket(std::string mac, int port, std::string password);
