#include "app/listen_command.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/command_line.h"

namespace {

// Decimal digits of `n`. One loop for every number of the lines: std::to_string, inlined
// at each of them, made the exe several kilobytes larger.
std::string Decimal(std::uint64_t n) {
    char digits[20];
    char* first = digits + sizeof digits;
    do {
        *--first = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    return std::string(first, digits + sizeof digits);
}

// "10.77.0.2:5000"
std::string EndpointText(const Ipv4Bytes& address, std::uint16_t port) {
    std::string text;
    for (std::uint8_t octet : address) text += Decimal(octet) + '.';
    text.back() = ':';
    return text + Decimal(port);
}

// Where the datagram was sent, as the line says it.
std::string DestinationText(const ReceivedDatagram& datagram, const std::vector<LocalIpv4Address>& addresses) {
    if (!datagram.to) return "port " + Decimal(datagram.to_port) + " (the system does not tell which address)";
    const std::string endpoint = EndpointText(*datagram.to, datagram.to_port);
    if (*datagram.to == Ipv4Bytes{255, 255, 255, 255}) return "broadcast " + endpoint;
    for (const LocalIpv4Address& local : addresses) {
        if (local.address == *datagram.to) return "this PC's address " + endpoint;
        const std::optional<WireEndpoint> broadcast = DirectedBroadcastEndpoint(local, datagram.to_port);
        if (broadcast && broadcast->address == *datagram.to) return "broadcast " + endpoint;
    }
    return endpoint;
}

// "73-65-63-72-65-74", and the characters in quotes when every byte is a printable one.
std::string PasswordText(const std::vector<std::uint8_t>& password) {
    std::string hex, characters;
    bool printable = true;
    for (std::uint8_t b : password) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X", b);
        hex += (hex.empty() ? "" : "-") + std::string(digits);
        printable = printable && b >= 0x20 && b < 0x7F;
        characters += static_cast<char>(b);
    }
    return printable ? hex + " (\"" + characters + "\")" : hex;
}

std::string Count(std::uint64_t n, const char* one, const char* many) {
    return Decimal(n) + ' ' + (n == 1 ? one : many);
}

// "40000, 9 and 7"
std::string PortList(const std::vector<std::uint16_t>& ports) {
    std::string text;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (i > 0) text += i + 1 == ports.size() ? " and " : ", ";
        text += Decimal(ports[i]);
    }
    return text;
}

// The reasons a listener can meet, in a few words, and the code: "the port is in use (10048)".
std::string ReasonText(int error) {
    const char* reason = "Winsock error";
    switch (error) {
    case 10013: reason = "another program holds it for itself, or Windows reserves it"; break;  // WSAEACCES
    case 10048: reason = "the port is in use"; break;                                           // WSAEADDRINUSE
    case 10050: reason = "the network is down"; break;                                          // WSAENETDOWN
    case 10055: reason = "no buffer space is left"; break;                                      // WSAENOBUFS
    case 10093: reason = "Winsock did not start"; break;                                        // WSANOTINITIALISED
    }
    return std::string(reason) + " (" + Decimal(error) + ")";
}

// "select failed: Winsock error (10038)"
std::string FailureText(const SocketFailure& failure) {
    return std::string(failure.call) + " failed: " + ReasonText(failure.error);
}

std::string PortFailureLine(const PortOpening& port) {
    const std::string where = "UDP port " + Decimal(port.port) + ": ";
    if (std::string(port.failure.call) == "bind") {
        return "Could not bind " + where + ReasonText(port.failure.error) + ".";
    }
    return "Could not listen on " + where + FailureText(port.failure) + ".";
}

// Wide enough for an hour's flood at any rate a network can carry.
struct Tally {
    std::uint64_t magic = 0;
    std::uint64_t for_this_pc = 0;
    std::uint64_t other = 0;
};

enum class Ending { kTimeUp, kStopAsked, kFailed };

std::string SummaryLine(const Tally& tally, std::uint32_t elapsed_ms, Ending ending, const ListenSetup& setup) {
    const std::string seconds = Decimal(elapsed_ms / 1000) + " s";
    const std::string period = ending == Ending::kTimeUp ? "In " + seconds : "Stopped after " + seconds;
    if (tally.magic == 0 && tally.other == 0 && ending == Ending::kFailed) return period + ": nothing arrived.";
    if (tally.magic == 0 && tally.other == 0) {
        return period + ": nothing arrived. Suspect Windows Firewall first; an administrator allows this program on "
                        "every network with: " +
               FirewallAllowCommand(setup.program_path, setup.windows_major);
    }
    std::string text = period + ": " + Count(tally.magic, "magic packet", "magic packets");
    if (tally.magic > 0) {
        text += tally.for_this_pc == 0 ? std::string(", none") : ", " + Decimal(tally.for_this_pc);
        text += " for this PC";
    }
    return text + "; " + Count(tally.other, "other datagram", "other datagrams") + ".";
}

