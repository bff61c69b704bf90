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

/// Returns the 18 bytes stored for `text`: its first 17 characters, then NUL bytes
/// up to the 18th. The empty text gives 18 NUL bytes.
CacheValue EncodeCacheValue(std::string_view text);

/// Returns the text held in the `size` bytes at `bytes` (null when `size` is 0): the
/// characters up to the first NUL, and never more than 17 of them, so a value that
/// another program wrote (longer, or with no NUL at all) reads as its leading
/// characters. No byte past `size` is read.
std::string DecodeCacheValue(const std::uint8_t* bytes, std::size_t size);
