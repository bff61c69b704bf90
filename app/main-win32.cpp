// Entry point of TARVEX WOL.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "app/command_line-win32.h"
#include "app/main_dialog-win32.h"
#include "net/probe_engine-win32.h"
#include "net/socket-win32.h"
#include "resource.h"

namespace {
// Without arguments the process ends with this code however the main dialog was closed.
constexpr int kExitCode = 24;
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The C runtime has split the command line by the usual quoting rules.
    if (__argc > 1) {
        const std::vector<std::string> arguments(__argv + 1, __argv + __argc);
        WinsockSession winsock;
        const int code = RunCommandLine(arguments);
        StopEveryProbe();
        return code;
    }
    // Only the progress bar class is needed beyond the standard controls.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);
    {
        // A failed start-up is not reported: the dialog opens regardless and
        // the network commands fail in their own way.
        WinsockSession winsock;
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), GetDesktopWindow(), MainDialogProc, 0);
        // The dialog stopped every probe as it closed; this also covers a dialog that
        // could not be created. The engine ends before Winsock does.
        StopEveryProbe();
    }
    return kExitCode;
}
