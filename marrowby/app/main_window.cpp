#include "marrowby/app/main_window.h"

#include "marrowby/app/app_messages.h"
#include "marrowby/app/download_list.h"
#include "marrowby/app/handover.h"
#include "marrowby/app/list_commands.h"
#include "marrowby/app/list_file.h"
#include "marrowby/app/main_window_commands.h"
#include "marrowby/app/main_window_controls.h"
#include "marrowby/app/row_commands.h"
#include "marrowby/app/row_tip.h"
#include "marrowby/app/settings.h"
#include "marrowby/app/tray_notice.h"
#include "marrowby/dialogs/url_drop_target.h"
#include "common/bounded_text.h"
#include "marrowby/resources/resource.h"

namespace {

const char kWindowClass[] = "Tessaline";
constexpr DWORD kMainWindowStyle = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;
constexpr int kMainWindowWidth = 640;
constexpr int kMainWindowHeight = 384;
constexpr int kProductSize = 128;
constexpr int kHeadingSize = 32;
constexpr int kTitleSize = 255;
constexpr size_t kExitFailedSize = 1100;  // the settings file and the list file
constexpr size_t kBalloonReasonSize = 128;

struct MainWindowState {
    HINSTANCE instance;
    HostCallback callback;
    void* context;
    UrlDropTarget* dropTarget;
    bool quitOnDestroy;
    // Set once CreateMainWindow has finished: only a window that loaded the
    // settings and the list may save them when it goes.
    bool started;
    HWND mainWindow;
    HWND toolbar;
    HIMAGELIST smallImages;
    HACCEL accelerators;
};

MainWindowState g_window;
char g_headings[kColumnCount][kHeadingSize];

void ResetWindowState(HINSTANCE instance, bool quitOnDestroy)
{
    HACCEL accelerators = g_window.accelerators;  // loaded once per process
    g_window = MainWindowState();
    g_window.accelerators = accelerators;
    g_window.instance = instance;
    g_window.quitOnDestroy = quitOnDestroy;
}

void RegisterMainClass(HINSTANCE instance)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MARROWBY));
    wc.hIconSm = LoadIconA(instance, "SMALL");
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
    wc.lpszClassName = kWindowClass;
    RegisterClassExA(&wc);  // a second registration fails harmlessly
}

// The product string is kept by the download list, which sends it with
// every request and writes it into list files.
void LoadWindowStrings(HINSTANCE instance, char title[kTitleSize])
{
    char product[kProductSize];
    if (LoadStringA(instance, IDS_PRODUCT, product, kProductSize) <= 0) product[0] = '\0';
    SetListProductString(product);
    for (int i = 0; i < kColumnCount; ++i) {
        int id = i < kColumnStatus ? IDS_COLUMN_FILE_NAME + i : IDS_COLUMN_STATUS + (i - kColumnStatus);
        if (LoadStringA(instance, id, g_headings[i], kHeadingSize) <= 0) g_headings[i][0] = '\0';
    }
    if (LoadStringA(instance, IDS_APP_TITLE, title, kTitleSize) <= 0) title[0] = '\0';
}

// Abandons a half-built window: its WM_DESTROY releases what exists.
int FailCreation(int code)
{
    DestroyWindow(g_window.mainWindow);
    return code;
}

int CreateDropTarget(HWND window)
{
    UrlDropTarget* target = CreateUrlDropTarget();
    if (!target) return 8;
    target->Attach(window, WM_ADD_URL);
    CoLockObjectExternal(target, TRUE, FALSE);
    if (FAILED(RegisterDragDrop(window, target))) {
        CoLockObjectExternal(target, FALSE, TRUE);
        target->Release();
        return 9;
    }
    g_window.dropTarget = target;
    return 0;
}

void ReleaseDropTarget(HWND window)
{
    if (!g_window.dropTarget) return;
    RevokeDragDrop(window);
    CoLockObjectExternal(g_window.dropTarget, FALSE, TRUE);
    g_window.dropTarget->Release();
    g_window.dropTarget = nullptr;
}

int BuildControls(HWND window, HINSTANCE instance)
{
    g_window.toolbar = CreateMainToolbar(window, instance);
    if (!g_window.toolbar) return 4;
    HWND list = CreateMainListControl(window, instance);
    if (!list) return 5;
    const char* headings[kColumnCount];
    for (int i = 0; i < kColumnCount; ++i) headings[i] = g_headings[i];
    SetUpListColumns(list, headings);
    AttachDownloadList(window, list);  // no rows, row counter 0
    AttachRowTip(window, list);
    g_window.smallImages = CreateStateImages(list, instance);
    if (!g_window.smallImages) return 7;
    // The sizes sent while the window was created found no controls yet.
    RECT client;
    GetClientRect(window, &client);
    LayOutMainWindow(g_window.toolbar, list, SIZE_RESTORED, client.right, client.bottom);
    return CreateDropTarget(window);
}

// Saves the settings and the list; failed receives the files that could not
// be written, one a line, or an empty text.
void SaveAtExit(char* failed, size_t capacity)
{
    failed[0] = '\0';
    if (SaveSettings() != 0) {
        char settingsPath[kProgramFolderSize + sizeof("vorn.cfg")];
        SettingsFilePath(settingsPath, sizeof(settingsPath));
        mw_text::Append(failed, capacity, settingsPath);
    }
    // A list file that was not read is left as it is, and says nothing.
    if (!ListFileRefused() && WriteListFile(g_settings.listPath) != 0) {
        if (failed[0] != '\0') mw_text::Append(failed, capacity, "\n");
        mw_text::Append(failed, capacity, g_settings.listPath);
    }
}

