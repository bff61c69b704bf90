#pragma once
// A run with arguments on Windows: the dialog's flows with this computer's network,
// cache and clock, and its report shown where Windows lets it be seen: a redirected
// standard output, the parent's console, a message box or nowhere (ChooseOutputPlace).
#include <string>
#include <vector>

#include "app/command_line.h"

/// Runs the request the arguments make (never kDialog: the caller opens the dialog for
/// no arguments), shows its report and returns the exit code; /listen writes its lines
/// as they come where that can be read, else shows them in a box at its end. Needs
/// WSAStartup.
int RunCommandLine(const std::vector<std::string>& arguments);

/// The probes ChooseOutputPlace asks, answered by this process's surroundings.
OutputProbes SystemOutputProbes();

/// Writes or shows `report` where ChooseOutputPlace puts it; a box is modal and owned
/// by nobody. Returns when it is shown (a box: when it is closed); a failed write is
/// not reported anywhere, the exit code still tells.
void ShowCommandReport(const CommandReport& report);
