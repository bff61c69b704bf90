#include "addr/typed_text.h"

std::string TrimBlanks(std::string_view text) {
    constexpr std::string_view kBlanks = " \t";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(kBlanks) - first + 1));
}

std::string PastedAddressText(std::string_view clipboard) {
    return TrimBlanks(clipboard.substr(0, clipboard.find_first_of("\r\n")));
}
