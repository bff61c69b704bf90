#include "app/main_dialog-win32.h"

#include "app/about_dialog-win32.h"
#include "app/start_fill-win32.h"
#include "app/wake_command-win32.h"
#include "app/check_command-win32.h"
#include "app/mac_resolution-win32.h"
#include "resource.h"

namespace {

// Dialog results are not read by anybody; every dialog ends with this one.
constexpr INT_PTR kDialogResult = 51;

struct EditLimit {
    int id;
    WPARAM characters;
};
// Set in this order at start-up; the local MAC list keeps the system default.
constexpr EditLimit kEditLimits[] = {
    {IDC_IP_ADDRESS, 15},
    {IDC_MAC_ADDRESS, 17},
    {IDC_CHECK_IP, 15},
    {IDC_PASSWORD, 6},
};

void OnInitDialog(HWND dialog) {
    // LoadIconA gives a shared icon: the window keeps using it, and
    // DestroyIcon leaves a shared icon alone.
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    DestroyIcon(icon);

    for (const EditLimit& limit : kEditLimits) {
        SendDlgItemMessageA(dialog, limit.id, EM_LIMITTEXT, limit.characters, 0);
    }
    FillMainDialog(dialog);
}

// WM_CLOSE and WM_DESTROY alike. The close box runs this twice (WM_CLOSE ends
// the dialog, whose destruction then sends WM_DESTROY); "Exit" runs it once.
void OnClose(HWND dialog) {
    SaveLastIp(dialog);
    EndDialog(dialog, kDialogResult);
}

void OnCommand(HWND dialog, int control) {
    switch (control) {
    case IDC_ABOUT:
        AboutCommand(dialog);
        break;
    case IDC_CONTRIBUTE:
        ContributeCommand(dialog);
        break;
    case IDC_CHECK:
        CheckCommand(dialog);
        break;
    case IDC_GET_MAC:
        GetMacCommand(dialog);
        break;
    case IDC_TURN_ON:
        TurnOnCommand(dialog);
        break;
    case IDC_EXIT:
        // The WM_DESTROY that follows saves the last IP and ends the dialog.
        DestroyWindow(dialog);
        break;
    default:
        // IDOK and IDCANCEL (Enter, Escape) and anything unknown do nothing.
        break;
    }
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return FALSE;
    case WM_CLOSE:
    case WM_DESTROY:
        OnClose(dialog);
        return FALSE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wparam));
        return FALSE;
    default:
        return FALSE;
    }
}
