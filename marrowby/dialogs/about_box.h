// The modeless about box. GUI thread only.
#pragma once

#include <windows.h>

// Opens the about box owned by owner (the main window) and shows it.
// 0 shown, or the box could not be created (nothing is reported);
// 1 it is already open.
int ShowAboutBox(HWND owner);

// The open about box, or null.
HWND AboutBoxWindow();

// Gives the open about box its keyboard interface (Enter, Esc, Tab) from the
// message loop; true when the message was meant for the box and handled.
bool HandleAboutBoxMessage(MSG* message);
