#pragma once
// IP helper side of the local adapter list.
#include <vector>

#include "net/adapter_list.h"
#include "net/magic_sender.h"

/// The local computer's adapters from GetAdaptersInfo, in the platform's chain order.
/// The buffer starts at 10 240 bytes and grows to the size the call asks for, so many
/// adapters are listed too. Empty when the call fails or there is no adapter.
std::vector<AdapterInfo> ReadLocalAdapters();

/// Every IPv4 address of every adapter GetAdaptersInfo lists, with its mask, in chain
/// order; an adapter without an address shows as 0.0.0.0. Empty when the call fails.
std::vector<LocalIpv4Address> ReadLocalIpv4Addresses();
