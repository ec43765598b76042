#include "marrowby/app/row_tip.h"

#include <commctrl.h>

#include "marrowby/app/download_list.h"

namespace {

constexpr size_t kTipTextSize = 512;
constexpr UINT_PTR kToolId = 1;
constexpr int kMaxTipWidth = 480;

struct RowTipState {
    HWND list;
    HWND tip;
    WNDPROC listProc;
    int row;            // under the pointer; -1 none
    bool leaveTracked;  // WM_MOUSELEAVE requested since the pointer came in
    bool shown;
    bool held;  // a menu is open over the list
    char text[kTipTextSize];
};

RowTipState g_tip = {nullptr, nullptr, nullptr, -1, false, false, false, ""};

TOOLINFOA ToolInfo()
{
    TOOLINFOA tool = {};
    // The older size: comctl32 before version 6 refuses the newer one.
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = g_tip.list;
    tool.uId = kToolId;
    tool.lpszText = g_tip.text;
    return tool;
}

int RowAt(POINT client)
{
    LVHITTESTINFO hit = {};
    hit.pt = client;
    if (SendMessageA(g_tip.list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) < 0) return -1;
    return (hit.flags & LVHT_ONITEM) != 0 ? hit.iItem : -1;
}

void Hide()
{
    if (!g_tip.shown) return;
    TOOLINFOA tool = ToolInfo();
    SendMessageA(g_tip.tip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    g_tip.shown = false;
}

// Asks for WM_MOUSEHOVER anew (and WM_MOUSELEAVE once): each row waits its
// own hover time.
void WatchHover()
{
    TRACKMOUSEEVENT track = {};
    track.cbSize = sizeof(track);
    track.dwFlags = TME_HOVER | TME_LEAVE;
    track.hwndTrack = g_tip.list;
    track.dwHoverTime = HOVER_DEFAULT;
    if (TrackMouseEvent(&track)) g_tip.leaveTracked = true;
}

void OnMouseMove(LPARAM position)
{
    POINT point = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    int row = RowAt(point);
    if (row == g_tip.row && g_tip.leaveTracked) return;
    Hide();
    g_tip.row = row;
    WatchHover();
}

// Below the pointer's tip, where the cursor does not cover the text.
void Show(POINT client)
{
    TOOLINFOA tool = ToolInfo();
    SendMessageA(g_tip.tip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    POINT screen = client;
    ClientToScreen(g_tip.list, &screen);
    screen.y += GetSystemMetrics(SM_CYCURSOR) / 2 + 2;
    SendMessageA(g_tip.tip, TTM_TRACKPOSITION, 0, MAKELPARAM(screen.x, screen.y));
    SendMessageA(g_tip.tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    g_tip.shown = true;
}

void OnMouseHover(LPARAM position)
{
    POINT point = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    if (g_tip.held) return;
    int row = RowAt(point);
    g_tip.row = row;
    DownloadItem* item = row >= 0 ? ItemOfRow(row) : nullptr;
    if (item == nullptr || !FormatRowTip(item, g_tip.text, sizeof(g_tip.text))) return;
    Show(point);
}

LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC original = g_tip.listProc;
    switch (message) {
    case WM_MOUSEMOVE: OnMouseMove(lParam); break;
    case WM_MOUSEHOVER: OnMouseHover(lParam); break;
    case WM_MOUSELEAVE:
        Hide();
        g_tip.row = -1;
        g_tip.leaveTracked = false;
        break;
    // Anything that moves the rows or acts on them takes the tip away until
    // the pointer rests again.
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_MOUSEWHEEL:
    case WM_VSCROLL:
    case WM_HSCROLL:
    case WM_KEYDOWN: Hide(); break;
    case WM_NCDESTROY: DetachRowTip(); break;
    default: break;
    }
    return CallWindowProcA(original, list, message, wParam, lParam);
}

}  // namespace

bool AttachRowTip(HWND owner, HWND list)
{
    DetachRowTip();
    HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                               reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE)), nullptr);
    if (tip == nullptr) return false;
    g_tip.list = list;
    g_tip.tip = tip;
    g_tip.text[0] = '\0';
    TOOLINFOA tool = ToolInfo();
    if (!SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool))) {
        DetachRowTip();
        return false;
    }
    SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
    g_tip.listProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListProc)));
    return g_tip.listProc != nullptr;
}

void DetachRowTip()
{
    if (g_tip.listProc != nullptr && IsWindow(g_tip.list))
        SetWindowLongPtrA(g_tip.list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_tip.listProc));
    if (g_tip.tip != nullptr) DestroyWindow(g_tip.tip);
    g_tip = RowTipState{nullptr, nullptr, nullptr, -1, false, false, false, ""};
}

void HoldRowTip(bool held)
{
    Hide();
    g_tip.held = held;
    g_tip.row = -1;  // the next move over a row waits for a rest anew
}

HWND RowTipWindow()
{
    return g_tip.tip;
}
