#include "net/magic_packet_finder.h"

#include <algorithm>

#include "net/magic_packet.h"

namespace {

constexpr std::size_t kSyncSize = 6;
constexpr std::size_t kMacSize = MacBytes{}.size();
constexpr std::size_t kMacCopies = 16;

// True when the kMagicPacketSize bytes at `at` are a magic packet.
bool IsMagicPacketAt(const std::uint8_t* at) {
    if (!std::all_of(at, at + kSyncSize, [](std::uint8_t b) { return b == 0xFF; })) return false;
    const std::uint8_t* mac = at + kSyncSize;
    for (std::size_t copy = 1; copy < kMacCopies; ++copy) {
        if (!std::equal(mac, mac + kMacSize, mac + copy * kMacSize)) return false;
    }
    return true;
}

}  // namespace

std::optional<FoundMagicPacket> FindMagicPacket(const std::uint8_t* data, std::size_t size) {
    for (std::size_t offset = 0; offset + kMagicPacketSize <= size; ++offset) {
        const std::uint8_t* at = data + offset;
        if (!IsMagicPacketAt(at)) continue;
        FoundMagicPacket found;
        std::copy(at + kSyncSize, at + kSyncSize + kMacSize, found.mac.begin());
        const std::size_t after = size - offset - kMagicPacketSize;
        if (after == kShortPasswordFieldSize || after == kPasswordFieldSize) {
            found.password.assign(at + kMagicPacketSize, data + size);
        }
        return found;
    }
    return std::nullopt;
}
