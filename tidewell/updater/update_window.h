// The updater's window: a logo filling the client area, the status line, a
// progress bar and one action button; the idle loop that drives the steps;
// the orderly shutdown.
#pragma once

#include "tidewell/updater/http_fetch.h"
#include "tidewell/updater/updater_context.h"

constexpr int kClientWidth = 328;
constexpr int kClientHeight = 120;
constexpr int kActionButtonId = 100;
constexpr int kProgressBarId = 101;

// The one transfer object of the program.
HttpFetch* UpdaterFetch();

// Registers the class, creates the window with its parts, the transfer
// object (with userAgent) and sets the download folder. Returns 0, or the
// id of the message it has shown after releasing what it made.
int CreateUpdateWindow(UpdaterContext* context, const char* userAgent);

// Until WM_QUIT: dispatches waiting messages; when none waits, runs one step
// and sleeps 16 ms. Returns WM_QUIT's exit code.
int RunUpdateLoop(UpdaterContext* context);

// Cancels the transfer and waits for it, stops the extraction, then destroys
// the window. The action button and the close box both end this way.
void ShutDownUpdater(UpdaterContext* context);

// Releases what outlives the window (the logo surface).
void ReleaseUpdateWindow();

// update_steps.cpp: one pass of the current step; the button's click.
void RunUpdateStep(UpdaterContext* context);
void OnActionButton(UpdaterContext* context);
