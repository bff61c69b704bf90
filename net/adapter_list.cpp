#include "net/adapter_list.h"

std::string FormatAdapterLine(const AdapterInfo& adapter) {
    std::string line = FormatMacText(adapter.address) + '\t' + adapter.description;
    if (line.size() > kAdapterLineLength) line.resize(kAdapterLineLength);
    return line;
}

std::string FormatAdapterList(const std::vector<AdapterInfo>& adapters) {
    if (adapters.empty()) return kNoAdaptersText;
    constexpr char kLineEnd[] = "\r\n";
    std::string list;
    for (const AdapterInfo& adapter : adapters) {
        const std::string line = FormatAdapterLine(adapter) + kLineEnd;
        // Whole lines only, and none after the first that does not fit: a line cut at the
        // limit would show a wrong description or half a MAC address, and a later line
        // slipped in after a gap would hide that an adapter before it is missing.
        if (list.size() + line.size() > kAdapterListLength) break;
        list += line;
    }
    return list;
}
