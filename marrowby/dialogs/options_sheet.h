// The modeless program options sheet: receive time-out, downloads at once,
// automatic start and removal of completed downloads. GUI thread only.
#pragma once

#include <windows.h>

// 0 opened; 1 already open or the sheet could not be created.
int ShowProgramOptionsSheet();

// The open sheet, or null.
HWND ProgramOptionsSheet();
