#include "common/windows_version-win32.h"

#include <windows.h>

unsigned long WindowsMajorVersion() {
    static const unsigned long major = [] {
        // Found at run time: the SDK declares RtlGetVersion only for drivers, and
        // GetVersionExA is deprecated (a warning, so an error here).
        using GetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
        const FARPROC found = GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion");
        if (found == nullptr) return 0ul;
        // Through void(*)(), the one function type a cast to another does not warn about.
        const auto get_version = reinterpret_cast<GetVersionCall>(reinterpret_cast<void (*)()>(found));
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof info;
        return get_version(&info) == 0 ? static_cast<unsigned long>(info.dwMajorVersion) : 0ul;
    }();
    return major;
}
