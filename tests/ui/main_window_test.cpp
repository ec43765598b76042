// The main window driven by a test host with real messages: creation,
// layout, start-up from the settings and list file, closing.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <thread>
#include <vector>
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include "marrowby/app/app_messages.h"
#include "marrowby/app/download_list.h"
#include "marrowby/app/main_window.h"
#include "marrowby/app/program_entry.h"
#include "marrowby/app/settings.h"
#include "marrowby/dialogs/about_box.h"
#include "marrowby/resources/resource.h"
#include "tests/ui/ui_support.h"
#include "tests/ui/window_host.h"

namespace {

// A port where nothing listens: started downloads fail, but only later.
const char kDeadUrl1[] = "http://127.0.0.1:9/one.bin";
const char kDeadUrl2[] = "http://127.0.0.1:9/two.bin";
const char kDeadUrl3[] = "http://127.0.0.1:9/three.bin";

StartRecord Record(const std::string& url, int32_t state)
{
    return {url, state, 0, ""};
}

int CountOf(const std::string& text, const std::string& what)
{
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

RECT ChildRect(HWND parent, HWND child)
{
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

class MainWindowTest : public HostedWindowTest {
protected:
    void StartWith(bool autoStart, int32_t limit, const std::vector<StartRecord>& list)
    {
        WriteHostSettings(host_, autoStart, limit);
        if (!list.empty()) WriteStartList(host_.listPath, "C:\\dl\\", list);
        ASSERT_EQ(0, CreateHostWindow(&host_));
        ASSERT_NE(nullptr, host_.window);
    }
};

TEST_F(MainWindowTest, SecondCallReturnsTheSameWindowAndTable)
{
    StartWith(false, 2, {});
    EXPECT_EQ(host_.window, MainWindow());
    EXPECT_NE(nullptr, host_.accelerators);
    HWND again = nullptr;
    HACCEL table = nullptr;
    EXPECT_EQ(0, CreateMainWindow(nullptr, GetModuleHandleA(nullptr), &again, &table, true, RecordNotice, &host_));
    EXPECT_EQ(host_.window, again);
    EXPECT_EQ(host_.accelerators, table);
    EXPECT_EQ(host_.window, FindWindowA("Tessaline", nullptr));
    EXPECT_FALSE(IsWindowVisible(host_.window));  // the host shows it
}

TEST_F(MainWindowTest, FrameMenuAndAccelerators)
{
    StartWith(false, 2, {});
    LONG style = GetWindowLongA(host_.window, GWL_STYLE);
    EXPECT_EQ(0, style & WS_MAXIMIZEBOX);
    EXPECT_EQ(static_cast<LONG>(0x00CE0000), style & 0x00CF0000);
    char text[64] = "";
    GetWindowTextA(host_.window, text, sizeof(text));
    EXPECT_STREQ("Marrowby", text);
    GetClassNameA(host_.window, text, sizeof(text));
    EXPECT_STREQ("Tessaline", text);
    RECT frame;
    GetWindowRect(host_.window, &frame);
    EXPECT_EQ(640, frame.right - frame.left);
    EXPECT_EQ(384, frame.bottom - frame.top);

    HMENU menu = GetMenu(host_.window);
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(5, GetMenuItemCount(menu));
    GetMenuStringA(menu, 0, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(
        "\x83t\x83@\x83"
        "C\x83\x8b(&F)",
        text);
    GetMenuStringA(menu, 4, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ("\x83w\x83\x8b\x83v(&H)", text);
    GetMenuStringA(menu, IDM_FILE_EXIT, text, sizeof(text), MF_BYCOMMAND);
    EXPECT_STREQ("\x8fI\x97\xb9(&E)\tAlt+F4", text);
    const UINT commands[] = {40009, 40010, 40030, 40011, 40012, 40013, 40016, 40150, 40018,
                             40019, 40020, 40021, 40022, 40023, 40024, 40025, 40029};
    for (UINT command : commands)
        EXPECT_NE(static_cast<UINT>(-1), GetMenuState(menu, command, MF_BYCOMMAND)) << command;

    ACCEL table[16];
    ASSERT_EQ(11, CopyAcceleratorTableA(host_.accelerators, table, 16));
    const ACCEL expected[11] = {
        {FVIRTKEY | FCONTROL, 'A', 40016},   {FVIRTKEY | FCONTROL, 'N', 40009},   {FVIRTKEY | FALT, 'N', 40018},
        {FVIRTKEY | FCONTROL, 'O', 40010},   {FVIRTKEY | FALT, 'P', 40020},       {FVIRTKEY | FCONTROL, 'S', 40011},
        {FVIRTKEY | FALT, 'S', 40019},       {FVIRTKEY | FALT, VK_DELETE, 40021}, {FVIRTKEY | FALT, VK_F4, 40013},
        {FVIRTKEY | FALT, VK_RETURN, 40022}, {FVIRTKEY | FCONTROL, 'V', 40150},
    };
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(expected[i].fVirt | FNOINVERT, table[i].fVirt & 0x7F) << i;
        EXPECT_EQ(expected[i].key, table[i].key) << i;
        EXPECT_EQ(expected[i].cmd, table[i].cmd) << i;
    }
}

void ExpectLayout(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    HWND toolbar = GetDlgItem(window, kToolbarId);
    HWND list = GetDlgItem(window, kListControlId);
    ASSERT_EQ(MainToolbar(), toolbar);
    ASSERT_EQ(MainListControl(), list);
    RECT bar = ChildRect(window, toolbar);
    RECT barClient;
    GetClientRect(toolbar, &barClient);
    EXPECT_EQ(0, bar.top);
    EXPECT_GT(barClient.bottom, 15);
    EXPECT_EQ(client.right, barClient.right);
    RECT rows = ChildRect(window, list);
    EXPECT_EQ(0, rows.left);
    EXPECT_EQ(barClient.bottom + 1, rows.top);
    EXPECT_EQ(client.right, rows.right);
    EXPECT_EQ(client.bottom - barClient.bottom, rows.bottom - rows.top);
}

TEST_F(MainWindowTest, ToolbarOnTopAndListBelowItAfterResizing)
{
    StartWith(false, 2, {});
    ShowWindow(host_.window, SW_SHOWNORMAL);
    PumpPending();
    ExpectLayout(host_.window);
    for (SIZE size : {SIZE{800, 520}, SIZE{420, 260}}) {
        SetWindowPos(host_.window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        PumpPending();
        RECT client;
        GetClientRect(host_.window, &client);
        EXPECT_LT(client.right, size.cx);
        ExpectLayout(host_.window);
    }
}

TEST_F(MainWindowTest, ToolbarButtonsAndTooltips)
{
    StartWith(false, 2, {});
    HWND toolbar = MainToolbar();
    LONG style = GetWindowLongA(toolbar, GWL_STYLE);
    EXPECT_TRUE(style & TBSTYLE_FLAT);
    EXPECT_TRUE(style & TBSTYLE_TOOLTIPS);
    EXPECT_NE(0, SendMessageA(toolbar, TB_GETTOOLTIPS, 0, 0));
    ASSERT_EQ(8, SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0));
    const int commands[8] = {40010, 40011, 0, 40018, 40021, 0, 40020, 40019};
    const int images[8] = {0, 1, -1, 2, 3, -1, 4, 5};
    for (int i = 0; i < 8; ++i) {
        TBBUTTON button = {};
        SendMessageA(toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
        if (images[i] < 0) {
            EXPECT_TRUE(button.fsStyle & TBSTYLE_SEP) << i;
            continue;
        }
        EXPECT_EQ(commands[i], button.idCommand) << i;
        EXPECT_EQ(images[i], button.iBitmap) << i;
        EXPECT_TRUE(button.fsState & TBSTATE_ENABLED) << i;
    }

    struct Tip {
        UINT_PTR command;
        const char* text;
    };
    const Tip tips[] = {
        {40010, "\x8aJ\x82\xad"},
        {40011, "\x95\xdb\x91\xb6"},
        {40018,
         "\x90V\x8bK\x83_\x83"
         "E\x83\x93\x83\x8d\x81[\x83h"},
        {40021, "\x8d\xed\x8f\x9c"},
        {40020, "\x92\xe2\x8e~"},
        {40019, "\x8aJ\x8en"},
    };
    for (const Tip& tip : tips) {
        NMTTDISPINFOA request = {};
        request.hdr.hwndFrom = reinterpret_cast<HWND>(SendMessageA(toolbar, TB_GETTOOLTIPS, 0, 0));
        request.hdr.idFrom = tip.command;
        request.hdr.code = TTN_NEEDTEXTA;
        EXPECT_EQ(0, SendMessageA(host_.window, WM_NOTIFY, tip.command, reinterpret_cast<LPARAM>(&request)));
        ASSERT_TRUE(IS_INTRESOURCE(request.lpszText)) << tip.command;
        char text[64] = "";
        LoadStringA(request.hinst, static_cast<UINT>(reinterpret_cast<UINT_PTR>(request.lpszText)), text, sizeof(text));
        EXPECT_STREQ(tip.text, text) << tip.command;
    }
    NMTTDISPINFOA other = {};
    other.hdr.idFrom = 40013;
    other.hdr.code = TTN_NEEDTEXTA;
    SendMessageA(host_.window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&other));
    EXPECT_EQ(GetModuleHandleA(nullptr), other.hinst);
    EXPECT_EQ(nullptr, other.lpszText);
}

TEST_F(MainWindowTest, ListControlColumnsAndStateImages)
{
    StartWith(false, 2, {});
    HWND list = MainListControl();
    EXPECT_EQ(static_cast<LONG>(0x50800001), GetWindowLongA(list, GWL_STYLE) & 0x5080000F);
    EXPECT_TRUE(GetWindowLongA(list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(0x21, SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x21);
    struct Column {
        const char* heading;
        int width;
        int format;
    };
    const Column columns[kColumnCount] = {
        {"\x83t\x83@\x83"
         "C\x83\x8b\x96\xbc",
         96, LVCFMT_LEFT},
        {"\x83T\x83"
         "C\x83Y",
         72, LVCFMT_RIGHT},
        {"\x83_\x83"
         "E\x83\x93\x8d\xcf\x82\xdd",
         72, LVCFMT_RIGHT},
        {"\x8co\x89\xdf", 46, LVCFMT_RIGHT},
        {"\x89\xf1\x90\x94", 46, LVCFMT_RIGHT},
        {"\x83"
         "A\x83h\x83\x8c\x83X",
         384, LVCFMT_LEFT},
        {"\x8f\xf3\x91\xd4", 220, LVCFMT_LEFT},
        {"\x90\x69\x92\xbb", 56, LVCFMT_RIGHT},
        {"\x91\xac\x93\x78", 72, LVCFMT_RIGHT},
        {"\x8e\x63\x82\xe8\x8e\x9e\x8a\xd4", 64, LVCFMT_RIGHT},
    };
    for (int i = 0; i < kColumnCount; ++i) {
        char heading[64] = "";
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.pszText = heading;
        column.cchTextMax = sizeof(heading);
        ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column))) << i;
        EXPECT_STREQ(columns[i].heading, heading) << i;
        EXPECT_STREQ(columns[i].heading, ColumnHeading(i)) << i;
        EXPECT_EQ(columns[i].width, column.cx) << i;
        EXPECT_EQ(columns[i].format, column.fmt & LVCFMT_JUSTIFYMASK) << i;
    }
    EXPECT_STREQ("Marrowby/0.23 ( built on Tessaline )", ProductString());
    EXPECT_STREQ("Marrowby/0.23 ( built on Tessaline )", ListProductString());

    auto images = reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    ASSERT_NE(nullptr, images);
    EXPECT_EQ(6, ImageList_GetImageCount(images));
    int cx = 0, cy = 0;
    ImageList_GetIconSize(images, &cx, &cy);
    EXPECT_EQ(16, cx);
    EXPECT_EQ(16, cy);
    // Image 0 (waiting) is all white, which is the mask colour: drawn on
    // black it leaves black; image 1 (completed) does not.
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, 16, 16);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, canvas);
    int coloured[2] = {0, 0};
    for (int image = 0; image < 2; ++image) {
        RECT all = {0, 0, 16, 16};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        ImageList_Draw(images, image, dc, 0, 0, ILD_TRANSPARENT);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) coloured[image] += GetPixel(dc, x, y) != RGB(0, 0, 0);
    }
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    EXPECT_EQ(0, coloured[0]);
    EXPECT_GT(coloured[1], 20);
}

