#pragma once
#include <windows.h>

/// The main dialog's "Check" button: reads the check field (IDC_CHECK_IP), validates
/// it, probes it for up to 500 ms and shows the outcome in a message box owned by
/// `dlg`. Runs on the dialog's thread and holds it for the wait.
void CheckCommand(HWND dlg);
