#pragma once
// Internet-shortcut files on Windows: created with CreateFileA in the current
// directory, opened through the shell.
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "app/internet_shortcut.h"
#include "common/unique_file-win32.h"

/// Files of the current directory, by relative name.
class Win32ShortcutFiles final : public ShortcutFiles {
public:
    std::unique_ptr<NewFile> CreateNew(const std::string& name, bool& exists) override;
    void Remove(const std::string& name) override;
};

/// Makes sure the shortcut file `file_name` exists in the current directory, writing
/// `text` only when it is missing (EnsureShortcutFile).
ShortcutFileState EnsureInternetShortcut(const char* file_name, std::string_view text);

/// EnsureInternetShortcut with the shortcut text for `url`, then asks the shell to open
/// `url` itself with the verb "Open" (no owner window, SW_SHOW), whether or not the file
/// could be written. Nothing is reported: the shell's answer is not looked at.
void OpenInternetShortcut(const char* file_name, const char* url);
