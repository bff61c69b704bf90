// The thread library behind std::thread, linked in statically, imports GetTickCount64
// from kernel32. Windows XP has no such function, and its loader would refuse to start
// the program at all. This file defines the import's pointer itself, so the linker takes
// it instead of kernel32's entry: the system's function where Windows has it (Vista
// and later), else the program's own monotonic clock, which counts from boot too and
// never wraps. It is linked into each executable as an object of its own: from a
// library it would be pulled in only after the thread library's import was resolved.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "common/monotonic_clock-win32.h"

namespace {

using TickFunction = ULONGLONG(WINAPI*)();

// Looked up once; the thread library may call in from any thread, and a function-local
// static's guard would itself wait on that library.
std::atomic<std::uintptr_t> system_tick_count{0};  // 0: not looked up yet; 1: not there
constexpr std::uintptr_t kNotThere = 1;

ULONGLONG WINAPI TickCount64() {
    std::uintptr_t found = system_tick_count.load(std::memory_order_acquire);
    if (found == 0) {
        const FARPROC address = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount64");
        found = address ? reinterpret_cast<std::uintptr_t>(address) : kNotThere;
        system_tick_count.store(found, std::memory_order_release);
    }
    if (found == kNotThere) return static_cast<ULONGLONG>(MonotonicMs());
    return reinterpret_cast<TickFunction>(found)();
}

}  // namespace

// The name under which an import of GetTickCount64 is called.
#if defined(__i386__)
#define TARVEX_TICK_IMPORT "__imp__GetTickCount64@0"
#else
#define TARVEX_TICK_IMPORT "__imp_GetTickCount64"
#endif
extern "C" {
extern const TickFunction tarvex_tick_count_import __asm__(TARVEX_TICK_IMPORT);
const TickFunction tarvex_tick_count_import = TickCount64;
}
