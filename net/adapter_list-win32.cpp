#include "net/adapter_list-win32.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr std::size_t kFirstBufferSize = 10240;
// The adapters may change between two calls; a few rounds of growing are enough.
constexpr int kFetchAttempts = 4;

// How much of a record is read: everything up to the end of the address.
constexpr std::size_t kUsedRecordSize = offsetof(IP_ADAPTER_INFO, Address) + sizeof(IP_ADAPTER_INFO::Address);

std::vector<AdapterInfo> CopyChain(const std::vector<BYTE>& buffer) {
    std::vector<AdapterInfo> adapters;
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t end = begin + buffer.size();
    // The records and their chain live inside the buffer; a link that leaves it, or a
    // chain longer than the buffer could hold, ends the walk.
    const std::size_t most = buffer.size() / kUsedRecordSize;
    const auto* record = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
    while (record != nullptr && adapters.size() < most) {
        const auto at = reinterpret_cast<std::uintptr_t>(record);
        if (at < begin || at > end || end - at < kUsedRecordSize) break;
        AdapterInfo adapter;
        std::memcpy(adapter.address.data(), record->Address, adapter.address.size());
        adapter.description.assign(record->Description, strnlen(record->Description, sizeof record->Description));
        adapters.push_back(std::move(adapter));
        record = record->Next;
    }
    return adapters;
}

}  // namespace

std::vector<AdapterInfo> ReadLocalAdapters() {
    try {
        std::vector<BYTE> buffer(kFirstBufferSize, 0);
        DWORD result = ERROR_BUFFER_OVERFLOW;
        for (int attempt = 0; attempt < kFetchAttempts; ++attempt) {
            ULONG size = static_cast<ULONG>(buffer.size());
            result = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
            // ERROR_BUFFER_OVERFLOW means more adapters than room, not an error:
            // the call has said how much it needs.
            if (result != ERROR_BUFFER_OVERFLOW || size <= buffer.size()) break;
            buffer.assign(size, 0);
        }
        if (result != NO_ERROR) return {};
        return CopyChain(buffer);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

