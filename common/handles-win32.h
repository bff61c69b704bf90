#pragma once
// The owners of the Win32 handles that the program and its end-to-end driver open,
// each a UniqueHandle with its own "none" value and its own way of closing. Two live
// elsewhere: the socket owner with the other Winsock pieces (net/socket-win32.h), and
// the ICMP handle owner in the one file that uses it, since the IP helper headers it
// needs define `interface` as a macro.
#include <windows.h>

#include "common/unique_handle.h"

/// A handle whose "none" is INVALID_HANDLE_VALUE rather than a null pointer.
template <typename T, auto CloseFunction>
struct InvalidIsNone : NullIsNone<T, CloseFunction> {
    static T Invalid() { return INVALID_HANDLE_VALUE; }
};

using UniqueFile = UniqueHandle<InvalidIsNone<HANDLE, CloseHandle>>;  // CreateFileA, tool-help snapshots
using UniqueFind = UniqueHandle<InvalidIsNone<HANDLE, FindClose>>;
using UniqueKernelObject = UniqueHandle<NullIsNone<HANDLE, CloseHandle>>;  // process, thread, job
using UniqueKey = UniqueHandle<NullIsNone<HKEY, RegCloseKey>>;
using UniqueLibrary = UniqueHandle<NullIsNone<HMODULE, FreeLibrary>>;
using UniqueIcon = UniqueHandle<NullIsNone<HICON, DestroyIcon>>;
using UniqueFont = UniqueHandle<NullIsNone<HFONT, DeleteObject>>;
// Bitmaps and brushes. A bitmap must no longer be selected into a DC when its owner ends.
using UniqueGdiObject = UniqueHandle<NullIsNone<HGDIOBJ, DeleteObject>>;
using UniqueMemoryDc = UniqueHandle<NullIsNone<HDC, DeleteDC>>;

inline void ReleaseScreenDc(HDC dc) { ReleaseDC(nullptr, dc); }
using UniqueScreenDc = UniqueHandle<NullIsNone<HDC, ReleaseScreenDc>>;  // from GetDC(nullptr)
