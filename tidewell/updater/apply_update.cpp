#include "tidewell/updater/apply_update.h"

#include <cstdio>

#include "common/bounded_text.h"
#include "tidewell/resources/resource.h"
#include "tidewell/updater/apply_archive.h"

namespace {

// The one extraction of a run; both handles none while no worker exists.
HANDLE g_stopEvent = nullptr;
HANDLE g_worker = nullptr;
ApplyJob g_job;

DWORD WINAPI ApplyWorker(void* /*parameter*/)
{
    ApplyOutcome outcome = ApplyArchive(&g_job);
    // The last thing the worker does: the GUI may take over at once.
    PostMessageA(g_job.window, WM_APPLY_DONE, static_cast<WPARAM>(outcome), 0);
    return 0;
}

}  // namespace

int StartApply(UpdaterContext* context)
{
    if (g_worker) return kApplyNoThread;  // one extraction per run
    int length = std::snprintf(g_job.archivePath, sizeof(g_job.archivePath), "%s%s", context->downloadFolder,
                               context->archiveFileName);
    if (length < 0 || static_cast<size_t>(length) >= sizeof(g_job.archivePath)) return kApplyNoThread;
    mw_text::Copy(g_job.installFolder, context->installFolder);
    if (LoadStringA(context->instance, IDS_UPDATING_FILES, g_job.progressLabel, kProgressLabelSize) <= 0)
        g_job.progressLabel[0] = '\0';
    g_job.window = context->mainWindow;
    g_stopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!g_stopEvent) return kApplyNoStopEvent;
    g_job.stopEvent = g_stopEvent;
    g_worker = CreateThread(nullptr, 0, ApplyWorker, nullptr, 0, nullptr);
    if (!g_worker) {
        CloseHandle(g_stopEvent);
        g_stopEvent = nullptr;
        return kApplyNoThread;
    }
    return kApplyStarted;
}

void StopApply()
{
    if (!g_worker) return;
    SetEvent(g_stopEvent);
    EndApply();
}

void EndApply()
{
    if (!g_worker) return;
    WaitForSingleObject(g_worker, INFINITE);
    CloseHandle(g_worker);
    CloseHandle(g_stopEvent);
    g_worker = g_stopEvent = nullptr;
}

void RemoveApplyLeftovers(const char* installFolder)
{
    StageFolders folders;
    if (SetStageFolders(installFolder, &folders) && GetFileAttributesA(folders.root) != INVALID_FILE_ATTRIBUTES)
        RemoveTree(folders.root);
}
