#pragma once
// The layout of one address-cache entry in the registry: always 18 bytes, the text's
// characters followed by NUL bytes, so a stored text has at most 17 characters.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// Size of every value the cache writes, whatever the text's length.
constexpr std::size_t kCacheValueSize = 18;
/// Longest text a value holds; one byte is always left for the NUL.
constexpr std::size_t kCacheTextMax = kCacheValueSize - 1;

using CacheValue = std::array<std::uint8_t, kCacheValueSize>;

/// The value that holds the IP address typed last; every other value is one PC's MAC
/// text under its IP text.
constexpr char kLastIpName[] = "UltimaIP";

/// True when an IP text may name a remembered pair: not empty (the key's default value)
/// and not the last IP's value name in any case, since registry names ignore case.
bool IsPairName(std::string_view ip_text);

/// Returns the 18 bytes stored for `text`: its first 17 characters, then NUL bytes
/// up to the 18th. The empty text gives 18 NUL bytes.
CacheValue EncodeCacheValue(std::string_view text);

/// Returns the text held in the `size` bytes at `bytes` (null when `size` is 0): the
/// characters up to the first NUL, and never more than 17 of them, so a value that
/// another program wrote (longer, or with no NUL at all) reads as its leading
/// characters. No byte past `size` is read.
std::string DecodeCacheValue(const std::uint8_t* bytes, std::size_t size);
