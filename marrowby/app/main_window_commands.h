// Commands and notifications that reach the main window.
#pragma once

#include <windows.h>
#include <commctrl.h>

// Performs a menu, toolbar or accelerator command (the command id).
void OnCommand(HWND window, WORD command);

// Answers the toolbar's tooltip requests. Returns 0.
LRESULT OnNotify(HWND window, NMHDR* header);
