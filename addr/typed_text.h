#pragma once
// What surrounds an address as typed or pasted: a copied address often brings a
// space or a tab along ("192.168.1.10 "), which is no part of it.
#include <string>
#include <string_view>

/// `text` without the spaces and tabs at its start and end; the ones inside stay.
std::string TrimBlanks(std::string_view text);

/// What a paste of `clipboard` puts into an address field: like any paste into a
/// one-line field, the text up to its first line break, and then without the blanks
/// around it, so that it fits the field's length whole.
std::string PastedAddressText(std::string_view clipboard);
