// The notification-area icon of the main window and its balloons, which tell
// of downloads that end while the window is in the background. The icon is
// added with the first balloon and taken away with the window. GUI thread
// only.
#pragma once

#include <windows.h>

// The icon's callback message to the main window.
constexpr UINT WM_TRAY_ICON = WM_APP + 150;

// Shows a balloon for the item's end (the file's name, or its address while
// it has none, and on a line of its own why it failed when reason is not
// empty) unless balloons are off in the options or a window of this program
// is in the foreground. Returns true when a balloon was shown.
bool ShowRunEndBalloon(HWND mainWindow, const char* name, const char* reason, bool failed);

// Handles WM_TRAY_ICON: a click on the icon or its balloon brings the main
// window back to the front.
void OnTrayIcon(HWND mainWindow, LPARAM event);

// Takes the icon away, if it was added.
void RemoveTrayIcon(HWND mainWindow);
