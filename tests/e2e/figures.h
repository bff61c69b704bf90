#pragma once
// What the benchmark and timing cases measure: a monotonic clock, medians, and a
// process's threads and handles as the system lists them.
#include <windows.h>

#include <vector>

namespace e2e {

/// Milliseconds on the performance counter.
double NowMs();

double Median(std::vector<double> values);

/// Whether figures were asked for (TARVEX_BENCH=1): the Bench cases skip otherwise.
bool BenchRequested();

struct ProcessCounts {
    int threads = -1;
    int handles = -1;
};

/// The threads of a process from the process list, and its open handles counted one
/// by one in the system's handle list: under Wine GetProcessHandleCount always says 0
/// and the process list's handle count is the size of the handle table, not its use.
/// -1 for what could not be read.
ProcessCounts CountsOf(DWORD pid);

}  // namespace e2e
