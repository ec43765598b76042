#include "tidewell/updater/update_window.h"

#include <commctrl.h>

#include "common/bounded_text.h"
#include "tidewell/resources/resource.h"
#include "tidewell/updater/apply_update.h"
#include "tidewell/updater/logo_surface.h"
#include "tidewell/updater/status_line.h"

namespace {

const char kWindowClass[] = "Tidewell";
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kStringSize = 256;
constexpr int kStatusFontHeight = 12;

HttpFetch g_fetch;
bool g_shuttingDown = false;

LRESULT CALLBACK UpdateWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

bool RegisterWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = UpdateWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TIDEWELL));
    // No icon of this name exists: the system derives the small icon.
    wc.hIconSm = LoadIconA(instance, "SMALL");
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kWindowClass;
    return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Makes the client area exactly 328 x 120, keeping the top-left corner on
// the screen, and shows the window.
void FitClientArea(HWND window)
{
    RECT frame = {0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    RECT now;
    GetWindowRect(window, &now);
    int x = now.left < 0 ? 0 : now.left;
    int y = now.top < 0 ? 0 : now.top;
    SetWindowPos(window, HWND_NOTOPMOST, x, y, frame.right - frame.left, frame.bottom - frame.top, SWP_SHOWWINDOW);
}

// The character set of the ANSI code page the texts arrive in: Shift-JIS on
// a Japanese system.
BYTE AnsiCharset()
{
    CHARSETINFO info = {};
    UINT_PTR codePage = GetACP();
    if (!TranslateCharsetInfo(reinterpret_cast<DWORD*>(codePage), &info, TCI_SRCCODEPAGE)) return DEFAULT_CHARSET;
    return static_cast<BYTE>(info.ciCharset);
}

// The face comes with the texts: a Japanese one for Japanese.
bool CreateStatusFont(UpdaterContext* context)
{
    char face[LF_FACESIZE];
    if (LoadStringA(context->instance, IDS_STATUS_FONT_FACE, face, sizeof(face)) <= 0) face[0] = '\0';
    context->statusFont =
        CreateFontA(kStatusFontHeight, 0, 0, 900, FW_NORMAL, FALSE, FALSE, FALSE, AnsiCharset(), 0, 0, 0, 0x40, face);
    if (!context->statusFont) return false;
    context->previousFont = SelectObject(context->windowDc, context->statusFont);
    return true;
}

HWND CreateChild(UpdaterContext* context, const char* windowClass, DWORD style, int x, int y, int width, int height,
                 int id)
{
    HWND child =
        CreateWindowExA(0, windowClass, "", WS_CHILD | WS_VISIBLE | style, x, y, width, height, context->mainWindow,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), context->instance, nullptr);
    if (child) ShowWindow(child, SW_HIDE);
    return child;
}

