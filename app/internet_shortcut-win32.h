#pragma once
// Internet-shortcut files on Windows: created with CreateFileA in the current
// directory, opened through the shell.
#include <windows.h>

#include <string_view>

#include "app/internet_shortcut.h"

/// Makes sure the shortcut file `file_name` exists in the current directory, writing
/// `text` only when it is missing (EnsureShortcutFile).
ShortcutFileState EnsureInternetShortcut(const char* file_name, std::string_view text);

/// EnsureInternetShortcut with the shortcut text for `url`, then asks the shell to open
/// `url` itself with the verb "Open" (no owner window, SW_SHOW), whether or not the file
/// could be written. Nothing is reported: the shell's answer is not looked at.
void OpenInternetShortcut(const char* file_name, const char* url);
