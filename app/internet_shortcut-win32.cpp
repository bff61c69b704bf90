#include "app/internet_shortcut-win32.h"

#include <objbase.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include "common/handles-win32.h"

namespace {

class Win32NewFile final : public NewFile {
public:
    explicit Win32NewFile(UniqueFile file) : file_(std::move(file)) {}

    bool Write(std::string_view bytes) override {
        DWORD written = 0;
        const DWORD length = static_cast<DWORD>(bytes.size());
        return WriteFile(file_.get(), bytes.data(), length, &written, nullptr) && written == length;
    }

private:
    UniqueFile file_;
};

// The shell may hand an address to an extension it reaches through COM, so the thread
// has COM while it asks, as the shell wants it; COM that the thread already has in
// another mode is left alone.
class ComOnThisThread {
public:
    ComOnThisThread()
        : started_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComOnThisThread() {
        if (started_) CoUninitialize();
    }
    ComOnThisThread(const ComOnThisThread&) = delete;
    ComOnThisThread& operator=(const ComOnThisThread&) = delete;

private:
    bool started_;
};

/// Files of the current directory, by relative name.
class Win32ShortcutFiles final : public ShortcutFiles {
public:
    std::unique_ptr<NewFile> CreateNew(const std::string& name, bool& exists) override;
    void Remove(const std::string& name) override;
};

}  // namespace

std::unique_ptr<NewFile> Win32ShortcutFiles::CreateNew(const std::string& name, bool& exists) {
    // CREATE_NEW creates and opens in one step; a file that appears between a check
    // and a separate create could otherwise be truncated.
    UniqueFile file(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        return nullptr;
    }
    exists = false;
    return std::make_unique<Win32NewFile>(std::move(file));
}

void Win32ShortcutFiles::Remove(const std::string& name) { DeleteFileA(name.c_str()); }

ShortcutFileState EnsureInternetShortcut(const char* file_name, std::string_view text) {
    Win32ShortcutFiles files;
    return EnsureShortcutFile(files, file_name, text);
}

void OpenInternetShortcut(const char* file_name, const char* url) {
    EnsureInternetShortcut(file_name, BuildInternetShortcutText(url));
    // The shell gets the program's own address, never the file: a file of that name
    // that was already in the folder (a download folder, a share) may point anywhere,
    // at a program or at a UNC path that hands out the user's credentials. Opening
    // the address also works in a folder the user cannot write.
    const ComOnThisThread com;
    ShellExecuteA(nullptr, "Open", url, nullptr, nullptr, SW_SHOW);
}
