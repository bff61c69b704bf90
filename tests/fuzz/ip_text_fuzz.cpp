// Properties of the IPv4 text rules for any input:
//  - DecimalTextToInt equals the closed formula: the sum of (c - 48) * 10^k over the
//    characters (c as a signed 8-bit code, k counted from the right), modulo 2^32,
//    read as a signed 32-bit number; for plain digit texts that fit, it equals strtol;
//  - SplitIpText succeeds exactly when the text has three dots, writes all four outputs
//    then, and leaves them untouched otherwise;
//  - IsValidIpText never accepts what SplitIpText refuses, and otherwise accepts exactly
//    the octet values inside the ranges.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/fuzz/property.h"
#include "addr/ip_text.h"

namespace {

// Sum of terms rather than Horner's rule, in 64-bit unsigned arithmetic reduced mod 2^32.
std::int64_t ModularFormula(std::string_view text) {
    constexpr std::uint64_t kMod = std::uint64_t{1} << 32;
    std::uint64_t sum = 0;
    std::uint64_t power = 1;  // 10^k mod 2^32
    for (std::size_t i = text.size(); i-- > 0;) {
        const int code = static_cast<signed char>(text[i]);
        const std::int64_t term = code - 48;
        const std::uint64_t term_mod = static_cast<std::uint64_t>((term % static_cast<std::int64_t>(kMod) +
                                                                   static_cast<std::int64_t>(kMod))) % kMod;
        sum = (sum + term_mod * power) % kMod;
        power = (power * 10) % kMod;
    }
    const std::int64_t s = static_cast<std::int64_t>(sum);
    return s >= (std::int64_t{1} << 31) ? s - static_cast<std::int64_t>(kMod) : s;
}

bool AllDigits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::int32_t value = 0x5A5A5A5A;
    DecimalTextToInt(text, value);
    if (value != ModularFormula(text)) FailProperty("DecimalTextToInt differs from the formula", text);
    if (!text.empty() && text.size() <= 9 && AllDigits(text)) {
        const std::string copy(text);
        if (value != std::strtol(copy.c_str(), nullptr, 10)) FailProperty("digits differ from strtol", text);
    }

    std::size_t dots = 0;
    for (char c : text) dots += c == '.';
    constexpr std::int32_t kUntouched = 0x7EADBEEF;
    std::int32_t a = kUntouched, b = kUntouched, c = kUntouched, d = kUntouched;
    const bool split = SplitIpText(text, a, b, c, d);
    if (split != (dots == 3)) FailProperty("split does not follow the dot count", text);
    if (!split && (a != kUntouched || b != kUntouched || c != kUntouched || d != kUntouched)) {
        FailProperty("failed split wrote an output", text);
    }

    const bool valid = IsValidIpText(text);
    if (valid && !split) FailProperty("accepted a text that does not split", text);
    if (split) {
        const bool first_ok = (a >= 1 && a <= 126) || (a >= 128 && a <= 223);
        const bool in_range = first_ok && d != 0 && d < 255 && c <= 255 && b <= 255;
        if (valid != in_range) FailProperty("validity differs from the octet ranges", text);
    }
    return 0;
}
