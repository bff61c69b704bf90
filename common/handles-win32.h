#pragma once
// Owner of a file handle (CreateFileA, CreateToolhelp32Snapshot), whose "none"
// is INVALID_HANDLE_VALUE rather than a null pointer.
#include <windows.h>

#include "common/unique_handle.h"

struct FileTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};
using UniqueFile = UniqueHandle<FileTraits>;
