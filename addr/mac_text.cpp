#include "addr/mac_text.h"

#include <algorithm>
#include <cstdio>

namespace {

// Only ASCII letters are folded: bytes above 127 must stay as they are (and stay
// refused), whatever the locale says.
char ToLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsDigitPosition(std::size_t p) { return p % 3 != 2; }

// Value of a hexadecimal digit of either case, or -1.
int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// isspace() in the "C" locale, without its undefined behaviour for negative chars.
bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr std::size_t kHexPieceLimit = 6;

}  // namespace

bool IsValidMacText(std::string_view text) {
    if (text.size() < kMacTextLength) return false;
    // Only this exact spelling means "unknown"; other separators or a longer text are
    // judged by their digits like any other address.
    if (text == kZeroMacText) return false;
    for (std::size_t p = 0; p < text.size(); ++p) {
        if (!IsDigitPosition(p)) continue;
        const char c = ToLowerAscii(text[p]);
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

std::int32_t ParseHexByte(std::string_view piece) {
    const std::string_view s = piece.substr(0, kHexPieceLimit);
    std::size_t i = 0;
    while (i < s.size() && IsCSpace(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    // With no digit after "0x", strtol reads the '0' alone: the value is 0 either way.
    if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) i += 2;
    // At most six digits: the value stays below 2^24, so no overflow is possible.
    std::int32_t value = 0;
    for (; i < s.size(); ++i) {
        const int digit = HexDigitValue(s[i]);
        if (digit < 0) break;
        value = value * 16 + digit;
    }
    return negative ? -value : value;
}

std::string FormatMacText(const MacBytes& bytes) {
    char text[kMacTextLength + 1] = {};
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", bytes[0], bytes[1], bytes[2], bytes[3],
                  bytes[4], bytes[5]);
    return text;
}

bool IsZeroMac(const MacBytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

bool IsGroupMac(const MacBytes& bytes) { return (bytes[0] & 0x01) != 0; }