bool CreateControls(UpdaterContext* context, int* failure)
{
    context->button = CreateChild(context, "BUTTON", BS_PUSHBUTTON, 244, 86, 70, 24, kActionButtonId);
    if (!context->button) {
        *failure = IDS_BUTTON_FAILED;
        return false;
    }
    SendMessageA(context->button, WM_SETFONT, reinterpret_cast<WPARAM>(context->statusFont), TRUE);
    context->progressBar =
        CreateChild(context, PROGRESS_CLASSA, WS_BORDER | PBS_SMOOTH, 118, 74, 180, 10, kProgressBarId);
    if (!context->progressBar) {
        *failure = IDS_PROGRESS_FAILED;
        return false;
    }
    SendMessageA(context->progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageA(context->progressBar, PBM_SETPOS, 0, 0);
    return true;
}

// The parts after the window itself, in the order their failures are checked.
int CreateWindowParts(UpdaterContext* context, const char* userAgent)
{
    if (!CreateStatusFont(context)) return IDS_FONT_FAILED;
    int failure = 0;
    if (!CreateControls(context, &failure)) return failure;
    if (CreateLogoSurface(context->windowDc) != 0) return IDS_DIB_FAILED;
    if (LoadLogoBitmap(context->instance, IDB_LOGO) != 0) return IDS_LOGO_FAILED;
    HttpFetchConstruct(&g_fetch, userAgent);
    if (!g_fetch.holdsRoot) return IDS_INTERNET_FAILED;
    char folder[kFolderSize];
    DWORD length = GetTempPathA(kFolderSize, folder);
    if (length == 0 || length >= kFolderSize) folder[0] = '\0';
    mw_text::Copy(context->downloadFolder, folder);
    return 0;
}

void ShowFailure(HINSTANCE instance, int id)
{
    char text[kStringSize];
    if (LoadStringA(instance, id, text, kStringSize) <= 0) text[0] = '\0';
    MessageBoxA(nullptr, text, nullptr, MB_OK);
}

// No worker may outlive what it uses: both transfers end here first.
void StopWorkers()
{
    HttpFetchCancel(&g_fetch);
    HttpFetchWait(&g_fetch);
    StopApply();
}

void OnDestroy(UpdaterContext* context)
{
    StopWorkers();  // already done unless the window went another way
    if (context->progressBar) DestroyWindow(context->progressBar);
    if (context->button) DestroyWindow(context->button);
    context->progressBar = context->button = nullptr;
    if (context->statusFont) {
        SelectObject(context->windowDc, context->previousFont);
        DeleteObject(context->statusFont);
        context->statusFont = nullptr;
    }
    HttpFetchRelease(&g_fetch);
    FreeRecords(context);
    DropPostedStatusText();
    context->statusText = nullptr;
    context->mainWindow = nullptr;
    PostQuitMessage(context->exitCode);
}

void Paint(UpdaterContext* context, HWND window)
{
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    BitBlt(context->windowDc, 0, 0, kLogoWidth, kLogoHeight, LogoSurfaceDc(), 0, 0, SRCCOPY);
    RedrawStatusText(context);
    EndPaint(window, &paint);
}

LRESULT CALLBACK UpdateWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    UpdaterContext* context = &g_updater;
    switch (message) {
    case WM_CREATE: context->windowDc = GetDC(window); return 0;
    case WM_PAINT: Paint(context, window); return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kActionButtonId && HIWORD(wParam) == BN_CLICKED) OnActionButton(context);
        return 0;
    case WM_CLOSE: ShutDownUpdater(context); return 0;
    case WM_STATUS_TEXT: ShowPostedStatusText(context); return 0;
    case WM_APPLY_DONE: OnApplyDone(context, wParam); return 0;
    case WM_DESTROY: OnDestroy(context); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

HttpFetch* UpdaterFetch()
{
    return &g_fetch;
}

int CreateUpdateWindow(UpdaterContext* context, const char* userAgent)
{
    g_shuttingDown = false;
    if (!RegisterWindowClass(context->instance)) {
        ShowFailure(context->instance, IDS_CLASS_FAILED);
        return IDS_CLASS_FAILED;
    }
    char caption[kStringSize];
    if (LoadStringA(context->instance, IDS_CAPTION, caption, kStringSize) <= 0) caption[0] = '\0';
    context->mainWindow = CreateWindowExA(0, kWindowClass, caption, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                          kClientWidth, kClientHeight, nullptr, nullptr, context->instance, nullptr);
    if (!context->mainWindow) {
        ShowFailure(context->instance, IDS_WINDOW_FAILED);
        return IDS_WINDOW_FAILED;
    }
    FitClientArea(context->mainWindow);
    int failure = CreateWindowParts(context, userAgent);
    if (failure != 0) {
        ShowFailure(context->instance, failure);
        DestroyWindow(context->mainWindow);
        ReleaseUpdateWindow();
        return failure;
    }
    return 0;
}

int RunUpdateLoop(UpdaterContext* context)
{
    MSG message;
    for (;;) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
            TranslateMessage(&message);
            DispatchMessageA(&message);
            continue;
        }
        RunUpdateStep(context);
        Sleep(16);
    }
}

void ShutDownUpdater(UpdaterContext* context)
{
    if (g_shuttingDown || !context->mainWindow) return;
    g_shuttingDown = true;
    // A silent server can hold the transfer until its time-out: the window
    // goes at once, the process when the worker has ended.
    ShowWindow(context->mainWindow, SW_HIDE);
    StopWorkers();
    DestroyWindow(context->mainWindow);
}

void ReleaseUpdateWindow()
{
    ReleaseLogoSurface();
}
