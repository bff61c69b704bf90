// Prints what /? says (the usage and the exit codes), for the release's text file.
#include <cstdio>

#include "app/command_line.h"

int main() { return std::puts(kUsageText) < 0 ? 1 : 0; }
