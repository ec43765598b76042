// The rows' context menu and the commands that only it and the Edit menu
// give: open a finished file or its folder, copy addresses, restart from the
// beginning, delete together with the file, and paste addresses from the
// clipboard. They act on the selected rows (the file commands on the first
// of them). GUI thread only.
#pragma once

#include <stddef.h>

#include <windows.h>

// WM_CONTEXTMENU of the list control; position is the message's lParam
// (-1 from the keyboard: the menu opens at the first selected row).
void ShowRowMenu(HWND window, LPARAM position);

void OpenSelectedFile(HWND window);
// Explorer with the file selected in its folder.
void OpenSelectedFolder(HWND window);
// The selected rows' addresses, one a line, as the clipboard's text.
void CopySelectedAddresses(HWND window);
// After the user confirms: every selected download starts again at byte 0.
void RestartSelected(HWND window);
// After the user confirms: the selected downloads leave the list and their
// files are deleted. The only command that deletes files.
void DeleteSelectedWithFiles(HWND window);

// Adds every http or https address found in the clipboard's text (words,
// brackets and other addresses around it left out) and runs a scheduling
// pass when automatic start is on. Returns the number added.
int PasteAddresses(HWND window);
// The same for a text of length bytes (a NUL ends it sooner).
int AddAddressesInText(const char* text, size_t length);
