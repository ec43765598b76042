// The main window of marrowby with everything it owns: toolbar, list
// control, small image list, drop target and accelerator table. It is
// created once per process by a host (the program entry, or a test) and
// torn down, saving the settings and the list, when it is destroyed.
// GUI thread only.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "marrowby/app/host_notice.h"

constexpr int kListControlId = 100;
constexpr int kToolbarId = 101;
constexpr int kColumnCount = 10;

// Creates the main window (not shown) and its controls, loads the settings
// and the list file, and runs a first scheduling pass when automatic start
// is on. A second call returns the existing window and table. Results:
// 0 success, 2 window, 3 accelerators, 4 toolbar, 5 list control,
// 7 image list, 8 no memory for the drop target, 9 drop target not
// registered. quitOnDestroy: the window's destruction posts WM_QUIT.
int CreateMainWindow(HWND parent, HINSTANCE instance, HWND* mainWindow, HACCEL* accelerators, bool quitOnDestroy,
                     HostCallback callback, void* context);

// Window procedure of the class "Tessaline".
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Handles of the current main window; null while there is none.
HWND MainWindow();
HWND MainListControl();
HWND MainToolbar();
HINSTANCE ProgramInstance();
// The registered drop target, held until the window is destroyed.
IDropTarget* MainDropTarget();

// String 2, the user agent and list file header.
const char* ProductString();
// Heading of a list column (strings 17 to 22).
const char* ColumnHeading(int column);

// Hands a notice to the host, when one is set.
void NotifyHost(const HostNotice& notice);
