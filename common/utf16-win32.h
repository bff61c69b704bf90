#pragma once
// The program's texts are UTF-8 (a list's labels may be anything); the few Windows calls
// that show them to a person take UTF-16, which the ANSI calls would read in the
// system's code page instead.
#include <windows.h>

#include <string>
#include <string_view>

/// `text` as UTF-16, every byte of it (a NUL too). A byte that starts no valid
/// sequence becomes U+FFFD, as Windows converts it; empty in, empty out.
std::wstring WideFromUtf8(std::string_view text);

/// MessageBoxW over `owner` (none: a box of its own) with `text` and `caption` read as
/// UTF-8; returns what MessageBoxW returns.
int ShowMessageBoxUtf8(HWND owner, const std::string& text, const char* caption, UINT flags);
