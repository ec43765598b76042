// The GUI-thread side of the job reports: state changes, row updates and the
// scheduling passes that follow them.
#include <windows.h>
#include <commctrl.h>

#include "marrowby/app/app_messages.h"
#include "marrowby/app/download_list_internal.h"
#include "marrowby/app/file_checksum.h"
#include "marrowby/app/list_file.h"
#include "marrowby/app/settings.h"
#include "marrowby/engine/download_job.h"
#include "common/bounded_text.h"
#include "marrowby/resources/resource.h"

namespace {

constexpr size_t kSavedPathSize = kItemFolderSize + 1 + kItemFileNameSize;

// A download runs this long under a name the list file does not hold yet
// before the list is written; a shorter run costs little to fetch again.
constexpr uint32_t kNameSaveDelayMs = 2000;

// The list file is written once a new download has run a while, not only at
// exit: killed before that, the next start would not know its file and its
// segments' state, and would fetch it all again under another name. A
// failed write is told by the save at exit.
void KeepNewFileName(DownloadItem* item)
{
    if (!item->nameUnsaved || !item->responded || item->fileName[0] == '\0') return;
    if (GetTickCount() - item->startTick < kNameSaveDelayMs) return;
    item->nameUnsaved = false;
    if (!ListFileRefused()) WriteListFile(g_settings.listPath);
}

// The speed is measured from the first byte of this response: a resume's
// bytes already present do not count.
void OnResponse(DownloadItem* item)
{
    item->responded = true;
    if (item->rate != nullptr) ResetRate(*item->rate, GetTickCount(), ItemCount(item->downloaded));
    SetRowIcon(item->row, kIconReceiving);
}

void ShowProgress(DownloadItem* item)
{
    KeepNewFileName(item);
    if (item->rate != nullptr) AddRateSample(*item->rate, GetTickCount(), ItemCount(item->downloaded));
    ShowElapsed(item);
    ShowOverallProgress(false);
}

void OnTimedOut(DownloadItem* item)
{
    item->failure = JobFailureTimedOut;
    item->failureDetail = 0;
    EndItemRun(item, item->row, ItemState::Paused, kIconPaused);
    ShowElapsed(item);
}

// A job that closed without failing may still have failed the download: a
// file whose checksum differs, or a size other than the one promised.
void NoteClosedFailure(DownloadItem* item)
{
    int64_t size = ItemCount(item->size);
    int64_t downloaded = ItemCount(item->downloaded);
    if (item->checksum[0] != '\0' && item->checksumResult != kChecksumMatched) {
        item->failure = JobFailureChecksum;
    } else if (size > 0 && downloaded < size) {
        item->failure = JobFailureShortBody;
    } else if (size > 0 && downloaded > size) {
        item->failure = JobFailureSizeMismatch;
    }
}

// The server's file changed between segments: what is here belongs to the
// old one, so the download starts again from byte 0 (once per run).
bool RestartChangedFile(DownloadItem* item)
{
    if (item->failure != JobFailureFileChanged || item->changeRestarts > 0) return false;
    EndItemRun(item, item->row, ItemState::Waiting, kIconWaiting);
    SetItemSegments(item, nullptr);
    SetItemCount(item->downloaded, 0);
    SetItemEntityTag(item, nullptr);
    item->lastModified = 0;
    ++item->changeRestarts;
    return StartItem(item->row) == 0;
}

void OnFailed(DownloadItem* item, WPARAM code)
{
    item->failure = item->job->LastFailure();
    item->failureDetail = item->job->LastFailureDetail();
    if (code == JobClosed) NoteClosedFailure(item);
    if (RestartChangedFile(item)) return;
    EndItemRun(item, item->row, ItemState::Failed, kIconFailed);
    ReportRunEnd(item, true);
    RunScheduler();
}

void OnFinished(DownloadItem* item)
{
    item->changeRestarts = 0;
    DownloadListState& list = ListState();
    item->state = ItemState::Completed;
    char savedPath[kSavedPathSize];
    SeparatedItemFolder(item, savedPath, sizeof(savedPath));
    mw_text::Append(savedPath, sizeof(savedPath), item->fileName);
    ReportRunEnd(item, false);
    if (g_settings.removeOnSuccess != 0) {
        // The row goes, so it is not updated first.
        RemoveItem(item->row, item);
        if (RenumberRows() != 0) return;
    } else {
        ShowProgress(item);
        EndItemRun(item, item->row, ItemState::Completed, kIconCompleted);
    }
    ShowOverallProgress(true);
    HostNotice notice = {kNoticeDownloadCompleted, list.window, savedPath};
    NotifyListHost(notice);
    if (g_settings.autoStart != 0) RunScheduler();
}

// A report of a run whose job is already gone (it timed out, was paused, or
// its start failed). Only a failure report may still matter: a start that
// failed on an unresolvable host reports it, and the pass it asks for lets
// the items behind the failed one start.
void OnLateReport(UINT message, const DownloadItem* item)
{
    if (message == WM_ITEM_FAILED && item->state == ItemState::Failed) RunScheduler();
}

// A dropped URL is refused, never cut.
void ShowUrlTooLong()
{
    char text[256];
    if (LoadStringA(GetModuleHandleA(nullptr), IDS_URL_TOO_LONG, text, sizeof(text)) <= 0) text[0] = '\0';
    MessageBoxA(ListState().window, text, nullptr, MB_OK);
}

}  // namespace

bool HandleListMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ADD_URL) {
        if (AddUrl(reinterpret_cast<const char*>(lParam), nullptr, nullptr, nullptr) == 3) {
            ShowUrlTooLong();
        }
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
    case WM_ITEM_PROGRESS: ShowProgress(item); break;
    case WM_ITEM_TICK: ShowProgress(item); break;
    case WM_ITEM_TIMED_OUT: OnTimedOut(item); break;
    case WM_ITEM_FAILED: OnFailed(item, wParam); break;
    case WM_ITEM_FINISHED: OnFinished(item); break;
    default: break;
    }
    return true;
}
