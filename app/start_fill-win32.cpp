#include "app/start_fill-win32.h"

// The fields are filled from the address cache once it exists; until then the
// dialog opens with its edits empty and nothing is remembered.
void FillMainDialog(HWND) {}

void SaveLastIp(HWND) {}
