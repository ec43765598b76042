// Commands and notifications that reach the main window.
#pragma once

#include <windows.h>
#include <commctrl.h>

// Performs a menu, toolbar or accelerator command (the command id).
void OnCommand(HWND window, WORD command);

// Answers the toolbar's tooltip requests and acts on the Delete key and on
// double-clicks in the list control. Returns 0.
LRESULT OnNotify(HWND window, NMHDR* header);

// Gives the list control the focus and selects every row.
void SelectAll();