TEST_F(MainWindowTest, StartUpListIsShownAndNothingStartsWithoutAutoStart)
{
    StartWith(false, 2, {Record(kDeadUrl1, 0), Record(kDeadUrl2, 1), Record(kDeadUrl3, 2)});
    HWND list = MainListControl();
    ASSERT_EQ(3, RowCount(list));
    EXPECT_EQ(kDeadUrl1, CellText(list, 0, 5));
    EXPECT_EQ(kDeadUrl3, CellText(list, 2, 5));
    EXPECT_EQ(0, RowImage(list, 0));
    EXPECT_EQ(1, RowImage(list, 1));
    EXPECT_EQ(2, RowImage(list, 2));
    EXPECT_EQ(list, GetFocus());
    PumpUntil([] { return false; }, 300);
    for (DownloadItem* item = FirstListItem(); item; item = item->next) {
        EXPECT_EQ(0, item->tries) << item->url;
        EXPECT_EQ(nullptr, item->job) << item->url;
    }
    EXPECT_EQ(ItemState::Waiting, FirstListItem()->state);
}

TEST_F(MainWindowTest, AutoStartRunsOnePassAtStartUp)
{
    // A server that takes connections and never answers keeps jobs running.
    SOCKET server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)));
    ASSERT_EQ(0, listen(server, 8));
    int length = sizeof(address);
    getsockname(server, reinterpret_cast<sockaddr*>(&address), &length);
    std::string base = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";

    StartWith(true, 2, {Record(base + "1.bin", 0), Record(base + "2.bin", 0), Record(base + "3.bin", 0)});
    DownloadItem* first = FirstListItem();
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, first->next);
    ASSERT_NE(nullptr, first->next->next);
    // Only the pass inside CreateMainWindow has run: no message was pumped.
    EXPECT_EQ(1, first->tries);
    EXPECT_EQ(1, first->next->tries);
    EXPECT_EQ(0, first->next->next->tries);
    EXPECT_EQ(ItemState::Running, first->state);
    EXPECT_EQ(ItemState::Running, first->next->state);
    EXPECT_EQ(ItemState::Waiting, first->next->next->state);
    EXPECT_EQ(3, RowImage(MainListControl(), 0));
    CloseHostWindow(&host_);  // stops the jobs before the server goes
    closesocket(server);
}

