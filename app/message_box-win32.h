#pragma once
// The program's message boxes. Their texts are UTF-8 (a list's labels may be anything):
// shown through MessageBoxW, since MessageBoxA would read them in the system's code page.
#include <windows.h>

#include "app/main_dialog_view.h"  // Message

/// A box with an OK button, owned by `owner` (none: a box of its own), showing
/// `message`'s text, caption and icon; returns what MessageBoxW returns.
int ShowMessageBox(HWND owner, const Message& message);
