#pragma once
// Owners for the handles the driver and the cases open, so that a failed
// assertion (which returns early) leaks nothing.
#include <windows.h>

#include "common/unique_handle.h"

namespace e2e {

// Processes, threads, jobs: nullptr when there is none.
struct KernelObjectTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { CloseHandle(h); }
};
using UniqueKernelObject = UniqueHandle<KernelObjectTraits>;

// Files and tool-help snapshots: INVALID_HANDLE_VALUE when there is none.
struct FileTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};
using UniqueFile = UniqueHandle<FileTraits>;

struct FindTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { FindClose(h); }
};
using UniqueFind = UniqueHandle<FindTraits>;

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type module) { FreeLibrary(module); }
};
using UniqueModule = UniqueHandle<ModuleTraits>;

struct IconTraits {
    using Type = HICON;
    static Type Invalid() { return nullptr; }
    static void Close(Type icon) { DestroyIcon(icon); }
};
using UniqueIcon = UniqueHandle<IconTraits>;

// Bitmaps and brushes. A bitmap must no longer be selected into a DC when its owner ends.
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() { return nullptr; }
    static void Close(Type object) { DeleteObject(object); }
};
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;

struct MemoryDcTraits {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Close(Type dc) { DeleteDC(dc); }
};
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;

// The whole screen's DC, from GetDC(nullptr).
struct ScreenDcTraits {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Close(Type dc) { ReleaseDC(nullptr, dc); }
};
using UniqueScreenDc = UniqueHandle<ScreenDcTraits>;

struct KeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type key) { RegCloseKey(key); }
};
using UniqueKey = UniqueHandle<KeyTraits>;

}  // namespace e2e
