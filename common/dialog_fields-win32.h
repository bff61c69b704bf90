#pragma once
// Reading the main dialog's fields and showing its message boxes, the same way
// for every command.
#include <windows.h>

#include <string>

/// The text of edit `id`, at most `limit` characters: the edit's own limit, so the
/// whole text (the buffer holds one character more, for the terminator).
inline std::string DialogFieldText(HWND dialog, int id, int limit) {
    std::string text(static_cast<size_t>(limit) + 1, '\0');
    const UINT length = GetDlgItemTextA(dialog, id, &text[0], limit + 1);
    text.resize(length);
    return text;
}

/// A message box with an OK button, owned by `owner`; `icon` is an MB_ICON* value.
inline void ShowOwnedMessage(HWND owner, const std::string& text, const char* caption, unsigned icon) {
    MessageBoxA(owner, text.c_str(), caption, MB_OK | icon);
}
