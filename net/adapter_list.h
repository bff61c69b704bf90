#pragma once
// The text of the main dialog's list of the local computer's own adapters: one line
// per adapter, its MAC text, a tab and its description, each line ended by CR LF.
// adapter_list-win32.cpp reads the adapters with GetAdaptersInfo; the start-up fill
// shows the text.
#include <cstddef>
#include <string>
#include <vector>

#include "addr/mac_text.h"

/// Longest line, its CR LF not counted: the 17-character MAC text, a tab and at most
/// 42 characters of the description.
constexpr std::size_t kAdapterLineLength = 60;
/// Longest list text; the field's buffer holds one more character for the terminator.
constexpr std::size_t kAdapterListLength = 249;
/// What the list shows when no adapter can be listed.
constexpr char kNoAdaptersText[] = "No se encontraron adaptadores validos.";

/// What the list shows of one adapter.
struct AdapterInfo {
    /// The first six bytes of the hardware address, whatever its length.
    MacBytes address{};
    std::string description;
};

/// The MAC text of the address, a tab and the description, cut to 60 characters;
/// no line end.
std::string FormatAdapterLine(const AdapterInfo& adapter);

/// The whole list text for the adapters in the platform's order: each line followed by
/// "\r\n". The list stops before the first line that would take the text past 249
/// characters, so it is always a prefix of the adapters (four lines of full length fit). No adapter at all gives kNoAdaptersText, with no line end.
std::string FormatAdapterList(const std::vector<AdapterInfo>& adapters);
