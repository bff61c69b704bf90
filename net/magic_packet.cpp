#include "net/magic_packet.h"

#include <algorithm>
#include <array>

#include "addr/mac_text.h"

namespace {

constexpr std::size_t kSyncSize = 6;
constexpr std::size_t kMacSize = 6;
constexpr std::size_t kMacRepeats = 16;

std::array<std::uint8_t, kMacSize> MacBytesFromText(std::string_view mac) {
    std::array<std::uint8_t, kMacSize> bytes{};
    for (std::size_t i = 0; i < kMacSize; ++i) {
        // Keep the low 8 bits; the cast of a possibly negative value is modular.
        bytes[i] = static_cast<std::uint8_t>(ParseHexByte(mac.substr(3 * i, 2)));
    }
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> BuildMagicPacket(std::string_view mac, std::string_view password) {
    if (mac.size() < kMacTextLength) return {};
    const std::array<std::uint8_t, kMacSize> mac_bytes = MacBytesFromText(mac);

    std::vector<std::uint8_t> packet;
    packet.reserve(kMagicPacketWithPasswordSize);
    packet.insert(packet.end(), kSyncSize, 0xFF);
    for (std::size_t k = 0; k < kMacRepeats; ++k) {
        packet.insert(packet.end(), mac_bytes.begin(), mac_bytes.end());
    }
    if (!password.empty()) {
        const std::size_t taken = std::min(password.size(), kPasswordFieldSize);
        for (std::size_t i = 0; i < taken; ++i) {
            packet.push_back(static_cast<std::uint8_t>(password[i]));
        }
        packet.insert(packet.end(), kPasswordFieldSize - taken, 0x00);
    }
    return packet;
}
