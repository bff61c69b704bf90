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

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty()) return std::string();
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string narrow(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &narrow[0], length, nullptr, nullptr) != length) {
        return std::string();
    }
    return narrow;
}

std::string ProgramPath() {
    // A path cut to the buffer fills it whole (XP gives no error then): a larger one is tried.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::wstring path(size, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], size);
        if (length == 0) return std::string();
        if (length < size) return Utf8FromWide(std::wstring_view(path.data(), length));
    }
    return std::string();
}
