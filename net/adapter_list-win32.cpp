#include "net/adapter_list-win32.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "addr/ip_text.h"

namespace {

constexpr std::size_t kFirstBufferSize = 10240;
// The adapters may change between two calls; a few rounds of growing are enough.
constexpr int kFetchAttempts = 4;

// How much of a record the adapter list reads: everything up to the end of the
// address; the address reader reads up to the end of the address list.
constexpr std::size_t kUsedRecordSize = offsetof(IP_ADAPTER_INFO, Address) + sizeof(IP_ADAPTER_INFO::Address);
constexpr std::size_t kAddressRecordSize =
    offsetof(IP_ADAPTER_INFO, IpAddressList) + sizeof(IP_ADAPTER_INFO::IpAddressList);

// The GetAdaptersInfo chain, in a buffer that holds all of it; empty when the call fails.
std::vector<BYTE> FetchAdapterChain() {
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
        return buffer;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

// True when `size` bytes at `item` lie inside the buffer.
bool InBuffer(const std::vector<BYTE>& buffer, const void* item, std::size_t size) {
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t end = begin + buffer.size();
    const auto at = reinterpret_cast<std::uintptr_t>(item);
    return at >= begin && at <= end && end - at >= size;
}

// Calls `visit` for every record of the chain whose first `used` bytes lie in the buffer.
// The records and their chain live inside the buffer; a link that leaves it, or a chain
// longer than the buffer could hold, ends the walk.
template <typename Visit>
void WalkChain(const std::vector<BYTE>& buffer, std::size_t used, Visit visit) {
    if (buffer.empty()) return;
    std::size_t most = buffer.size() / used;
    const auto* record = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
    while (record != nullptr && most-- > 0 && InBuffer(buffer, record, used)) {
        visit(*record);
        record = record->Next;
    }
}

// "a.b.c.d" as the system writes it into the chain; 0.0.0.0 (no address, skipped by
// the sender) for a text that names none.
Ipv4Bytes AddressBytes(const IP_ADDRESS_STRING& text) {
    return ReadIpv4Octets(std::string_view(text.String, strnlen(text.String, sizeof text.String)))
        .value_or(Ipv4Bytes{});
}

}  // namespace

std::vector<AdapterInfo> ReadLocalAdapters() {
    std::vector<AdapterInfo> adapters;
    const std::vector<BYTE> buffer = FetchAdapterChain();
    WalkChain(buffer, kUsedRecordSize, [&](const IP_ADAPTER_INFO& record) {
        AdapterInfo adapter;
        std::memcpy(adapter.address.data(), record.Address, adapter.address.size());
        adapter.description.assign(record.Description, strnlen(record.Description, sizeof record.Description));
        adapters.push_back(std::move(adapter));
    });
    return adapters;
}

std::vector<LocalIpv4Address> ReadLocalIpv4Addresses() {
    std::vector<LocalIpv4Address> addresses;
    const std::vector<BYTE> buffer = FetchAdapterChain();
    WalkChain(buffer, kAddressRecordSize, [&](const IP_ADAPTER_INFO& record) {
        std::size_t most = buffer.size() / sizeof(IP_ADDR_STRING);
        for (const IP_ADDR_STRING* entry = &record.IpAddressList;
             entry != nullptr && most-- > 0 && InBuffer(buffer, entry, sizeof *entry); entry = entry->Next) {
            addresses.push_back({AddressBytes(entry->IpAddress), AddressBytes(entry->IpMask)});
        }
    });
    return addresses;
}
