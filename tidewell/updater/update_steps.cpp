// The step function: each pass looks at the current step, polls the running
// transfer or starts the next action, updates the status line and button
// and moves on. Steps only move forward; 8 and 9 are final.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tidewell/resources/resource.h"
#include "tidewell/updater/apply_update.h"
#include "tidewell/updater/confirm_dialog.h"
#include "tidewell/updater/publisher_keys.h"
#include "tidewell/updater/status_line.h"
#include "tidewell/updater/update_window.h"
#include "tidewell/updater/version_compare.h"

namespace {

constexpr uint32_t kInfoMemoryLimit = 65536;
constexpr size_t kArchiveUrlSize = 2084;

void EndWith(UpdaterContext* context, int id)
{
    SetStatus(context, id);
    SetButton(context, IDS_BUTTON_EXIT, true);
    context->step = kStepStopped;
}

// Every final failure: its message, the exit button and a failing exit code.
void FailWith(UpdaterContext* context, int id)
{
    context->exitCode = kExitFailed;
    EndWith(context, id);
}

bool TransferFailed(int32_t status)
{
    // A connection or request that never opened is as final as a failure.
    return status == kFetchFailed || status == kFetchNotOpened;
}

void FetchInfo(UpdaterContext* context)
{
    SetStatus(context, IDS_FETCHING_INFO);
    SetButton(context, IDS_BUTTON_CANCEL, true);
    ShowProgressBar(context, false);
    if (HttpFetchStart(UpdaterFetch(), context->infoUrl, nullptr, kInfoMemoryLimit) != kFetchOk) {
        FailWith(context, IDS_BAD_URL);
        return;
    }
    context->step = kStepWaitInfo;
}

// Copies the reply into the fetched record, exactly its size.
void TakeInfo(UpdaterContext* context)
{
    HttpFetch* fetch = UpdaterFetch();
    HttpFetchWait(fetch);
    uint32_t size = 0;
    const uint8_t* reply = HttpFetchBuffer(fetch, &size);
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (!copy) {
        FailWith(context, IDS_NO_MEMORY);
        return;
    }
    if (size) std::memcpy(copy, reply, size);
    context->fetchedRecord = copy;
    context->fetchedSize = size;
    context->step = kStepCompare;
}

void WaitInfo(UpdaterContext* context)
{
    int32_t status = HttpFetchStatus(UpdaterFetch());
    if (status == kFetchDone)
        TakeInfo(context);
    else if (TransferFailed(status))
        FailWith(context, IDS_INFO_NOT_FETCHED);
}

void CompareStep(UpdaterContext* context)
{
    int32_t result = CompareUpdate(context);
    int refusal = result > 0 ? 0 : JudgeFetchedRecord(context, result);
    if (refusal != 0) {
        FailWith(context, refusal);
    } else if (result > 0) {
        FailWith(context, IDS_INFO_INVALID);
    } else if (result == kCompareUnusable) {
        FailWith(context, IDS_INFO_UNSUPPORTED);
    } else if (result == kCompareOtherProduct) {
        FailWith(context, IDS_OTHER_PRODUCT);
    } else {
        context->comparison = result;
        SetStatus(context, IDS_SHOWING_DETAILS);
        SetButton(context, IDS_BUTTON_RUN_UPDATE, true);
        context->step = kStepConfirm;
    }
}

// The archive's URL and folder come from the fetched record's format.
int StartArchiveDownload(UpdaterContext* context)
{
    RecordView fetched = FetchedRecord(*context);
    int32_t format = RecordFormat(fetched);
    const char* folder = context->downloadFolder;
    if (format == 1) {
        if (folder[0] == '\0') folder = nullptr;  // the current folder
    } else if (format != 2) {
        return kFetchBadUrl;
    }
    char url[kArchiveUrlSize];
    RecordText(fetched, RecordArchiveUrlOffset(fetched), url, sizeof(url));
    return HttpFetchStart(UpdaterFetch(), url, folder, 0);
}

void Confirm(UpdaterContext* context)
{
    int declined = ConfirmUpdate(context->mainWindow, context);
    if (!context->mainWindow) return;  // the window was closed while the dialog was open
    if (declined != 0) {
        EndWith(context, IDS_UPDATE_CANCELLED);
        return;
    }
    if (StartArchiveDownload(context) != kFetchOk) {
        FailWith(context, IDS_BAD_URL);
        return;
    }
    SetStatus(context, IDS_BLANK);
    SetButton(context, IDS_BUTTON_CANCEL, true);
    ShowProgressBar(context, true);
    context->step = kStepWaitArchive;
}

void WaitArchive(UpdaterContext* context)
{
    HttpFetch* fetch = UpdaterFetch();
    int32_t status = HttpFetchStatus(fetch);
    if (status == kFetchReceiving || status == kFetchDone)
        ShowDownloadProgress(context, HttpFetchReceived(fetch), HttpFetchContentLength(fetch));
    if (status == kFetchDone) {
        context->step = kStepCheckArchive;
    } else if (TransferFailed(status)) {
        ShowProgressBar(context, false);  // shown only while the archive arrives
        FailWith(context, IDS_ARCHIVE_NOT_FOUND);
    }
}

void CheckArchive(UpdaterContext* context)
{
    ShowProgressBar(context, false);
    HttpFetch* fetch = UpdaterFetch();
    RecordView fetched = FetchedRecord(*context);
    if (RecordFormat(fetched) == 2 && (RecordFlags(fetched) & kRecordFlagCheckCrc) &&
        HttpFetchCrc(fetch) != RecordArchiveCrc(fetched)) {
        // Not what the publisher packed: nothing may ever open it.
        DeleteFileA(fetch->outputPath);
        FailWith(context, IDS_CRC_MISMATCH);
        return;
    }
    HttpFetchFileName(fetch, context->archiveFileName, sizeof(context->archiveFileName));
    char archivePath[2 * kFolderSize];
    std::snprintf(archivePath, sizeof(archivePath), "%s%s", context->downloadFolder, context->archiveFileName);
    if (!ArchiveIsTheSignedOne(*context, archivePath)) {
        FailWith(context, IDS_ARCHIVE_DIGEST_MISMATCH);
        return;
    }
    if (StartApply(context) != kApplyStarted) {
        FailWith(context, IDS_UPDATE_FAILED);
        return;
    }
    SetStatus(context, IDS_UPDATING_FILES);
    SetButton(context, 0, false);
    context->step = kStepApplying;
}

}  // namespace

void RunUpdateStep(UpdaterContext* context)
{
    if (!context->mainWindow) return;
    switch (context->step) {
    case kStepFetchInfo: FetchInfo(context); break;
    case kStepWaitInfo: WaitInfo(context); break;
    case kStepCompare: CompareStep(context); break;
    case kStepConfirm: Confirm(context); break;
    case kStepWaitArchive: WaitArchive(context); break;
    case kStepCheckArchive: CheckArchive(context); break;
    default:  // applying, finished, stopped: nothing to do
        break;
    }
}

void OnActionButton(UpdaterContext* context)
{
    switch (context->step) {
    case kStepFetchInfo:
    case kStepWaitInfo:
    case kStepWaitArchive:
    case kStepFinished:
    case kStepStopped: ShutDownUpdater(context); break;
    default:  // comparing, confirming, checking, applying: the click waits
        break;
    }
}
