// The GUI-thread side of the job reports: state changes, row updates and the
// scheduling passes that follow them.
#include <string.h>

#include <windows.h>
#include <commctrl.h>

#include "marrowby/app/app_messages.h"
#include "marrowby/app/download_list_internal.h"
#include "marrowby/app/settings.h"
#include "marrowby/engine/bounded_text.h"
#include "marrowby/engine/path_helpers.h"

namespace {

constexpr size_t kSavedPathSize = kItemFolderSize + 1 + kItemFileNameSize;

void OnResponse(DownloadItem* item) {
    LVITEMA lv = {};
    lv.mask = LVIF_TEXT | LVIF_IMAGE;
    lv.iItem = item->row;
    lv.pszText = item->fileName;
    lv.iImage = kIconReceiving;
    SendMessageA(ListState().listControl, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&lv));
    if (item->size != 0) SetRowNumber(item->row, kColumnSize, item->size);
    SetRowNumber(item->row, kColumnDownloaded, item->downloaded);
    SetRowNumber(item->row, kColumnTries, item->tries);
}

void OnTimedOut(DownloadItem* item) {
    item->state = ItemState::Paused;
    ReleaseJob(item);
    ShowElapsed(item);
    SetRowIcon(item->row, kIconPaused);
}

void OnFailed(DownloadItem* item) {
    item->state = ItemState::Failed;
    ReleaseJob(item);
    SetRowIcon(item->row, kIconFailed);
    RunScheduler();
}

// Folder with exactly one trailing backslash (when not empty), then fileName.
void ComposeSavedPath(const DownloadItem* item, char* out, size_t capacity) {
    mw_text::Copy(out, capacity, item->folder);
    if (out[0] != '\0') AppendFolderSeparator(out, capacity);
    size_t length = strlen(out);
    mw_text::Copy(out + length, capacity - length, item->fileName);
}

void OnFinished(DownloadItem* item) {
    DownloadListState& list = ListState();
    item->state = ItemState::Completed;
    SetRowNumber(item->row, kColumnDownloaded, item->downloaded);
    ShowElapsed(item);
    SetRowIcon(item->row, kIconCompleted);

    char savedPath[kSavedPathSize];
    ComposeSavedPath(item, savedPath, sizeof(savedPath));
    if (g_settings.removeOnSuccess != 0) {
        RemoveItem(item->row, item);
        if (RenumberRows() != 0) return;
    } else {
        ReleaseJob(item);
    }
    if (list.callback != nullptr) {
        HostNotice notice = {kNoticeDownloadCompleted, list.window, savedPath};
        list.callback(&notice, list.context);
    }
    if (g_settings.autoStart != 0) RunScheduler();
}

// A report of a run whose job is already gone (it timed out, was paused, or
// its start failed). Only a failure report may still matter: a start that
// failed on an unresolvable host reports it, and the pass it asks for lets
// the items behind the failed one start.
void OnLateReport(UINT message, const DownloadItem* item) {
    if (message == WM_ITEM_FAILED && item->state == ItemState::Failed) RunScheduler();
}

}  // namespace

bool HandleListMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    if (message == WM_ADD_URL) {
        AddUrl(reinterpret_cast<const char*>(lParam), nullptr, nullptr, nullptr);
        if (g_settings.autoStart != 0) RunScheduler();
        return true;
    }
    if (message < kFirstListMessage || message > kLastListMessage) return false;
    DownloadItem* item = ItemOfTicket(static_cast<uint32_t>(lParam));
    if (item == nullptr) return true;  // the item is gone or has started again
    if (item->job == nullptr || item->state != ItemState::Running) {
        OnLateReport(message, item);
        return true;
    }
    switch (message) {
    case WM_ITEM_RESPONSE: OnResponse(item); break;
    case WM_ITEM_PROGRESS:
        SetRowNumber(item->row, kColumnDownloaded, item->downloaded);
        ShowElapsed(item);
        break;
    case WM_ITEM_TICK: ShowElapsed(item); break;
    case WM_ITEM_TIMED_OUT: OnTimedOut(item); break;
    case WM_ITEM_FAILED: OnFailed(item); break;
    case WM_ITEM_FINISHED: OnFinished(item); break;
    default: break;
    }
    return true;
}
