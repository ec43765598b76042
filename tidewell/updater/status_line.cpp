#include "tidewell/updater/status_line.h"

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/bounded_text.h"
#include "tidewell/resources/resource.h"
#include "tidewell/updater/fetch_names.h"
#include "tidewell/updater/logo_surface.h"

namespace {

constexpr int kStringSize = 256;  // 255 characters and the terminator

struct TextRect {
    int x;
    int y;
    int width;
    int height;
};

// One buffer for every status text, written only on the GUI thread.
char g_statusBuffer[kStatusBufferSize];
TextRect g_lastText = {0, 0, 1, 1};
// A worker's text waiting for the GUI thread; whoever takes it frees it.
std::atomic<char*> g_posted{nullptr};

void DrawStatusBuffer(UpdaterContext* context)
{
    context->statusText = g_statusBuffer;
    int length = static_cast<int>(std::strlen(g_statusBuffer));
    SIZE size = {0, 0};
    GetTextExtentPoint32A(context->windowDc, g_statusBuffer, length, &size);
    g_lastText = TextRect{kStatusX, kStatusY, size.cx, size.cy};
    TextOutA(context->windowDc, kStatusX, kStatusY, g_statusBuffer, length);
}

}  // namespace

void SetStatus(UpdaterContext* context, int id)
{
    BitBlt(context->windowDc, kStatusX, kStatusY, g_lastText.width, g_lastText.height, LogoSurfaceDc(), g_lastText.x,
           g_lastText.y, SRCCOPY);
    char text[kStringSize];
    if (LoadStringA(context->instance, id, text, kStringSize) <= 0) text[0] = '\0';
    std::snprintf(g_statusBuffer, sizeof(g_statusBuffer), "%s", text);
    DrawStatusBuffer(context);
}

void DrawProgressText(UpdaterContext* context, const char* text)
{
    mw_text::Copy(g_statusBuffer, text);
    DrawStatusBuffer(context);
}

void ShowDownloadProgress(UpdaterContext* context, uint32_t received, uint32_t total)
{
    char text[64];
    if (total != 0) {
        uint32_t percent = DownloadPercent(received, total);
        SendMessageA(context->progressBar, PBM_SETPOS, percent, 0);
        std::snprintf(text, sizeof(text), "%10u / %10u ( %u%% )", received, total, percent);
    } else {
        char format[kStringSize];
        if (LoadStringA(context->instance, IDS_RECEIVED_BYTES, format, kStringSize) <= 0) mw_text::Copy(format, "%u");
        std::snprintf(text, sizeof(text), format, received);
    }
    DrawProgressText(context, text);
}

void SetButton(UpdaterContext* context, int id, bool show)
{
    if (!show) {
        ShowWindow(context->button, SW_HIDE);
        return;
    }
    char text[kStringSize];
    if (LoadStringA(context->instance, id, text, kStringSize) <= 0) text[0] = '\0';
    SetWindowTextA(context->button, text);
    ShowWindow(context->button, SW_SHOW);
}

void ShowProgressBar(UpdaterContext* context, bool show)
{
    ShowWindow(context->progressBar, show ? SW_SHOW : SW_HIDE);
}

void RedrawStatusText(UpdaterContext* context)
{
    if (context->statusText)
        TextOutA(context->windowDc, kStatusX, kStatusY, context->statusText,
                 static_cast<int>(std::strlen(context->statusText)));
}

void PostStatusText(HWND window, const char* text)
{
    size_t length = std::strlen(text);
    if (length >= kStatusBufferSize) length = kStatusBufferSize - 1;
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (!copy) return;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    std::free(g_posted.exchange(copy));
    PostMessageA(window, WM_STATUS_TEXT, 0, 0);
}

void ShowPostedStatusText(UpdaterContext* context)
{
    char* text = g_posted.exchange(nullptr);
    if (!text) return;
    DrawProgressText(context, text);
    std::free(text);
}

void DropPostedStatusText()
{
    std::free(g_posted.exchange(nullptr));
}
