#include "app/progress_dialog-win32.h"

#include <commctrl.h>

#include <string>

#include "app/dialog_result-win32.h"
#include "resource.h"

namespace {

constexpr UINT_PTR kTimerId = 275;
constexpr UINT kTickMs = 100;
constexpr int kSteps = 25;
constexpr int kPercentPerStep = 100 / kSteps;
constexpr DWORD kFullPauseMs = 200;

void OnInitDialog(HWND dialog) {
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, kSteps));
    // Without its timer the dialog could never end (it has no close box), and the
    // wake that waits for it would never send: end it now instead.
    if (SetTimer(dialog, kTimerId, kTickMs, nullptr) == 0) EndDialog(dialog, kDialogResult);
}

// The dialog has only the one timer, so the tick's identifier is not examined.
void OnTimer(HWND dialog) {
    const int position = static_cast<int>(SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0));
    if (position >= kSteps) {
        KillTimer(dialog, kTimerId);
        // Lets the full bar be seen before the dialog goes.
        Sleep(kFullPauseMs);
        EndDialog(dialog, kDialogResult);
        return;
    }
    const int next = position + 1;
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(next), 0);
    const std::string percent = std::to_string(next * kPercentPerStep) + "%";
    SetDlgItemTextA(dialog, IDC_PERCENT, percent.c_str());
}

}  // namespace

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return FALSE;
    case WM_TIMER:
        OnTimer(dialog);
        return FALSE;
    case WM_CLOSE:
    case WM_DESTROY:
        // The timer goes with the window.
        EndDialog(dialog, kDialogResult);
        return FALSE;
    default:
        return FALSE;
    }
}

void RunProgressDialog(HWND owner) {
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS), owner, ProgressDialogProc, 0);
}
