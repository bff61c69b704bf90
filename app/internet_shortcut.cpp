#include "app/internet_shortcut.h"

std::string BuildInternetShortcutText(std::string_view url) {
    std::string text = "[InternetShortcut]\nURL=";
    text.append(url);
    return text;
}

ShortcutFileState EnsureShortcutFile(ShortcutFiles& files, const std::string& name, std::string_view text) {
    bool exists = false;
    bool written = false;
    {
        std::unique_ptr<NewFile> file = files.CreateNew(name, exists);
        if (!file) return exists ? ShortcutFileState::kAlreadyThere : ShortcutFileState::kNotWritten;
        written = file->Write(text);
    }
    // Removed only once closed: a file still open for writing may not be deletable.
    if (!written) {
        files.Remove(name);
        return ShortcutFileState::kNotWritten;
    }
    return ShortcutFileState::kWritten;
}
