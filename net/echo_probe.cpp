#include "net/echo_probe.h"

#include "addr/ip_text.h"

namespace {

bool ReadAddress(const std::string& host, HostReading reading, EchoNetwork& network, Ipv4Bytes& to) {
    if (const std::optional<Ipv4Bytes> octets = ReadIpv4Octets(host)) {
        to = *octets;
        return true;
    }
    return reading == HostReading::kAddressOrName && network.Resolve(host, to);
}

ProbeResult WaitForAnswer(const ProbeState& state, ProbeSockets& sockets, const IcmpApiEcho* icmp_api,
                          const Ipv4Bytes& to, std::uint32_t probe_value) {
    std::array<std::uint8_t, kReceiveBufferSize> buffer;
    ConnectionEvidence evidence;
    while (!state.IsAbandoned()) {
        const ProbeWaitResult seen = sockets.Wait(kProbeSliceMs, buffer.data(), buffer.size());
        if (evidence.Counts(seen.control_connected, seen.service_connected)) return ProbeResult::kAnswered;
        switch (seen.datagram) {
        case DatagramWait::kNothing:
        case DatagramWait::kTooLarge:  // someone's large ping; ours fits
            break;
        case DatagramWait::kReceived:
            // A raw socket sees every ICMP message reaching the host: other pings, our
            // own request on loopback, a router's "unreachable". Only our reply counts.
            if (seen.size <= buffer.size() && IsOurEchoReply(buffer.data(), seen.size, to, probe_value)) {
                return ProbeResult::kAnswered;
            }
            break;
        case DatagramWait::kFailed:
            return ProbeResult::kNoAnswer;
        }
        if (icmp_api && icmp_api->State() == IcmpApiState::kAnswered) return ProbeResult::kAnswered;
    }
    return ProbeResult::kNoAnswer;
}

}  // namespace

ConnectionState JudgeConnection(bool writable, bool in_except_set, int socket_error) {
    if (in_except_set) return ConnectionState::kFailed;
    if (!writable) return ConnectionState::kPending;
    return socket_error == 0 ? ConnectionState::kCompleted : ConnectionState::kFailed;
}

ProbeResult RunEchoProbe(const ProbeState& state, EchoNetwork& network, HostReading reading, EchoRoute route) {
    std::unique_ptr<ProbeSockets> sockets;
    if (route != EchoRoute::kIcmpApiOnly) {
        sockets = network.OpenSockets(true);
        if (!sockets && route == EchoRoute::kRawOnly) return ProbeResult::kNoAnswer;
    }
    // Given up before it began (the dialog has closed, say): not even a name query leaves.
    if (state.IsAbandoned()) return ProbeResult::kNoAnswer;
    Ipv4Bytes to{};
    if (!ReadAddress(state.host(), reading, network, to)) return ProbeResult::kNoAnswer;
    // Resolution can take long for a name; a request sent after the starter gave up
    // could never count.
    if (state.IsAbandoned()) return ProbeResult::kNoAnswer;

    const std::uint32_t probe_value = network.NewProbeValue();
    const EchoRequest request = BuildEchoRequest(network.TickCount(), probe_value);
    // The echo request leaves first, before any connection is opened.
    std::unique_ptr<IcmpApiEcho> icmp_api;
    if (sockets) {
        if (!sockets->SendEcho(to, request)) return ProbeResult::kNoAnswer;
    } else {
        icmp_api = network.StartEchoThroughIcmpApi(
            to, std::vector<std::uint8_t>(request.begin() + kIcmpHeaderSize, request.end()), state.limit_ms());
        if (!icmp_api) return ProbeResult::kNoAnswer;
        sockets = network.OpenSockets(false);
        if (!sockets) return ProbeResult::kNoAnswer;
    }
    if (state.IsAbandoned()) return ProbeResult::kNoAnswer;
    // The control goes first, so that a path that completes everything shows it no later
    // than the service connections. Without it no service connection could count: the
    // echo reply alone answers then.
    if (sockets->Connect(to, kControlPort, ConnectionKind::kControl)) {
        for (const std::uint16_t port : kServicePorts) {
            if (state.IsAbandoned()) return ProbeResult::kNoAnswer;
            sockets->Connect(to, port, ConnectionKind::kService);
        }
    }
    return WaitForAnswer(state, *sockets, icmp_api.get(), to, probe_value);
}
