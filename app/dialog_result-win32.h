#pragma once
#include <windows.h>

/// Every dialog of the program ends with this result, which nobody reads.
constexpr INT_PTR kDialogResult = 51;
