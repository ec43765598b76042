#include "marrowby/app/tray_notice.h"

#include <shellapi.h>
#include <string.h>

#include "marrowby/app/settings.h"
#include "common/bounded_text.h"
#include "marrowby/resources/resource.h"

namespace {

constexpr UINT kTrayIconId = 1;
bool g_iconAdded = false;

bool ProgramInFront()
{
    HWND front = GetForegroundWindow();
    DWORD processId = 0;
    if (front != nullptr) GetWindowThreadProcessId(front, &processId);
    return processId == GetCurrentProcessId();
}

void LoadText(HINSTANCE instance, int id, char* out, int capacity)
{
    if (LoadStringA(instance, id, out, capacity) <= 0) out[0] = '\0';
}

void FillIconData(HWND mainWindow, NOTIFYICONDATAA* data)
{
    *data = NOTIFYICONDATAA();
    data->cbSize = sizeof(*data);
    data->hWnd = mainWindow;
    data->uID = kTrayIconId;
}

bool AddTrayIcon(HWND mainWindow, HINSTANCE instance)
{
    if (g_iconAdded) return true;
    NOTIFYICONDATAA data;
    FillIconData(mainWindow, &data);
    data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_ICON;
    data.hIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_MARROWBY), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    LoadText(instance, IDS_APP_TITLE, data.szTip, sizeof(data.szTip));
    g_iconAdded = Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
    if (data.hIcon != nullptr) DestroyIcon(data.hIcon);  // the shell keeps its own copy
    return g_iconAdded;
}

}  // namespace

bool ShowRunEndBalloon(HWND mainWindow, const char* name, const char* reason, bool failed)
{
    if (g_extraSettings.balloonNotices == 0 || mainWindow == nullptr || ProgramInFront()) return false;
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(mainWindow, GWLP_HINSTANCE));
    if (!AddTrayIcon(mainWindow, instance)) return false;
    NOTIFYICONDATAA data;
    FillIconData(mainWindow, &data);
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = failed ? NIIF_WARNING : NIIF_INFO;
    LoadText(instance, failed ? IDS_BALLOON_FAILED : IDS_BALLOON_COMPLETED, data.szInfoTitle, sizeof(data.szInfoTitle));
    // A long address is cut, never the reason after it.
    size_t reasonLength = reason != nullptr && reason[0] != '\0' ? strlen(reason) + 1 : 0;
    size_t nameRoom = sizeof(data.szInfo) > reasonLength ? sizeof(data.szInfo) - reasonLength : 1;
    mw_text::Copy(data.szInfo, nameRoom, name);
    if (reasonLength > 0) {
        mw_text::Append(data.szInfo, sizeof(data.szInfo), "\n");
        mw_text::Append(data.szInfo, sizeof(data.szInfo), reason);
    }
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

void OnTrayIcon(HWND mainWindow, LPARAM event)
{
    UINT what = LOWORD(event);
    if (what != WM_LBUTTONUP && what != NIN_BALLOONUSERCLICK) return;
    if (IsIconic(mainWindow)) ShowWindow(mainWindow, SW_RESTORE);
    SetForegroundWindow(mainWindow);
}

void RemoveTrayIcon(HWND mainWindow)
{
    if (!g_iconAdded) return;
    NOTIFYICONDATAA data;
    FillIconData(mainWindow, &data);
    Shell_NotifyIconA(NIM_DELETE, &data);
    g_iconAdded = false;
}
