#pragma once
// Where a run with arguments shows its report, asked of Windows: a redirected standard
// output, the parent's console, a message box or nowhere (ChooseOutputPlace).
#include "app/command_line.h"

/// The probes ChooseOutputPlace asks, answered by this process's surroundings.
OutputProbes SystemOutputProbes();

/// Writes or shows `report` where ChooseOutputPlace puts it; a box is modal and owned
/// by nobody. Returns when it is shown (a box: when it is closed); a failed write is
/// not reported anywhere, the exit code still tells.
void ShowCommandReport(const CommandReport& report);
