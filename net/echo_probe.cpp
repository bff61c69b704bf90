#include "net/echo_probe.h"

#include <array>

namespace {

ProbeResult WaitForOurReply(const ProbeState& state, RawIcmpSocket& socket, const Ipv4Bytes& to) {
    std::array<std::uint8_t, kReceiveBufferSize> buffer;
    while (!state.IsAbandoned()) {
        std::size_t size = 0;
        switch (socket.WaitForDatagram(kProbeSliceMs, buffer.data(), buffer.size(), size)) {
        case DatagramWait::kNothing:
        case DatagramWait::kTooLarge:  // someone's large ping; ours fits
            break;
        case DatagramWait::kReceived:
            // A raw socket sees every ICMP message reaching the host: other pings, our
            // own request on loopback, a router's "unreachable". Only our reply counts.
            if (size <= buffer.size() && IsOurEchoReply(buffer.data(), size, to)) {
                return ProbeResult::kAnswered;
            }
            break;
        case DatagramWait::kFailed:
            return ProbeResult::kNoAnswer;
        }
    }
    return ProbeResult::kNoAnswer;
}

}  // namespace

ProbeResult RunEchoProbe(const ProbeState& state, EchoNetwork& network, EchoRoute route) {
    std::unique_ptr<RawIcmpSocket> socket;
    if (route != EchoRoute::kIcmpApiOnly) {
        socket = network.OpenRawIcmp();
        if (!socket && route == EchoRoute::kRawOnly) return ProbeResult::kNoAnswer;
    }
    Ipv4Bytes to{};
    if (!network.Resolve(state.host(), to)) return ProbeResult::kNoAnswer;
    // Resolution can take long for a name; a request sent after the starter gave up
    // could never count.
    if (state.IsAbandoned()) return ProbeResult::kNoAnswer;

    const EchoRequest request = BuildEchoRequest(network.TickCount());
    if (!socket) {
        const bool answered = network.EchoThroughIcmpApi(to, request.data() + kIcmpHeaderSize,
                                                         kEchoPayloadSize, state.limit_ms());
        return answered ? ProbeResult::kAnswered : ProbeResult::kNoAnswer;
    }
    if (!socket->SendTo(to, request)) return ProbeResult::kNoAnswer;
    return WaitForOurReply(state, *socket, to);
}
