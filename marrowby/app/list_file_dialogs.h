// The common file dialogs of the file menu: open a list, save it under a new
// name, import a URL list. GUI thread only.
#pragma once

#include <stddef.h>
#include <windows.h>

enum ListFileDialog {
    kOpenListDialog,    // open dialog, list file filters
    kSaveListDialog,    // save dialog, list file filters, ".wrg" added
    kImportListDialog,  // open dialog, URL list filters
};

// Shows the dialog owned by owner. Returns true and the chosen path, cut to
// capacity, or false when it was cancelled.
bool ChooseListFile(HWND owner, ListFileDialog dialog, char* path, size_t capacity);

// Appends ".wrg" to path when fileName (the chosen name without its folder)
// has no "."; a path with no room for it is left as it is.
void AddListExtension(char* path, size_t capacity, const char* fileName);
