#pragma once
// Real files for the Win32 tests: whole-file reads and writes, and a directory of a
// test's own under the temporary directory, made the current one while it lives.
#include <windows.h>

#include <optional>
#include <set>
#include <string>

#include "common/handles-win32.h"

inline std::optional<std::string> ReadWholeFile(const std::string& path) {
    const UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    return bytes;
}

/// Creates or replaces the file; false when it cannot be written whole.
inline bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    const UniqueFile file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

class ScratchDirectory {
public:
    /// "<temp>\<prefix><process id>", made the current directory; see made().
    explicit ScratchDirectory(const std::string& prefix) {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        dir_ = std::string(temp) + prefix + std::to_string(GetCurrentProcessId());
        GetCurrentDirectoryA(sizeof previous_dir_, previous_dir_);
        made_ = (CreateDirectoryA(dir_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) &&
                SetCurrentDirectoryA(dir_.c_str());
    }
    /// Takes everything in it away (read-only files and empty directories too), and
    /// the directory itself.
    ~ScratchDirectory() {
        SetCurrentDirectoryA(previous_dir_);
        for (const std::string& name : Names()) {
            SetFileAttributesA(Path(name).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(Path(name).c_str())) RemoveDirectoryA(Path(name).c_str());
        }
        RemoveDirectoryA(dir_.c_str());
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    bool made() const { return made_; }
    std::string Path(const std::string& name) const { return dir_ + "\\" + name; }
    /// What is in it now, but "." and "..".
    std::set<std::string> Names() const {
        std::set<std::string> names;
        WIN32_FIND_DATAA found{};
        const UniqueFind find(FindFirstFileA(Path("*").c_str(), &found));
        for (bool more = static_cast<bool>(find); more; more = FindNextFileA(find.get(), &found)) {
            const std::string name = found.cFileName;
            if (name != "." && name != "..") names.insert(name);
        }
        return names;
    }

private:
    std::string dir_;
    char previous_dir_[MAX_PATH] = {};
    bool made_ = false;
};
