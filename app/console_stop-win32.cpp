#include "app/console_stop-win32.h"

#include <windows.h>

#include <atomic>

namespace {

// A console control handler takes no context; the system calls it on a thread of its own.
std::atomic<bool> stop_asked{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
    // Closing the console, logging off, shutting down: the default handler ends the process.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    stop_asked.store(true);
    return TRUE;
}

}  // namespace

ConsoleStop::ConsoleStop() : added_(SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE) {
    stop_asked.store(false);
}

ConsoleStop::~ConsoleStop() {
    if (added_) SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

bool ConsoleStop::Asked() const { return stop_asked.load(); }