// An adapter without a hardware address (a tunnel's reads as zeros) is nobody's target.
const AdapterInfo* AdapterWithMac(const std::vector<AdapterInfo>& adapters, const MacBytes& mac) {
    for (const AdapterInfo& adapter : adapters) {
        if (adapter.address == mac && !IsZeroMac(mac)) return &adapter;
    }
    return nullptr;
}

}  // namespace

std::string FirewallAllowCommand(const std::string& program_path, unsigned long windows_major) {
    // A Windows path holds no quote, so quoting it is enough for spaces.
    const std::string program = "program=\"" + program_path + "\"";
    if (windows_major == 5) {
        return "netsh firewall add allowedprogram " + program + " name=\"TARVEX WOL\" mode=ENABLE profile=ALL";
    }
    std::string ports;
    for (std::uint16_t port : kListenPorts) ports += (ports.empty() ? "" : ",") + Decimal(port);
    return "netsh advfirewall firewall add rule name=\"TARVEX WOL listen\" dir=in action=allow " + program +
           " protocol=UDP localport=" + ports + " profile=any";
}

std::string FormatHeardLine(const TimeOfDay& time, const ReceivedDatagram& datagram, const FoundMagicPacket& packet,
                            const ListenSetup& setup) {
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", time.hour, time.minute, time.second);
    std::string line = std::string(clock) + " from " + EndpointText(datagram.from, datagram.from_port) + " to " +
                       DestinationText(datagram, setup.addresses) + ": " + FormatMacText(packet.mac);
    if (!packet.password.empty()) line += ", password " + PasswordText(packet.password);
    const AdapterInfo* adapter = AdapterWithMac(setup.adapters, packet.mac);
    return line + (adapter ? ", matches " + adapter->description : ", not a MAC of this PC");
}

int RunListen(int seconds, const ListenSetup& setup, ListenSystem& system,
              const std::function<void(const std::string& line)>& say) {
    std::vector<std::uint16_t> open;
    for (const PortOpening& port : setup.ports) {
        if (port.failure.call == nullptr) {
            open.push_back(port.port);
        } else {
            say(PortFailureLine(port));
        }
    }
    if (open.empty()) {
        say("No UDP port could be bound: nothing can be heard.");
        return kExitNothingSent;
    }
    say("Listening for magic packets on UDP " + std::string(open.size() == 1 ? "port " : "ports ") + PortList(open) +
        " for " + Decimal(seconds) + " s; Ctrl-C stops.");

    const std::uint32_t limit_ms = static_cast<std::uint32_t>(seconds) * 1000u;
    const std::uint32_t start = system.TickCount();
    Tally tally;
    Ending ending = Ending::kTimeUp;
    ReceivedDatagram datagram;
    for (;;) {
        const std::uint32_t elapsed = system.TickCount() - start;
        if (elapsed >= limit_ms) break;
        if (system.StopAsked()) {
            ending = Ending::kStopAsked;
            break;
        }
        const int slice = static_cast<int>(std::min<std::uint32_t>(limit_ms - elapsed, kListenSliceMs));
        SocketFailure failure;
        const ListenWait wait = system.Receive(slice, datagram, failure);
        if (wait == ListenWait::kFailed) {
            say("Listening ended: " + FailureText(failure) + ".");
            ending = Ending::kFailed;
            break;
        }
        if (wait == ListenWait::kNothing) continue;
        const std::vector<FoundMagicPacket> packets = FindMagicPackets(datagram.bytes.data(), datagram.bytes.size());
        if (packets.empty()) {
            ++tally.other;
            continue;
        }
        // A sender that wakes several PCs at once may put this PC's packet after the
        // others': the line that answers the question comes first.
        const TimeOfDay now = system.LocalTime();
        for (const bool for_this_pc : {true, false}) {
            for (const FoundMagicPacket& packet : packets) {
                if ((AdapterWithMac(setup.adapters, packet.mac) != nullptr) != for_this_pc) continue;
                ++tally.magic;
                if (for_this_pc) ++tally.for_this_pc;
                say(FormatHeardLine(now, datagram, packet, setup));
            }
        }
    }
    say(SummaryLine(tally, system.TickCount() - start, ending, setup));
    return tally.for_this_pc > 0 ? kExitDone : kExitNoAnswer;
}

void BoxLines::Add(std::string line) {
    ++count_;
    // Past what a box shows in full, only its first lines stay; the new line is the last.
    if (count_ > kListenBoxLines) kept_.resize(kListenBoxLines - 2);
    kept_.push_back(std::move(line));
}

Message ListenBox(const BoxLines& lines, int exit_code) {
    const std::vector<std::string>& kept = lines.Kept();
    std::string text;
    const std::size_t shown = lines.Count() <= kListenBoxLines ? kept.size() : kListenBoxLines - 2;
    for (std::size_t i = 0; i < shown; ++i) text += (i == 0 ? "" : "\n") + kept[i];
    if (shown < lines.Count()) {
        text += "\n(" + Decimal(lines.Count() - shown - 1) + " more lines)\n" + kept.back();
    }
    const MessageIcon icon = exit_code == kExitNothingSent ? MessageIcon::kError : MessageIcon::kInformation;
    return Message{text, kUsageCaption, icon};
}
