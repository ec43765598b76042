// Applying the update: extracting the downloaded archive into the install
// folder on a worker thread of its own, which reports its end with
// WM_APPLY_DONE and hands its progress lines to the window with
// PostStatusText.
#pragma once

#include "tidewell/updater/updater_context.h"

enum ApplyStartResult {
    kApplyStarted = 0,
    kApplyNoStopEvent = 1,
    kApplyNoThread = 2
};

// Starts the extraction of the context's archive (download folder and
// archive file name) into its install folder.
int StartApply(UpdaterContext* context);
// Signals the worker to stop after its current entry and waits until it has
// ended; nothing happens when none runs.
void StopApply();
