// What the modeless property sheets of marrowby have in common: creation
// owned by the main window, reports to the host, page fields and messages.
// GUI thread only.
#pragma once

#include <stddef.h>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

// Instance that holds the sheets' templates and strings (the main window's).
HINSTANCE SheetInstance();

// A page from a dialog template of the resources.
PROPSHEETPAGEA MakeSheetPage(int templateId, DLGPROC proc, LPARAM param);

// Creates a modeless sheet without an Apply button, owned by the main
// window, with the caption of string captionId, and reports it opened to the
// host. Returns the sheet, or null when it could not be created.
HWND OpenModelessSheet(int captionId, PROPSHEETPAGEA* pages, UINT count);

// Reports the sheet closed to the host.
void ReportSheetClosed(HWND sheet);

// Asked again for a sheet that is open: brings it to the front, where the
// user looks for it (it may lie behind the main window), and returns 1.
int BringOpenSheetForward(HWND sheet);

// Asks the sheet to press one of its buttons once the page's notification
// has returned; the message loop's filter then destroys the finished sheet.
void PressSheetButton(HWND page, int button);

// Answers the sheet's OK (PSN_APPLY) with apply, which takes the page's
// fields and presses OK itself once it is done with them, and its Cancel
// (PSN_RESET) by pressing Cancel. TRUE when the message was one of the two.
INT_PTR AnswerSheetButtons(HWND page, UINT message, LPARAM lParam, void (*apply)(HWND page));

// Reports *sheet closed and forgets it; the pages destroyed after the first
// find it already reported.
void ReportSheetClosedOnce(HWND* sheet);

// Message box with the text of string textId, owned by the page.
void ShowPageMessage(HWND page, int textId);

// Field text cut to capacity bytes (capacity - 1 characters at most), never
// ending in half a double-byte character.
void ReadPageField(HWND page, int id, char* out, size_t capacity);
void LimitPageField(HWND page, int id, int characters);
