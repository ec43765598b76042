// Child controls of the main window, created by CreateMainWindow.
#pragma once

#include <windows.h>
#include <commctrl.h>

// The toolbar with its eight buttons and tooltips; null on failure.
HWND CreateMainToolbar(HWND mainWindow, HINSTANCE instance);

// The report-view list control; null on failure.
HWND CreateMainListControl(HWND mainWindow, HINSTANCE instance);

// Grid lines, full-row selection and the six columns with the given headings.
void SetUpListColumns(HWND list, const char* const headings[]);

// The six state icons as the list control's small images; null on failure.
HIMAGELIST CreateStateImages(HWND list, HINSTANCE instance);

// Places the toolbar across the top and the list control below it.
void LayOutMainWindow(HWND toolbar, HWND list, WPARAM sizeType, int width, int height);
