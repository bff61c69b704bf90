#include "tests/e2e/figures.h"

#include <winternl.h>

#include <algorithm>
#include <cstddef>

namespace e2e {

namespace {

// Fills `buffer` with NtQuerySystemInformation of `kind`, growing it as asked.
bool QuerySystem(SYSTEM_INFORMATION_CLASS kind, std::vector<BYTE>& buffer) {
    using QueryFunction = LONG(WINAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return false;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    buffer.resize(64 * 1024);
    for (int i = 0; i < 8; ++i) {
        ULONG needed = 0;
        const LONG status = query(kind, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status != kInfoLengthMismatch) return status == 0;
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
    return false;
}

}  // namespace

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool BenchRequested() {
    char value[8] = {};
    return GetEnvironmentVariableA("TARVEX_BENCH", value, sizeof value) > 0 && value[0] == '1';
}

ProcessCounts CountsOf(DWORD pid) {
    ProcessCounts counts;
    std::vector<BYTE> buffer;
    if (QuerySystem(SystemProcessInformation, buffer)) {
        for (size_t offset = 0; offset + sizeof(SYSTEM_PROCESS_INFORMATION) <= buffer.size();) {
            const auto* process = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
            if (reinterpret_cast<ULONG_PTR>(process->UniqueProcessId) == pid) {
                counts.threads = static_cast<int>(process->NumberOfThreads);
                break;
            }
            if (process->NextEntryOffset == 0) break;
            offset += process->NextEntryOffset;
        }
    }
    const auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
    if (QuerySystem(kSystemHandleInformation, buffer) && buffer.size() >= sizeof(ULONG)) {
        const auto* list = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
        const size_t room = (buffer.size() - offsetof(SYSTEM_HANDLE_INFORMATION, Handle)) / sizeof(SYSTEM_HANDLE_ENTRY);
        counts.handles = 0;
        for (size_t i = 0; i < list->Count && i < room; ++i) {
            if (list->Handle[i].OwnerPid == pid) ++counts.handles;
        }
    }
    return counts;
}

}  // namespace e2e
