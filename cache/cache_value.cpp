#include "cache/cache_value.h"

#include <algorithm>
#include <cctype>

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

bool IsPairName(std::string_view ip_text) {
    const std::string_view last = kLastIpName;
    if (ip_text.empty()) return false;
    if (ip_text.size() != last.size()) return true;
    for (std::size_t i = 0; i < last.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(ip_text[i])) != std::tolower(static_cast<unsigned char>(last[i]))) {
            return true;
        }
    }
    return false;
}
