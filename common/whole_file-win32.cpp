#include "common/whole_file-win32.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "common/handles-win32.h"
#include "common/system_error-win32.h"

namespace {

std::string Failed(const char* call) { return std::string(call) + ": " + SystemErrorText(GetLastError()); }

// A name of its own beside `path`, so that the move stays on one volume and is one
// step; CREATE_NEW never opens a file that is somebody else's.
std::pair<UniqueFile, std::string> CreateBeside(const std::string& path, std::string& error) {
    for (unsigned n = 0; n < 100; ++n) {
        std::string name = path + ".~" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(n) + ".tmp";
        UniqueFile file(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return {std::move(file), std::move(name)};
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    error = Failed("CreateFile");
    return {};
}

bool WriteAllTo(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD step = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, step, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

struct FileIdentity {
    DWORD volume = 0, index_high = 0, index_low = 0;
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && index_high == other.index_high && index_low == other.index_low;
    }
};

std::optional<FileIdentity> IdentityOf(const std::string& name) {
    // No access asked: the identity can be read even of a file that another program
    // holds open; directories open only with backup semantics.
    const UniqueFile file(CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

}  // namespace

bool WriteFileWhole(const std::string& path, const std::string& bytes, std::string& error) {
    // Windows refuses to move a file over a read-only one, Wine does not: asked first,
    // so that a file the user made read-only stays everywhere.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        error = attributes & FILE_ATTRIBUTE_DIRECTORY ? "it is a directory" : "it is read-only";
        return false;
    }
    auto [file, temporary] = CreateBeside(path, error);
    if (!file) return false;
    bool written = WriteAllTo(file.get(), bytes);
    if (!written) error = Failed("WriteFile");
    if (written && !FlushFileBuffers(file.get())) {
        error = Failed("FlushFileBuffers");
        written = false;
    }
    file.reset();
    if (written && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    if (written) error = Failed("MoveFileEx");
    DeleteFileA(temporary.c_str());
    return false;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    const std::optional<FileIdentity> first = IdentityOf(a);
    if (!first) return false;
    const std::optional<FileIdentity> second = IdentityOf(b);
    return second && *first == *second;
}
