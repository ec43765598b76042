// Window messages of the main window that belong to the download list.
// The values are WM_APP (0x8000) + 100 to + 106; they are spelled out so that
// this header needs no system headers.
#pragma once

// Posted by a download's job callback: wParam is the job's callback code,
// lParam the run ticket of the item (see download_list.h), never a pointer,
// so that a message still queued after its item went away finds nothing.
constexpr unsigned int WM_ITEM_FINISHED = 0x8064;
constexpr unsigned int WM_ITEM_PROGRESS = 0x8065;
constexpr unsigned int WM_ITEM_RESPONSE = 0x8066;
constexpr unsigned int WM_ITEM_TIMED_OUT = 0x8067;
constexpr unsigned int WM_ITEM_FAILED = 0x8068;
// Sent synchronously by the drop target: wParam 0, lParam the URL text
// (NUL-terminated, valid only during the call).
constexpr unsigned int WM_ADD_URL = 0x8069;
constexpr unsigned int WM_ITEM_TICK = 0x806A;

constexpr unsigned int kFirstListMessage = WM_ITEM_FINISHED;
constexpr unsigned int kLastListMessage = WM_ITEM_TICK;