TEST_F(MainWindowTest, AddUrlMessageAddsADownload)
{
    StartWith(false, 2, {});
    HWND list = MainListControl();
    SendMessageA(host_.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>("http://127.0.0.1:9/added.zip"));
    ASSERT_EQ(1, RowCount(list));
    EXPECT_EQ("http://127.0.0.1:9/added.zip", CellText(list, 0, 5));
    EXPECT_EQ(ItemState::Waiting, FirstListItem()->state);
    EXPECT_EQ(0, FirstListItem()->tries);  // automatic start is off
    SendMessageA(host_.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>("ftp://127.0.0.1/x.zip"));
    SendMessageA(host_.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>("word"));
    EXPECT_EQ(1, RowCount(list));
}

TEST_F(MainWindowTest, ClosingSavesEverythingBeforeReleasingAndEndsTheLoop)
{
    StartWith(false, 2, {Record(kDeadUrl1, 1), Record(kDeadUrl2, 0)});
    SendMessageA(host_.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>(kDeadUrl3));
    g_settings.maxSimultaneous = 7;  // changed in memory only, as a sheet would
    HWND window = host_.window;
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, RunMessageLoop(window, host_.accelerators));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, MainWindow());
    EXPECT_EQ(nullptr, MainListControl());

    ASSERT_EQ(1u, host_.notices.size());
    const RecordedNotice& notice = host_.notices[0];
    EXPECT_EQ(kNoticeMainWindowDestroyed, notice.kind);
    EXPECT_EQ(window, notice.window);
    EXPECT_EQ("", notice.path);
    // Both files were complete before the items were released.
    ASSERT_LT(kSettingsSize + kSettingsBlockHeaderSize, notice.settingsFile.size());
    EXPECT_EQ(0, memcmp(notice.settingsFile.data(), "VORN", 4));
    EXPECT_EQ(0, memcmp(notice.settingsFile.data() + kSettingsSize, "VRNX", 4));
    int32_t limit = 0;
    memcpy(&limit, notice.settingsFile.data() + 8, 4);
    EXPECT_EQ(7, limit);
    EXPECT_EQ(3, CountOf(notice.listFile, "Url="));
    EXPECT_EQ(1, CountOf(notice.listFile, "_State=1"));
    EXPECT_NE(std::string::npos, notice.listFile.find(std::string("Url=") + kDeadUrl3));
    EXPECT_EQ(notice.listFile, ReadWholeFile(host_.listPath));
}

