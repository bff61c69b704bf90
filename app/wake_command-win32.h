#pragma once
#include <windows.h>

#include <memory>

/// What the wake command hands to its watcher. The watcher owns it alone.
struct WakeTarget {
    char ip[20];  // the IP text as typed (at most 15 characters), NUL-terminated
    HWND owner;   // the main dialog: owner of the report's message box
};

/// The main dialog's "Turn on PC" button: reads the IP, MAC and password fields of
/// `dialog`, and wakes the machine (see RunTurnOnCommand). Holds the dialog thread for
/// the progress dialog only; the watcher runs detached.
void TurnOnCommand(HWND dialog);

/// The wake watcher's thread routine: waits a minute, probes `target->ip` and shows
/// its report in a message box owned by `target->owner`. Releases the record on every
/// path out.
void WakeWatcherThread(std::unique_ptr<WakeTarget> target);
