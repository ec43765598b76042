// Drives the main window, its keys and its property sheets through the
// program's own loop step (sheet filter, accelerators, dispatch).
#pragma once

#include <functional>
#include <string>
#include <vector>
#include <windows.h>

#include "tests/ui/window_host.h"

// Runs the loop over arriving messages until done() or timeoutMs.
bool RunLoopUntil(const WindowHost& host, const std::function<bool()>& done, DWORD timeoutMs);
void RunLoopFor(const WindowHost& host, DWORD ms);

void SendCommand(const WindowHost& host, WORD command);
HWND CurrentPage(HWND sheet);
void SetField(HWND page, int id, const std::string& text);
std::string FieldText(HWND page, int id);
// Clicks the sheet's OK or Cancel button (IDOK, IDCANCEL) and runs the loop
// until the sheet is gone; false when it stays. A finished sheet goes with
// the loop's next message: nextMessage posts one, as a key release would,
// for a page that posts nothing itself.
bool CloseSheetWith(const WindowHost& host, HWND sheet, int button, bool nextMessage = false);

void SelectRows(const std::vector<int>& rows);
std::vector<int> SelectedRows();
// One key press as the loop receives it, with modifier (0, VK_MENU or
// VK_CONTROL) held down.
void PressKey(const WindowHost& host, HWND target, UINT key, UINT modifier);
