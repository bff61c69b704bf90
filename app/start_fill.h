#pragma once
#include <windows.h>

/// Fills the main dialog's fields when it opens.
void FillMainDialog(HWND dialog);

/// Remembers the IP address field for the next start.
void SaveLastIp(HWND dialog);
