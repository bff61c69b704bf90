#include "addr/ip_text.h"

#include <array>
#include <limits>

namespace {

// The character code read as a signed 8-bit number (bytes 128..255 count as -128..-1),
// spelled out because plain char's signedness differs between targets.
int SignedCharCode(char c) {
    const int code = static_cast<unsigned char>(c);
    return code < 128 ? code : code - 256;
}

// Reads a 32-bit pattern as two's complement without relying on the
// implementation-defined unsigned-to-signed conversion.
std::int32_t ToSigned32(std::uint32_t bits) {
    constexpr auto kMax = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
    if (bits <= kMax) return static_cast<std::int32_t>(bits);
    return -static_cast<std::int32_t>(~bits) - 1;
}

bool IsValidFirstOctet(std::int32_t v) {
    return (v >= 1 && v <= 126) || (v >= 128 && v <= 191) || (v >= 192 && v <= 223);
}

}  // namespace

void DecimalTextToInt(std::string_view text, std::int32_t& value) {
    // The wrap-around is wanted, so the arithmetic is unsigned: signed overflow would be
    // undefined behaviour.
    std::uint32_t bits = 0;
    for (const char c : text) {
        bits = bits * 10u + static_cast<std::uint32_t>(SignedCharCode(c) - '0');
    }
    value = ToSigned32(bits);
}

bool SplitIpText(std::string_view text, std::int32_t& first, std::int32_t& second,
                 std::int32_t& third, std::int32_t& fourth) {
    if (text.empty()) return false;
    // Octet texts are views into `text`: each is the run between two dots.
    std::array<std::string_view, 4> octets;
    std::size_t dots = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '.') continue;
        if (dots < octets.size()) octets[dots] = text.substr(start, i - start);
        if (i == text.size()) break;
        ++dots;
        start = i + 1;
    }
    if (dots != 3) return false;
    DecimalTextToInt(octets[0], first);
    DecimalTextToInt(octets[1], second);
    DecimalTextToInt(octets[2], third);
    DecimalTextToInt(octets[3], fourth);
    return true;
}

bool IsValidIpText(std::string_view text) {
    std::int32_t first = 0, second = 0, third = 0, fourth = 0;
    if (!SplitIpText(text, first, second, third, fourth)) return false;
    if (!IsValidFirstOctet(first)) return false;
    if (fourth == 0 || fourth >= 255) return false;
    if (third > 255) return false;
    if (second > 255) return false;
    return true;
}

std::optional<Ipv4Bytes> ReadIpv4Octets(std::string_view text) {
    Ipv4Bytes octets{};
    std::size_t octet = 0;
    unsigned value = 0;
    std::size_t digits = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || value > 255 || octet == octets.size()) return std::nullopt;
            octets[octet++] = static_cast<std::uint8_t>(value);
            value = 0;
            digits = 0;
            continue;
        }
        // Not isdigit: it depends on the locale and takes no plain char.
        if (text[i] < '0' || text[i] > '9' || ++digits > 3) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    if (octet != octets.size()) return std::nullopt;
    return octets;
}
