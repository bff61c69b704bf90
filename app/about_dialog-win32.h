#pragma once
// The About dialog (template IDD_ABOUT) with its web link, and the "Contribute $"
// command. Both lead to the maker's web site through an internet-shortcut file in
// the current directory (internet_shortcut-win32.h).
#include <windows.h>

/// Handler of "About...": runs the About dialog modally, owned by `main_dialog`, and
/// releases the link's two fonts once it has ended.
void AboutCommand(HWND main_dialog);

/// Handler of "Contribute $": writes "Contribute.url" when it is missing and asks the
/// shell to open it.
void ContributeCommand(HWND main_dialog);

/// Dialog procedure of the About dialog. Returns 0 for every message except the link's
/// WM_CTLCOLORSTATIC, whose answer is the brush to paint it with. Enter and Escape do
/// nothing; only WM_CLOSE (the close box) and WM_DESTROY end the dialog.
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

/// Turns the static control `link` into the web link: subclasses it with
/// HyperlinkWndProc, adds SS_NOTIFY so it reports clicks, and makes its two fonts
/// (the fonts of an earlier opening are released) and loads the hand cursor.
void SetUpHyperlink(HWND link);

/// Window procedure of the web link. Its own messages go on to the static control's
/// procedure; the About dialog also forwards to it the link's WM_CTLCOLORSTATIC (answered
/// with the colours and font of the link's state) and WM_COMMAND (a click writes and
/// opens "Tarvex online.url"; other notifications only make sure the file exists).
LRESULT CALLBACK HyperlinkWndProc(HWND link, UINT message, WPARAM wparam, LPARAM lparam);
