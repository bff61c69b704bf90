#pragma once
#include <windows.h>

/// Dialog procedure of the main dialog (template IDD_MAIN). Returns FALSE for
/// every message; buttons are dispatched by control identifier alone.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
