// The list commands of the file menu. A list file that cannot be written or
// read is reported in a message box naming it. GUI thread only.
#pragma once

#include <windows.h>

// Empties the list; the list file stays the same.
void NewList();
// Keeps the shown list in its file, then opens a chosen list file instead.
void OpenList(HWND window);
// Writes the settings and the list (a list file that was refused when read:
// as SaveListAs).
void SaveList(HWND window);
// Saves the list under a chosen name, which becomes the list file.
void SaveListAs(HWND window);
// Adds the URLs of a chosen URL list to the list.
void ImportList(HWND window);

// Message box owned by window with string textId, whose "%s" names the file.
void ShowFileMessage(HWND window, int textId, const char* path);
// The same without an owner, as start-up messages come.
void ShowStartupFileMessage(HINSTANCE instance, int textId, const char* path);
