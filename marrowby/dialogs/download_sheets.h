// The three modeless download property sheets: a new download, the
// properties of the selected download, and the default folder, login and
// proxy of new downloads. Each exists at most once at a time, is registered
// with the sheet registry through the host's notices and is destroyed by the
// registry's filter once OK or Cancel was pressed. GUI thread only.
#pragma once

#include <windows.h>

struct DownloadItem;

// 0 opened; 1 already open or the sheet could not be created.
int ShowNewDownloadSheet();
// Opens the sheet of the first selected row. 0 opened or nothing selected;
// 1 already open or not created; 2 the row's item could not be read.
int ShowDownloadPropertiesSheet();
// 0 opened; 1 already open or not created.
int ShowDefaultPropertiesSheet();

// The open sheets, or null.
HWND NewDownloadSheet();
HWND DownloadPropertiesSheet();
HWND DefaultPropertiesSheet();
// The download the open properties sheet edits, or null. Removing that
// download from the list closes the sheet first.
DownloadItem* DownloadPropertiesItem();
