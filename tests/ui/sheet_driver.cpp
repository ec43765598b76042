#include "tests/ui/sheet_driver.h"

#include <commctrl.h>
#include <prsht.h>

#include "marrowby/app/main_window.h"
#include "marrowby/app/program_entry.h"

bool RunLoopUntil(const WindowHost& host, const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ProcessLoopMessage(&msg, host.window, host.accelerators);
    }
    return true;
}

void RunLoopFor(const WindowHost& host, DWORD ms)
{
    RunLoopUntil(
        host, [] { return false; }, ms);
}

void SendCommand(const WindowHost& host, WORD command)
{
    SendMessageA(host.window, WM_COMMAND, command, 0);
}

HWND CurrentPage(HWND sheet)
{
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

void SetField(HWND page, int id, const std::string& text)
{
    SetDlgItemTextA(page, id, text.c_str());
}

std::string FieldText(HWND page, int id)
{
    char text[2048] = "";
    GetDlgItemTextA(page, id, text, sizeof(text));
    return text;
}

bool CloseSheetWith(const WindowHost& host, HWND sheet, int button, bool nextMessage)
{
    SendMessageA(GetDlgItem(sheet, button), BM_CLICK, 0, 0);
    if (nextMessage) PostMessageA(host.window, WM_NULL, 0, 0);
    return RunLoopUntil(
        host, [sheet] { return !IsWindow(sheet); }, 5000);
}

void SelectRows(const std::vector<int>& rows)
{
    HWND list = MainListControl();
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    for (int row : rows) ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
}

std::vector<int> SelectedRows()
{
    std::vector<int> rows;
    HWND list = MainListControl();
    for (int row = ListView_GetNextItem(list, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(list, row, LVNI_SELECTED))
        rows.push_back(row);
    return rows;
}

void PressKey(const WindowHost& host, HWND target, UINT key, UINT modifier)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    BYTE saved = modifier ? keys[modifier] : 0;
    if (modifier) {
        keys[modifier] = 0x80;
        SetKeyboardState(keys);
    }
    MSG msg = {};
    msg.hwnd = target;
    msg.message = modifier == VK_MENU ? WM_SYSKEYDOWN : WM_KEYDOWN;
    msg.wParam = key;
    msg.lParam = (MapVirtualKeyA(key, MAPVK_VK_TO_VSC) << 16) | 1 | (modifier == VK_MENU ? 0x20000000 : 0);
    ProcessLoopMessage(&msg, host.window, host.accelerators);
    if (modifier) {
        keys[modifier] = saved;
        SetKeyboardState(keys);
    }
}