void SaveAndTearDown(HWND window)
{
    bool started = g_window.started;
    char failed[kExitFailedSize] = "";
    if (started) SaveAtExit(failed, sizeof(failed));
    ReleaseDropTarget(window);
    RemoveTrayIcon(window);
    DetachRowTip();
    DropPendingHandovers();
    SetRunEndObserver(nullptr);
    if (g_window.smallImages) {
        // Taken back first: the list control would destroy it a second time.
        SendMessageA(ListControl(), LVM_SETIMAGELIST, LVSIL_SMALL, 0);
        ImageList_Destroy(g_window.smallImages);
        g_window.smallImages = nullptr;
    }
    ClearList();
    // Told once every download has stopped, so nothing changes behind the box.
    if (failed[0] != '\0') ShowFileMessage(window, IDS_EXIT_SAVE_FAILED, failed);
    if (started) {
        HostNotice notice = {kNoticeMainWindowDestroyed, window, nullptr};
        NotifyHost(notice);
    }
    DetachDownloadList();  // forgets the list control
    g_window.callback = nullptr;
    g_window.context = nullptr;
    g_window.toolbar = nullptr;
    g_window.mainWindow = nullptr;
    g_window.started = false;
    // A failed start-up must not leave a WM_QUIT behind: it would close the
    // message box that reports the failure.
    if (g_window.quitOnDestroy && started) PostQuitMessage(0);
}

void OnRunEnd(const DownloadItem* item, bool failed)
{
    char reason[kBalloonReasonSize];
    FormatFailureReason(item, reason, sizeof(reason));
    ShowRunEndBalloon(g_window.mainWindow, item->fileName[0] != '\0' ? item->fileName : item->url, reason, failed);
}

LRESULT OnContextMenu(HWND window, HWND source, LPARAM position)
{
    if (source != ListControl())
        return DefWindowProcA(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(source), position);
    ShowRowMenu(window, position);
    return 0;
}

}  // namespace

int CreateMainWindow(HWND parent, HINSTANCE instance, HWND* mainWindow, HACCEL* accelerators, bool quitOnDestroy,
                     HostCallback callback, void* context)
{
    if (g_window.mainWindow) {
        *mainWindow = g_window.mainWindow;
        *accelerators = g_window.accelerators;
        return 0;
    }
    ResetWindowState(instance, quitOnDestroy);
    RegisterMainClass(instance);
    char title[kTitleSize];
    LoadWindowStrings(instance, title);

    HWND window =
        CreateWindowExA(0, kWindowClass, title[0] ? title : nullptr, kMainWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        kMainWindowWidth, kMainWindowHeight, parent, nullptr, instance, nullptr);
    if (!window) return 2;
    g_window.mainWindow = window;
    if (!g_window.accelerators) {
        g_window.accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
        if (!g_window.accelerators) return FailCreation(3);
    }
    int built = BuildControls(window, instance);
    if (built != 0) return FailCreation(built);

    LoadSettings();
    SetListFileRefused(false);
    if (ReadListFile(g_settings.listPath) == 2) {
        SetListFileRefused(true);
        ShowStartupFileMessage(instance, IDS_LIST_NOT_READ, g_settings.listPath);
    }
    g_window.callback = callback;
    g_window.context = context;
    SetListHostCallback(callback, context);
    SetRunEndObserver(OnRunEnd);
    g_window.started = true;

    SetFocus(ListControl());
    *mainWindow = window;
    *accelerators = g_window.accelerators;
    if (g_settings.autoStart) RunScheduler();
    return 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE: LayOutMainWindow(g_window.toolbar, ListControl(), wParam, LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_DESTROY: SaveAndTearDown(window); return 0;
    case WM_COMMAND: OnCommand(window, LOWORD(wParam)); return 0;
    case WM_NOTIFY: return OnNotify(window, reinterpret_cast<NMHDR*>(lParam));
    case WM_SETFOCUS: SetFocus(ListControl()); return 0;  // back from a message box or another program
    case WM_CONTEXTMENU: return OnContextMenu(window, reinterpret_cast<HWND>(wParam), lParam);
    case WM_COPYDATA: return ReceiveHandover(window, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_HANDOVER_PENDING: ApplyPendingHandovers(window); return 0;
    case WM_TRAY_ICON: OnTrayIcon(window, lParam); return 0;
    default:
        if (HandleListMessage(message, wParam, lParam)) return 0;
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND MainWindow()
{
    return g_window.mainWindow;
}

HWND MainListControl()
{
    return ListControl();
}

HWND MainToolbar()
{
    return g_window.toolbar;
}

HINSTANCE ProgramInstance()
{
    return g_window.instance;
}

IDropTarget* MainDropTarget()
{
    return g_window.dropTarget;
}

const char* ProductString()
{
    return ListProductString();
}

const char* ColumnHeading(int column)
{
    if (column < 0 || column >= kColumnCount) return "";
    return g_headings[column];
}

void NotifyHost(const HostNotice& notice)
{
    if (g_window.callback) g_window.callback(&notice, g_window.context);
}
