#pragma once
// Pastes into the address fields, without the blanks a copied address brings along.
#include <windows.h>

/// From now on a paste into `edit` puts PastedAddressText of the clipboard's text there,
/// so that " 00-1A-2B-3C-4D-5E " ends up whole in a field of 17 characters instead of cut
/// by the field's limit. Lasts as long as the edit does.
void TrimPastesInto(HWND edit);
