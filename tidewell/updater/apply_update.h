// Applying the update: extracting the downloaded archive into the install
// folder on a worker thread of its own, which reports its end with
// WM_APPLY_DONE (wParam: an ApplyOutcome) and hands its progress lines to
// the window with PostStatusText.
#pragma once

#include "tidewell/updater/updater_context.h"

enum ApplyStartResult { kApplyStarted = 0, kApplyNoStopEvent = 1, kApplyNoThread = 2 };

// Starts the extraction of the context's archive (download folder and
// archive file name) into its install folder.
int StartApply(UpdaterContext* context);
// Signals the worker to stop and waits until it has ended; nothing happens
// when none runs. A stopped extraction changes nothing.
void StopApply();
// Waits for a worker that has reported its end and releases its handles.
void EndApply();

// Removes the staging folder an earlier run left in installFolder: the
// updater's replaced program file, which could not be deleted while it ran.
void RemoveApplyLeftovers(const char* installFolder);

// GUI thread, on WM_APPLY_DONE (apply_done.cpp): rewrites the information
// file and starts the updated program, or shows why not.
void OnApplyDone(UpdaterContext* context, WPARAM outcome);
// Writes the fetched record as the information file (through a temporary
// file beside it): 0, 1 no name or not created, 2 not all bytes written.
int WriteInformationFile(const UpdaterContext* context);
