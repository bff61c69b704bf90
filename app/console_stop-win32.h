#pragma once
// Ctrl-C and Ctrl-Break for a run that lasts (/listen, a watch on the command line):
// while a ConsoleStop lives, either key asks the run to stop instead of ending the
// process, so that the run can still say what it has. Closing the console, logging off
// and shutting down end the process as always. One at a time per process.

class ConsoleStop {
public:
    /// Installs the handler and clears any earlier request.
    ConsoleStop();
    ~ConsoleStop();
    ConsoleStop(const ConsoleStop&) = delete;
    ConsoleStop& operator=(const ConsoleStop&) = delete;

    /// True once Ctrl-C or Ctrl-Break came. Any thread.
    bool Asked() const;

private:
    bool added_;
};
