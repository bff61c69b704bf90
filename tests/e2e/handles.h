#pragma once
// Owners for the handles the driver and the cases open, so that a failed
// assertion (which returns early) leaks nothing.
#include <windows.h>

#include "common/handles-win32.h"
#include "common/unique_handle.h"

namespace e2e {

using ::UniqueFile;  // files and tool-help snapshots

inline void ReleaseScreenDc(HDC dc) { ReleaseDC(nullptr, dc); }

struct FindTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { FindClose(h); }
};
using UniqueFind = UniqueHandle<FindTraits>;

using UniqueKernelObject = UniqueHandle<NullIsNone<HANDLE, CloseHandle>>;  // process, thread, job
using UniqueModule = UniqueHandle<NullIsNone<HMODULE, FreeLibrary>>;
using UniqueIcon = UniqueHandle<NullIsNone<HICON, DestroyIcon>>;
// Bitmaps and brushes. A bitmap must no longer be selected into a DC when its owner ends.
using UniqueGdiObject = UniqueHandle<NullIsNone<HGDIOBJ, DeleteObject>>;
using UniqueMemoryDc = UniqueHandle<NullIsNone<HDC, DeleteDC>>;
using UniqueScreenDc = UniqueHandle<NullIsNone<HDC, ReleaseScreenDc>>;  // from GetDC(nullptr)
using UniqueKey = UniqueHandle<NullIsNone<HKEY, RegCloseKey>>;

}  // namespace e2e
