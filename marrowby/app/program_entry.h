// The program entry of marrowby: system libraries, the main window and the
// message loop.
#pragma once

#include <windows.h>

// Runs the program; returns its exit code.
int ProgramEntry(HINSTANCE instance);

// One message of the loop: offered to the open sheets and the about box
// first, then to the accelerators, then translated and dispatched. A message
// for a window of a sheet that has just been destroyed is dropped.
void ProcessLoopMessage(MSG* message, HWND mainWindow, HACCEL accelerators);

// Runs the loop until WM_QUIT; returns the WM_QUIT's exit code.
int RunMessageLoop(HWND mainWindow, HACCEL accelerators);
