#pragma once
// Winsock side of the magic packet sender. Needs WSAStartup to have succeeded.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/magic_sender.h"
#include "net/socket-win32.h"

/// The UDP sockets of a run of sends: one for each source a route names (unbound, or
/// bound to one local address), with SO_BROADCAST, opened at its first datagram and kept
/// for every later one, all closed with the object. A list's hundreds of wakes share
/// them instead of opening a socket for each datagram.
class MagicPacketSockets {
public:
    MagicPacketSockets() = default;
    MagicPacketSockets(const MagicPacketSockets&) = delete;
    MagicPacketSockets& operator=(const MagicPacketSockets&) = delete;

    /// Sends `packet` along `route`; true when all of it was handed to the network. The
    /// sockets never block: a kept socket that fails (its buffer full of datagrams that
    /// wait for an ARP answer, or an error an earlier datagram left on it) is closed and
    /// the datagram goes once more from a new one. A socket that cannot be opened or
    /// bound costs only this datagram.
    bool SendAlong(const MagicPacketRoute& route, const std::vector<std::uint8_t>& packet);
    /// The sockets open now.
    std::size_t OpenCount() const { return sockets_.size(); }

private:
    struct Source {
        std::optional<Ipv4Bytes> from;
        UniqueSocket socket;
    };
    std::vector<Source> sockets_;
};

/// Builds the magic packet for `mac` (with `password` when not empty) and sends it once
/// along every route of MagicPacketRoutes for this PC's adapters (ReadLocalIpv4Addresses):
/// to UDP port `port` of 255.255.255.255, then of every LAN's directed broadcast. The
/// datagrams go through MagicPacketSockets of the call's own (one socket per source,
/// bound where its routes say so), closed again before the call returns. True when at least one datagram was handed to
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

/// The same through `sockets`, which a run of many sends keeps open across them.
bool SendMagicPacket(MagicPacketSockets& sockets, std::string mac, int port, std::string password,
                     const std::vector<LocalIpv4Address>& locals, const std::optional<Ipv4Bytes>& target = std::nullopt,
                     const std::vector<WireEndpoint>& also_to = {});

/// The first IPv4 address the system's resolver gives for `name` (a /to host); none
/// when it gives none, or for an empty name (Winsock would answer with this PC's own).
std::optional<Ipv4Bytes> ResolveIpv4Host(const std::string& name);
