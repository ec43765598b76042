#include <winsock2.h>

#include "list_host.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include <gtest/gtest.h>

#include "marrowby/app/download_list.h"
#include "marrowby/app/host_notice.h"
#include "marrowby/app/settings.h"

ListHost g_host;

namespace {

const char kHostClass[] = "MarrowbyListTestHost";

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (HandleListMessage(message, wParam, lParam)) return 0;
    LRESULT result = 0;
    if (message == WM_NOTIFY && HandleListNotify(reinterpret_cast<NMHDR*>(lParam), &result)) return result;
    return DefWindowProcA(window, message, wParam, lParam);
}

int RecordNotice(const HostNotice* notice, void*)
{
    if (notice->kind == kNoticeDownloadCompleted) {
        g_host.completedPaths.push_back(notice->path != nullptr ? notice->path : "<null>");
        g_host.noticeWindows.push_back(notice->window);
    }
    return 0;
}

void DeleteTree(const std::string& folder)
{
    std::string pattern = folder + "*";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = folder + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteTree(path + "\\");
            RemoveDirectoryA(path.c_str());
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

bool OpenListHost()
{
    static bool winsockReady = false;
    if (!winsockReady) {
        WSADATA data;
        winsockReady = WSAStartup(MAKEWORD(2, 0), &data) == 0;
    }
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kHostClass;
    RegisterClassA(&wc);
    g_host = ListHost();
    g_host.window = CreateWindowExA(0, kHostClass, "host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 384, nullptr, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
    if (g_host.window == nullptr) return false;
    g_host.list = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                                  WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_OWNERDATA, 0, 0, 600, 300,
                                  g_host.window, reinterpret_cast<HMENU>(100), GetModuleHandleA(nullptr), nullptr);
    if (g_host.list == nullptr) return false;
    static const char* kHeadings[kListColumnCount] = {"name", "size",   "done",     "time",  "tries",
                                                      "url",  "status", "progress", "speed", "left"};
    for (int i = 0; i < kListColumnCount; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = 80;
        column.pszText = const_cast<char*>(kHeadings[i]);
        column.iSubItem = i;
        SendMessageA(g_host.list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    AttachDownloadList(g_host.window, g_host.list);
    SetListHostCallback(RecordNotice, nullptr);
    SetListProductString("Marrowby/0.23 ( built on Tessaline )");
    return true;
}

void CloseListHost()
{
    ClearList();
    DetachDownloadList();
    if (g_host.window != nullptr) DestroyWindow(g_host.window);
    PumpPending();
    g_host.window = g_host.list = nullptr;
}

void PumpPending()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void PumpFor(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpPending();
    }
}

int RowCount()
{
    return static_cast<int>(SendMessageA(g_host.list, LVM_GETITEMCOUNT, 0, 0));
}

std::string CellText(int row, int column)
{
    char text[2048] = "";
    LVITEMA lv = {};
    lv.iSubItem = column;
    lv.pszText = text;
    lv.cchTextMax = sizeof(text);
    SendMessageA(g_host.list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&lv));
    return text;
}

int RowImage(int row)
{
    LVITEMA lv = {};
    lv.mask = LVIF_IMAGE;
    lv.iItem = row;
    if (!SendMessageA(g_host.list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&lv))) return -100;
    return lv.iImage;
}

void SelectOnly(const std::vector<int>& rows)
{
    LVITEMA none = {};
    none.stateMask = LVIS_SELECTED;
    SendMessageA(g_host.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    for (int row : rows) {
        LVITEMA lv = {};
        lv.stateMask = LVIS_SELECTED;
        lv.state = LVIS_SELECTED;
        SendMessageA(g_host.list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&lv));
    }
}

std::vector<DownloadItem*> ChainItems()
{
    std::vector<DownloadItem*> items;
    DownloadItem* previous = nullptr;
    for (DownloadItem* item = FirstListItem(); item != nullptr; item = item->next) {
        EXPECT_EQ(previous, item->prev);
        items.push_back(item);
        previous = item;
    }
    EXPECT_EQ(previous, LastListItem());
    return items;
}

void ExpectListConsistent()
{
    std::vector<DownloadItem*> items = ChainItems();
    ASSERT_EQ(static_cast<int>(items.size()), RowCount());
    EXPECT_EQ(RowCount(), ListRowCounter());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(static_cast<int32_t>(i), items[i]->row);
        EXPECT_EQ(items[i], ItemOfRow(static_cast<int>(i)));
    }
}

std::string FreshFolder(const char* name)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    std::string folder = std::string(temp) + "mwapp_" + std::to_string(GetCurrentProcessId()) + "_" + name + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    DeleteTree(folder);
    return folder;
}

std::string FreshTestFolder()
{
    return FreshFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
}

void ListHostTest::SetUp()
{
    SetDefaultSettings(&g_settings, "");
    g_settings.maxSimultaneous = 0;
    ASSERT_TRUE(OpenListHost());
}

std::string ReadWholeFile(const std::string& path)
{
    std::string bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return "<missing>";
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), f)) > 0) bytes.append(buffer, got);
    fclose(f);
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f) << path;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
