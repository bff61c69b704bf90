#pragma once
// The system's own words for an error code, for a line a person reads.
#include <windows.h>

#include <string>

/// "The system cannot find the file specified (2)": FormatMessage's text without its
/// trailing period and line end, then the number; "error (N)" when the system has no
/// text for it.
std::string SystemErrorText(DWORD error);
