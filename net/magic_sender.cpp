#include "net/magic_sender.h"

WireEndpoint LimitedBroadcastEndpoint(int port) {
    // Only the low 16 bits count; the conversion to unsigned is modular.
    const auto p = static_cast<std::uint16_t>(port);
    return WireEndpoint{{0xFF, 0xFF, 0xFF, 0xFF},
                        {static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p & 0xFF)}};
}
