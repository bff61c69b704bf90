#include "net/arp_sources-win32.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "common/handles-win32.h"

namespace {

// The table may grow between the size query and the fetch; ask again a few times.
constexpr int kTableFetchAttempts = 4;

std::vector<ArpRow> CopyRows(const std::vector<BYTE>& buffer) {
    const auto* table = reinterpret_cast<const MIB_IPNETTABLE*>(buffer.data());
    constexpr std::size_t kRowsOffset = offsetof(MIB_IPNETTABLE, table);
    // Never trust the count beyond the rows the buffer actually holds.
    const std::size_t room = (buffer.size() - kRowsOffset) / sizeof(MIB_IPNETROW);
    const std::size_t count = std::min<std::size_t>(table->dwNumEntries, room);
    std::vector<ArpRow> rows(count);
    for (std::size_t i = 0; i < count; ++i) {
        const MIB_IPNETROW& row = table->table[i];
        rows[i].address = row.dwAddr;
        std::memcpy(rows[i].physical.bytes.data(), row.bPhysAddr, rows[i].physical.bytes.size());
        rows[i].physical.length = row.dwPhysAddrLen;
    }
    return rows;
}

}  // namespace

std::vector<ArpRow> IpHelperArpTable::ReadRows() {
    try {
        ULONG size = 0;
        GetIpNetTable(nullptr, &size, FALSE);
        std::vector<BYTE> buffer;
        DWORD result = ERROR_INSUFFICIENT_BUFFER;
        for (int attempt = 0; attempt < kTableFetchAttempts && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
            // At least a header and one row, so that the count can always be read.
            buffer.assign(std::max<std::size_t>(size, sizeof(MIB_IPNETTABLE)), 0);
            size = static_cast<ULONG>(buffer.size());
            result = GetIpNetTable(reinterpret_cast<MIB_IPNETTABLE*>(buffer.data()), &size, FALSE);
        }
        if (result != NO_ERROR) return {};
        return CopyRows(buffer);
    } catch (const std::bad_alloc&) {
        // A table too large to hold is a source with nothing to say.
        return {};
    }
}

std::optional<HardwareAddress> IpHelperArpRequest::Request(std::uint32_t target) {
    UniqueLibrary library(LoadLibraryA("iphlpapi.dll"));
    if (!library) return std::nullopt;
    const FARPROC found = GetProcAddress(library.get(), "SendARP");
    if (!found) return std::nullopt;
    // Through void(*)(), the one function type a cast to another does not warn about.
    const auto send_arp = reinterpret_cast<decltype(&SendARP)>(reinterpret_cast<void (*)()>(found));
    BYTE reply[8] = {};
    ULONG length = sizeof reply;
    if (send_arp(target, 0, reply, &length) != NO_ERROR) return std::nullopt;
    MacBytes mac;
    std::memcpy(mac.data(), reply, mac.size());
    return HardwareAddress(mac, length);
}
