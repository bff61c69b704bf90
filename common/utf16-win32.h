#pragma once
// The program's texts are UTF-8 (a list's labels may be anything); the few Windows calls
// that show them to a person (a message box, the console) take them as UTF-16, since the
// ANSI calls would read them in the system's code page.
#include <windows.h>

#include <string>
#include <string_view>

/// `text` as UTF-16, every byte of it (a NUL too). A byte that starts no valid
/// sequence becomes U+FFFD, as Windows converts it; empty in, empty out.
std::wstring WideFromUtf8(std::string_view text);

/// `text` as UTF-8 (a lone surrogate becomes U+FFFD); empty in, empty out.
std::string Utf8FromWide(std::wstring_view text);

/// The full path of this program's exe as UTF-8, however long; empty when the system
/// does not tell.
std::string ProgramPath();
