// Starting downloads: the scheduling pass, the start of one item and the job
// callback that turns reports into window messages.
#include <new>

#include <stdint.h>
#include <stdio.h>

#include "marrowby/app/app_messages.h"
#include "marrowby/app/download_list_internal.h"
#include "marrowby/app/file_checksum.h"
#include "marrowby/app/settings.h"
#include "common/bounded_text.h"
#include "marrowby/engine/download_job.h"

namespace {

// Whether the closed file is the expected one; unchecked without a checksum.
// The checksum is read once: a sheet may change it meanwhile.
ChecksumResult CheckDownloadedFile(const DownloadItem* item)
{
    char expected[kChecksumTextSize];
    CopyItemChecksum(item, expected, sizeof(expected));
    if (expected[0] == '\0') return kChecksumUnchecked;
    char path[kItemFolderSize + 1 + kItemFileNameSize];
    SeparatedItemFolder(item, path, sizeof(path));
    mw_text::Append(path, sizeof(path), item->fileName);
    return CheckFileChecksum(path, expected);
}

const char* LoginOrDefault(const char* own, const char* fallback)
{
    return own[0] != '\0' ? own : fallback;
}

void Post(UINT message, int32_t code, const DownloadItem* item)
{
    PostMessageA(ListState().window, message, static_cast<WPARAM>(code), static_cast<LPARAM>(item->runTicket));
}

// Runs on the job's worker thread (or on the GUI thread inside Start): it
// writes only size, downloaded, fileName and the validators, and leaves every decision to the
// GUI thread, which reads the two numbers through ItemCount.
int32_t OnJobEvent(void* info, int32_t code, int32_t count, void* userValue)
{
    DownloadItem* item = static_cast<DownloadItem*>(userValue);
    if (item == nullptr) return 0;
    switch (code) {
    case JobAccepted: {
        const ResponseSummary* summary = static_cast<const ResponseSummary*>(info);
        if (summary != nullptr) {
            SetItemCount(item->size, summary->totalSize);
            SetItemCount(item->downloaded, summary->rangeFirst);
            SetRunningItemFile(item, summary->fileName, summary->entityTag);
            item->lastModified = summary->lastModified;
        }
        Post(WM_ITEM_RESPONSE, code, item);
        break;
    }
    case JobClosed:
        if (item->downloaded == item->size || item->size == 0) {
            // The file is closed: check it here, on the job's thread. A file
            // that is not the expected one fails and stays for a look.
            item->checksumResult = CheckDownloadedFile(item);
            bool wrong = item->checksumResult != kChecksumUnchecked && item->checksumResult != kChecksumMatched;
            Post(wrong ? WM_ITEM_FAILED : WM_ITEM_FINISHED, code, item);
        } else {
            Post(WM_ITEM_FAILED, code, item);
        }
        break;
    case JobData:
        // Each connection of a segmented download reports from its own thread.
        AddItemCount(item->downloaded, count);
        Post(WM_ITEM_PROGRESS, code, item);
        break;
    case JobTimedOut: Post(WM_ITEM_TIMED_OUT, code, item); break;
    case JobFailed:
    case JobFileError: Post(WM_ITEM_FAILED, code, item); break;
    case JobTick: Post(WM_ITEM_TICK, code, item); break;
    default: break;
    }
    return 0;
}

}  // namespace

void FormatElapsed(uint32_t startTick, uint32_t now, char* out, size_t capacity)
{
    uint32_t elapsedMs = now - startTick;
    unsigned minutes = elapsedMs / 60000u;
    unsigned seconds = (elapsedMs / 1000u) % 60u;
    snprintf(out, capacity, "%u:%02u", minutes, seconds);
}

void ApplyTransferLimits()
{
    GlobalRateLimit().SetRate(static_cast<int64_t>(g_extraSettings.speedLimitKBps) * 1000);
    SetConnectionLimit(g_extraSettings.connectionsAtMost);
}

void SetItemSpeedLimit(DownloadItem* item, int32_t kilobytesPerSecond)
{
    item->speedLimit = kilobytesPerSecond > 0 ? kilobytesPerSecond : 0;
    if (item->job != nullptr) item->job->SetSpeedLimit(static_cast<int64_t>(item->speedLimit) * 1000);
}

void ShowElapsed(DownloadItem* item)
{
    item->elapsedMs = static_cast<int32_t>((GetTickCount() - item->startTick) & 0x7fffffffu);
    RedrawRow(item->row);
}

int StartItem(int row)
{
    DownloadItem* item = ItemOfRow(row);
    if (item == nullptr || item->state != ItemState::Waiting) return 0;
    if (!PrepareItemRun(item)) return 1;
    if (item->job != nullptr) {
        item->job->Stop();
    } else {
        item->job = new (std::nothrow) DownloadJob;
        if (item->job == nullptr) return 1;
    }
    BeginRun(item);  // before the worker exists, so every report carries it
    item->checksumResult = kChecksumUnchecked;
    JobCallbackRegistration registration = {OnJobEvent, item};
    if (item->job->Prepare(&registration) != 0) {
        ReleaseJob(item);
        return 2;
    }
    item->state = ItemState::Running;
    DownloadJob* job = item->job;
    if (g_settings.useProxy != 0) {
        job->SetProxy(g_settings.proxyAddress, kDefaultProxyPort);
    } else {
        job->SetProxy(nullptr, 0);
    }
    job->SetCredentials(LoginOrDefault(item->user, g_settings.defaultUser),
                        LoginOrDefault(item->password, g_settings.defaultPassword));
    job->SetReferer(item->referrer);
    job->SetUserAgent(ListState().product);
    job->SetValidators(item->entityTag, item->lastModified);
    ApplyTransferLimits();
    job->SetSegments(g_extraSettings.segmentsPerItem);
    job->SetSegmentPlan(item->segments);
    job->SetSpeedLimit(static_cast<int64_t>(item->speedLimit) * 1000);
    item->startTick = GetTickCount();
    ShowElapsed(item);
    item->failure = JobFailureNone;
    item->failureDetail = 0;
    item->responded = false;
    item->nameUnsaved = item->fileName[0] == '\0';
    if (job->Start(item->url, item->downloaded, item->folder, item->fileName, g_settings.idleTimeoutMs) == 0) {
        SetRowIcon(row, kIconStarted);
        return 0;
    }
    item->failure = job->LastFailure();
    item->failureDetail = job->LastFailureDetail();
    EndItemRun(item, row, ItemState::Failed, kIconFailed);
    ReportRunEnd(item, true);
    return 3;
}

void RunScheduler()
{
    int32_t limit = g_settings.maxSimultaneous;
    int32_t started = 0;
    for (DownloadItem* item = ListState().first; item != nullptr; item = item->next) {
        if (started >= limit) break;
        if (item->state == ItemState::Running) {
            --limit;
        } else if (item->state == ItemState::Waiting) {
            ++item->tries;
            int result = StartItem(item->row);
            // An address that cannot be fetched fails its own item only;
            // without memory or a worker nothing further can start.
            if (result == 3) continue;
            if (result != 0) break;
            ++started;
        }
    }
}
