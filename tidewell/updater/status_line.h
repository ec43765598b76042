// The window's status line, action button and progress bar. Texts are drawn
// straight into the window's own device context over the logo, at 118, 52.
// Only the GUI thread draws: a worker hands its progress text over with
// PostStatusText, and the window shows it when WM_STATUS_TEXT arrives.
#pragma once

#include <cstdint>

#include "tidewell/updater/updater_context.h"

constexpr int kStatusX = 118;
constexpr int kStatusY = 52;
constexpr size_t kStatusBufferSize = 4096;

// Erases the last text (the logo shows again there) and draws string id.
void SetStatus(UpdaterContext* context, int id);
// Draws text over the last one without erasing first (progress lines).
void DrawProgressText(UpdaterContext* context, const char* text);
// The received count and share of the announced size (none: bytes only).
void ShowDownloadProgress(UpdaterContext* context, uint32_t received, uint32_t total);
// With show: the button gets string id and is shown; without: hidden.
void SetButton(UpdaterContext* context, int id, bool show);
void ShowProgressBar(UpdaterContext* context, bool show);
// Draws the current text again (painting).
void RedrawStatusText(UpdaterContext* context);

// Any thread: hands a progress text to the GUI thread of window. A text not
// yet shown is replaced by the newer one.
void PostStatusText(HWND window, const char* text);
// GUI thread, on WM_STATUS_TEXT: draws the handed-over text, if any, like a
// progress text.
void ShowPostedStatusText(UpdaterContext* context);
// Frees a text that was never shown (window destruction).
void DropPostedStatusText();
