#include "cache/cache_value.h"

#include <algorithm>

CacheValue EncodeCacheValue(std::string_view text) {
    CacheValue value{};
    const std::size_t length = std::min(text.size(), kCacheTextMax);
    std::copy_n(text.begin(), length, value.begin());
    return value;
}

std::string DecodeCacheValue(const std::uint8_t* bytes, std::size_t size) {
    if (bytes == nullptr) return std::string();
    const std::uint8_t* const last = bytes + std::min(size, kCacheTextMax);
    return std::string(bytes, std::find(bytes, last, std::uint8_t{0}));
}