TEST_F(MainWindowTest, ExitCommandAndAltF4EndTheProgram)
{
    StartWith(false, 2, {});
    ShowWindow(host_.window, SW_SHOWNORMAL);
    SetForegroundWindow(host_.window);
    PumpPending();
    // Alt+F4 as the loop sees it: the accelerator makes the exit command.
    BYTE keys[256];
    GetKeyboardState(keys);
    BYTE saved = keys[VK_MENU];
    keys[VK_MENU] = 0x80;
    SetKeyboardState(keys);
    MSG key = {};
    key.hwnd = MainListControl();
    key.message = WM_SYSKEYDOWN;
    key.wParam = VK_F4;
    key.lParam = 0x203E0001;
    HWND window = host_.window;
    ProcessLoopMessage(&key, window, host_.accelerators);
    keys[VK_MENU] = saved;
    SetKeyboardState(keys);
    EXPECT_FALSE(IsWindow(window));
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, quit.wParam);
    ASSERT_EQ(1u, host_.notices.size());
    EXPECT_TRUE(FileExists(host_.folder + "vorn.cfg"));
    EXPECT_TRUE(FileExists(host_.listPath));

    // The window can be made again after it is gone, and Exit closes it too.
    ASSERT_EQ(0, CreateHostWindow(&host_, false));
    EXPECT_NE(window, host_.window);
    SendMessageA(host_.window, WM_COMMAND, IDM_FILE_EXIT, 0);
    EXPECT_EQ(nullptr, MainWindow());
    EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));  // not asked to quit
}

