// Hands over to the updater, tidewell.exe beside the program.
#pragma once

#include <windows.h>

// Starts tidewell.exe from the program folder and closes the main window
// (which saves everything). When it cannot be started, says so (string 4)
// and the program keeps running.
void LaunchUpdater(HWND window);
