#include "net/magic_packet_finder.h"

#include <algorithm>
#include <utility>

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

std::vector<FoundMagicPacket> FindMagicPackets(const std::uint8_t* data, std::size_t size) {
    std::vector<FoundMagicPacket> found;
    std::vector<std::size_t> starts;
    for (std::size_t offset = 0; offset + kMagicPacketSize <= size;) {
        if (!IsMagicPacketAt(data + offset)) {
            ++offset;
            continue;
        }
        FoundMagicPacket packet;
        std::copy(data + offset + kSyncSize, data + offset + kSyncSize + kMacSize, packet.mac.begin());
        found.push_back(std::move(packet));
        starts.push_back(offset);
        offset += kMagicPacketSize;
    }
    for (std::size_t i = 0; i < found.size(); ++i) {
        const std::size_t from = starts[i] + kMagicPacketSize;
        const std::size_t to = i + 1 < starts.size() ? starts[i + 1] : size;
        if (to - from == kShortPasswordFieldSize || to - from == kPasswordFieldSize) {
            found[i].password.assign(data + from, data + to);
        }
    }
    return found;
}
