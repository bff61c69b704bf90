#pragma once
#include <windows.h>

/// Dialog procedure of the progress dialog (template IDD_PROGRESS): fills the bar in
/// 25 ticks of 100 ms, showing 4% to 100%, and ends itself one tick and 200 ms after
/// it is full (about 2.8 s); WM_CLOSE ends it at once. Returns FALSE for every message.
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

/// Runs the progress dialog modally over `owner` and returns when it has ended.
void RunProgressDialog(HWND owner);
