// The modeless program options sheet: receive time-out, downloads at once,
// automatic start and removal of completed downloads. GUI thread only.
#pragma once

#include <stdint.h>
#include <windows.h>

// 0 opened; 1 already open or the sheet could not be created.
int ShowProgramOptionsSheet();

// The open sheet, or null.
HWND ProgramOptionsSheet();

// The values the page accepts: a negative time-out means the default 60 s,
// at most 7,200 s; a negative limit means 1, at most 100.
int32_t AcceptedIdleTimeoutSeconds(int32_t entered);
int32_t AcceptedMaxSimultaneous(int32_t entered);