// Records what the loop delivers to the main window and the list control.
WNDPROC g_mainProc;
WNDPROC g_listProc;
std::vector<WORD> g_commands;
std::vector<WPARAM> g_listKeys;

LRESULT CALLBACK SpyMain(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND) g_commands.push_back(LOWORD(wParam));
    return CallWindowProcA(g_mainProc, window, message, wParam, lParam);
}

LRESULT CALLBACK SpyList(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN) g_listKeys.push_back(wParam);
    return CallWindowProcA(g_listProc, window, message, wParam, lParam);
}

TEST_F(MainWindowTest, CtrlAMakesItsCommandAndStillReachesTheList)
{
    StartWith(false, 2, {});
    g_commands.clear();
    g_listKeys.clear();
    HWND list = MainListControl();
    g_mainProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(host_.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SpyMain)));
    g_listProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SpyList)));
    BYTE keys[256];
    GetKeyboardState(keys);
    BYTE saved = keys[VK_CONTROL];
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    MSG key = {};
    key.hwnd = list;
    key.message = WM_KEYDOWN;
    key.wParam = 'A';
    key.lParam = 0x001E0001;
    ProcessLoopMessage(&key, host_.window, host_.accelerators);
    keys[VK_CONTROL] = saved;
    SetKeyboardState(keys);
    SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_listProc));
    SetWindowLongPtrA(host_.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_mainProc));
    EXPECT_EQ(std::vector<WORD>{IDM_EDIT_SELECT_ALL}, g_commands);
    EXPECT_EQ(std::vector<WPARAM>{'A'}, g_listKeys);
}

TEST_F(MainWindowTest, AboutCommandOpensTheAboutBoxOnce)
{
    StartWith(false, 2, {});
    SendMessageA(host_.window, WM_COMMAND, IDM_HELP_ABOUT, 0);
    HWND box = AboutBoxWindow();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(host_.window, GetWindow(box, GW_OWNER));
    SendMessageA(host_.window, WM_COMMAND, IDM_HELP_ABOUT, 0);
    EXPECT_EQ(box, AboutBoxWindow());
    DestroyWindow(host_.window);  // owned windows go with their owner
    EXPECT_EQ(nullptr, AboutBoxWindow());
}

// A start-up that fails after the window exists (OLE is not initialised on
// this thread, so the drop target cannot be registered).
TEST_F(MainWindowTest, FailedStartUpNeitherSavesNorCallsBack)
{
    WriteHostSettings(host_, true, 2);
    std::string settingsBefore = ReadWholeFile(host_.folder + "vorn.cfg");
    int result = -1;
    bool quitPosted = true;
    bool windowLeft = true;
    std::thread([&] {
        HWND window = nullptr;
        HACCEL table = nullptr;
        result = CreateMainWindow(nullptr, GetModuleHandleA(nullptr), &window, &table, true, RecordNotice, &host_);
        MSG msg;
        quitPosted = PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        windowLeft = MainWindow() != nullptr || FindWindowA("Tessaline", nullptr) != nullptr;
    }).join();
    EXPECT_EQ(9, result);
    EXPECT_FALSE(quitPosted);
    EXPECT_FALSE(windowLeft);
    EXPECT_TRUE(host_.notices.empty());
    EXPECT_EQ(settingsBefore, ReadWholeFile(host_.folder + "vorn.cfg"));
    EXPECT_FALSE(FileExists(host_.listPath));

    // The process can still start properly afterwards.
    ASSERT_EQ(0, CreateHostWindow(&host_));
    EXPECT_NE(nullptr, MainDropTarget());
}

}  // namespace
