// Properties of the MAC text rules for any input:
//  - ParseHexByte equals the C library's strtol(base 16) on a NUL-terminated copy of the
//    first six characters (the "C" locale: the fuzzer never calls setlocale);
//  - IsValidMacText never reads outside the text (the text is handed over in a buffer of
//    exactly its size, so AddressSanitizer sees any read past its end);
//  - IsValidMacText is blind to ASCII case;
//  - an accepted 17-character text stays accepted with any one character appended
//    (position 17 is a separator), and every one of its six pieces parses to 0..255.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tests/fuzz/property.h"
#include "addr/mac_text.h"

namespace {

char ChangeAsciiCase(char c, bool upper) {
    if (upper && c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
    return c;
}

// A heap copy of exactly the text's size, so that a read past its end is caught.
bool IsValidExact(const std::vector<char>& text) {
    return IsValidMacText(std::string_view(text.data(), text.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::string bounded(text.substr(0, 6));
    const long expected = std::strtol(bounded.c_str(), nullptr, 16);
    if (ParseHexByte(text) != expected) FailProperty("ParseHexByte differs from strtol", text);

    const bool valid = IsValidMacText(text);
    std::vector<char> upper(text.begin(), text.end());
    std::vector<char> lower(text.begin(), text.end());
    for (char& c : upper) c = ChangeAsciiCase(c, true);
    for (char& c : lower) c = ChangeAsciiCase(c, false);
    if (IsValidExact(upper) != valid || IsValidExact(lower) != valid) {
        FailProperty("IsValidMacText depends on case", text);
    }

    if (valid && size < kMacTextLength) FailProperty("accepted a text shorter than 17", text);
    if (valid && size == kMacTextLength) {
        for (int extra = 0; extra < 256; extra += 37) {
            std::vector<char> longer(text.begin(), text.end());
            longer.push_back(static_cast<char>(extra));
            if (!IsValidExact(longer)) FailProperty("18th character was examined", text);
        }
        for (std::size_t i = 0; i < 6; ++i) {
            const std::int32_t byte = ParseHexByte(text.substr(3 * i, 2));
            if (byte < 0 || byte > 255) FailProperty("piece of an accepted text is not a byte", text);
        }
    }
    return 0;
}
