#include "common/utf16-win32.h"

std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty()) return std::wstring();
    // No MB_ERR_INVALID_CHARS: an invalid byte is replaced rather than failing the text.
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_UTF8, 0, text.data(), size, &wide[0], length) != length) return std::wstring();
    return wide;
}
