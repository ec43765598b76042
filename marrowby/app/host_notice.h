// Notices that the main window and its sheets give to the program that hosts
// them. The callback runs on the GUI thread; its result is ignored.
#pragma once

#include <stdint.h>
#include <windows.h>

enum HostNoticeKind : int32_t {
    kNoticeSheetOpened = 0,         // window: the sheet
    kNoticeSheetClosed = 1,         // window: the sheet
    kNoticeDownloadCompleted = 2,   // window: the main window; path: the saved file
    kNoticeMainWindowDestroyed = 3  // window: the main window
};

struct HostNotice {
    int32_t kind;  // a HostNoticeKind
    HWND window;
    const char* path;  // full path of the saved file for kind 2, else null;
                       // valid only during the call
};

typedef int (*HostCallback)(const HostNotice* notice, void* context);
