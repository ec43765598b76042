// marrowby.exe taking links from outside and acting on its rows: a second
// start hands its command line to the running program and ends, the
// clipboard's addresses come in with Ctrl+V, the rows' context menu opens,
// copies, restarts and deletes (the file only when asked), and a balloon
// tells of a download that ends behind another window. Real processes,
// keys and clipboard, downloads from the scripted server.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <array>
#include <string>
#include <vector>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "marrowby/app/settings_format.h"
#include "marrowby/resources/resource.h"
#include "tests/support/served_pattern.h"
#include "tests/ui/png_file.h"
#include "tests/ui/program_support.h"
#include "tests/ui/window_host.h"

namespace {

struct WindowSearch {
    DWORD processId;  // 0: any process but this one
    const char* windowClass;
    std::string titlePart;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = "";
    char title[512] = "";
    GetClassNameA(window, name, sizeof(name));
    GetWindowTextA(window, title, sizeof(title));
    bool ownerMatches = search->processId != 0 ? owner == search->processId : owner != GetCurrentProcessId();
    bool classMatches = search->windowClass == nullptr || strcmp(name, search->windowClass) == 0;
    if (ownerMatches && classMatches && IsWindowVisible(window) &&
        std::string(title).find(search->titlePart) != std::string::npos)
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> VisibleWindows(DWORD processId, const char* windowClass, const std::string& titlePart = "")
{
    WindowSearch search = {processId, windowClass, titlePart, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(DWORD processId, const char* windowClass, DWORD timeoutMs, const std::string& titlePart = "")
{
    for (DWORD start = GetTickCount();; Sleep(100)) {
        std::vector<HWND> found = VisibleWindows(processId, windowClass, titlePart);
        if (!found.empty()) return found[0];
        if (GetTickCount() - start > timeoutMs) return nullptr;
    }
}

template <typename Check>
bool WaitUntil(Check check, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); !check(); Sleep(100)) {
        if (GetTickCount() - start > timeoutMs) return false;
    }
    return true;
}

void PressKeys(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT down = {};
        down.type = INPUT_KEYBOARD;
        down.ki.wVk = key;
        inputs.push_back(down);
    }
    for (auto key = keys.end(); key != keys.begin();) {
        INPUT up = {};
        up.type = INPUT_KEYBOARD;
        up.ki.wVk = *--key;
        up.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(up);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Sleep(300);
}

bool SetClipboard(const std::string& text)
{
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
    GlobalUnlock(memory);
    bool set = SetClipboardData(CF_TEXT, memory) != nullptr;
    CloseClipboard();
    return set;
}

std::string ClipboardText()
{
    std::string text;
    if (!OpenClipboard(nullptr)) return text;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data != nullptr) {
        text = static_cast<const char*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

// A text of the program's string table, read from marrowby.exe itself.
std::string ProgramText(int id)
{
    std::string path = WindowsPath("MW_BIN_DIR") + "marrowby.exe";
    HMODULE program = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    char text[512] = "";
    if (program != nullptr) {
        LoadStringA(program, id, text, sizeof(text));
        FreeLibrary(program);
    }
    EXPECT_NE('\0', text[0]) << "string " << id << " of " << path;
    return text;
}

int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The longest static text of another process's message box.
std::string DialogText(HWND dialog)
{
    std::string text;
    for (HWND child = FindWindowExA(dialog, nullptr, "Static", nullptr); child;
         child = FindWindowExA(dialog, child, "Static", nullptr)) {
        char buffer[512] = "";
        GetWindowTextA(child, buffer, sizeof(buffer));
        if (strlen(buffer) > text.size()) text = buffer;
    }
    return text;
}

// The screen's part that holds the main window and the other window,
// written to build/screenshots/<name>.png.
void WriteShot(const std::string& name, HWND main, HWND other)
{
    ScreenPixels screen;
    CaptureScreen(&screen);
    RECT area = {};
    RECT second = {};
    GetWindowRect(main, &area);
    if (other != nullptr && GetWindowRect(other, &second)) UnionRect(&area, &area, &second);
    IntersectRect(&area, &area, std::array<RECT, 1>{{{0, 0, screen.width, screen.height}}}.data());
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    std::vector<uint32_t> pixels;
    for (int y = area.top; y < area.bottom; ++y) {
        auto row = screen.pixels.begin() + static_cast<size_t>(y) * screen.width;
        pixels.insert(pixels.end(), row + area.left, row + area.right);
    }
    std::string shots = WindowsPath("MW_SOURCE_DIR") + "build\\screenshots\\";
    MakeFolders(shots);
    EXPECT_TRUE(WritePng(shots + name + ScreenshotSuffix() + ".png", width, height, pixels));
}

// A running marrowby.exe and its main window.
struct Program {
    HANDLE process = nullptr;
    DWORD id = 0;
    HWND main = nullptr;
    HWND list = nullptr;
};

class HandoverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* port = getenv("MW_HTTP_PORT");
        if (port == nullptr || getenv("MW_BIN_DIR") == nullptr)
            GTEST_SKIP() << "needs the scripted servers (servers.py) and MW_BIN_DIR";
        base_ = std::string("http://127.0.0.1:") + port + "/";
    }

    void TearDown() override
    {
        for (Program& program : programs_) {
            if (program.process == nullptr) continue;
            TerminateProcess(program.process, 1);  // only one a failed test left behind
            CloseHandle(program.process);
        }
    }

    // A program folder with marrowby.exe, settings (the block after the
    // record says whether balloons are on) and the list file.
    std::string ProgramFolder(const char* name, bool autoStart, bool balloons, const std::vector<StartRecord>& list)
    {
        folder_ = FreshFolder(WindowsPath("MW_BUILD_DIR") + "ui-handover\\" + name + "\\");
        downloads_ = FreshFolder(folder_ + "downloads\\");
        EXPECT_TRUE(
            CopyFileA((WindowsPath("MW_BIN_DIR") + "marrowby.exe").c_str(), (folder_ + "marrowby.exe").c_str(), FALSE));
        ProgramSettings settings;
        SetDefaultSettings(&settings, folder_.c_str());
        settings.autoStart = autoStart ? 1 : 0;
        snprintf(settings.defaultFolder, sizeof(settings.defaultFolder), "%s", downloads_.c_str());
        ExtraSettings extra;
        SetDefaultExtraSettings(&extra);
        extra.balloonNotices = balloons ? 1 : 0;
        std::vector<uint8_t> bytes(kSettingsSize + kSettingsBlockMaxSize);
        EncodeSettings(settings, bytes.data());
        bytes.resize(kSettingsSize + EncodeSettingsBlock(extra, bytes.data() + kSettingsSize));
        WriteWholeFile(folder_ + "vorn.cfg", std::string(bytes.begin(), bytes.end()));
        WriteStartList(folder_ + "default.wrg", downloads_, list);
        return folder_;
    }

    HANDLE Start(const std::string& arguments, DWORD* id)
    {
        return Launch("\"" + folder_ + "marrowby.exe\" " + arguments, folder_, nullptr, id);
    }

    // Starts the program that stays and waits for its window.
    Program& StartFirst(const std::string& arguments)
    {
        programs_.emplace_back();
        Program& program = programs_.back();
        program.process = Start(arguments, &program.id);
        EXPECT_NE(nullptr, program.process);
        program.main = WaitForWindow(program.id, "Tessaline", 20000);
        EXPECT_NE(nullptr, program.main);
        program.list = FindWindowExA(program.main, nullptr, "SysListView32", nullptr);
        return program;
    }

    // Closes it as the close box does; returns the list file it saved.
    std::string Close(Program& program)
    {
        PostMessageA(program.main, WM_CLOSE, 0, 0);
        EXPECT_EQ(0u, WaitForExit(program.process, 30000));
        CloseHandle(program.process);
        program.process = nullptr;
        return ReadWholeFile(folder_ + "default.wrg");
    }

    int Rows(const Program& program) { return static_cast<int>(SendMessageA(program.list, LVM_GETITEMCOUNT, 0, 0)); }

    // Brings the program to the front with its list focused and one row
    // selected (Home, then Down as often as asked).
    void SelectRow(const Program& program, int row)
    {
        // Another program's window may still be taking the front: insist.
        WaitUntil(
            [&] {
                SetForegroundWindow(program.main);
                Sleep(200);
                return GetForegroundWindow() == program.main;
            },
            10000);
        PressKeys({VK_HOME});
        for (int i = 0; i < row; ++i) PressKeys({VK_DOWN});
    }

    // Opens the rows' context menu from the keyboard and picks an entry by
    // its letter.
    void RowMenu(WORD letter)
    {
        PressKeys({VK_SHIFT, VK_F10});
        ASSERT_NE(nullptr, WaitForWindow(0, "#32768", 5000)) << "no context menu";
        PressKeys({letter});
    }

    // Answers the program's confirmation with Yes or No; returns its text.
    // A question is titled with the program's name.
    std::string Answer(const Program& program, int button)
    {
        HWND box = WaitForWindow(program.id, "#32770", 10000);
        if (box == nullptr) return "";
        std::string text = DialogText(box);
        char title[64] = "";
        GetWindowTextA(box, title, sizeof(title));
        EXPECT_STREQ("Marrowby", title);
        PostMessageA(box, WM_COMMAND, button, 0);
        WaitUntil([&] { return !IsWindow(box); }, 5000);
        return text;
    }

    std::string base_;
    std::string folder_;
    std::string downloads_;
    std::vector<Program> programs_;
};

// A second start with addresses and a URL list hands them to the running
// program and ends; the running one downloads them. A start without
// arguments ends too. Once the first has gone, a start is the first again.
TEST_F(HandoverTest, SecondStartHandsItsCommandLineToTheRunningProgram)
{
    ProgramFolder("handover", true, false, {});
    std::string a = base_ + "hoa/a.bin?size=20000";
    std::string b = base_ + "hob/b.bin?size=3000";
    std::string c = base_ + "hoc/c.bin?size=4000";
    std::string d = base_ + "hod/d.bin?size=5000";
    std::string overlong = base_ + "hox/" + std::string(9000, 'x');
    WriteWholeFile(folder_ + "urls.txt", b + "\r\nftp://127.0.0.1/skipped\r\n" + overlong + "\r\n\r\n" + c + "\r\n");
    Program& first = StartFirst("\"" + a + "\"");
    ASSERT_NE(nullptr, first.main);

    DWORD secondId = 0;
    HANDLE second = Start("/import urls.txt \"" + d + "\" not-an-address", &secondId);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(0u, WaitForExit(second, 40000));
    CloseHandle(second);
    // The list was read, all but its overlong address: the message says so,
    // not that the list could not be opened.
    HWND box = WaitForWindow(first.id, "#32770", 10000);
    ASSERT_NE(nullptr, box);
    EXPECT_NE(std::string::npos, DialogText(box).find("8192")) << DialogText(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    HANDLE third = Start("", &secondId);
    EXPECT_EQ(0u, WaitForExit(third, 40000));
    CloseHandle(third);
    EXPECT_EQ(1u, VisibleWindows(0, "Tessaline").size());

    bool all = WaitUntil(
        [&] {
            return ReadWholeFile(downloads_ + "a.bin") == Pattern(20000) &&
                   ReadWholeFile(downloads_ + "b.bin") == Pattern(3000) &&
                   ReadWholeFile(downloads_ + "c.bin") == Pattern(4000) &&
                   ReadWholeFile(downloads_ + "d.bin") == Pattern(5000);
        },
        30000);
    EXPECT_TRUE(all);
    EXPECT_EQ(4, Rows(first));
    std::string list = Close(first);
    EXPECT_EQ(4, CountOf(list, "\r\nUrl="));
    size_t at = 0;
    for (const std::string& url : {a, b, c, d}) {  // in the order they came
        size_t found = list.find("Url=" + url + "\r\n");
        EXPECT_NE(std::string::npos, found) << url;
        EXPECT_GT(found, at) << url;
        at = found;
    }
    EXPECT_EQ(std::string::npos, list.find("not-an-address"));

    // No program runs in the folder now: this start is the first.
    Program& again = StartFirst("\"" + base_ + "hoe/e.bin?size=100\"");
    ASSERT_NE(nullptr, again.main);
    EXPECT_TRUE(WaitUntil([&] { return ReadWholeFile(downloads_ + "e.bin") == Pattern(100); }, 20000));

    // A hand-over while the user fills in the new-download sheet: the
    // address is added and the sheet, not the list, comes to the front.
    PostMessageA(again.main, WM_COMMAND, IDM_DOWNLOAD_NEW, 0);
    HWND sheet = WaitForWindow(again.id, "#32770", 10000);
    ASSERT_NE(nullptr, sheet);
    HANDLE fourth = Start("\"" + base_ + "hof/f.bin?size=200\"", &secondId);
    EXPECT_EQ(0u, WaitForExit(fourth, 40000));
    CloseHandle(fourth);
    EXPECT_TRUE(WaitUntil([&] { return ReadWholeFile(downloads_ + "f.bin") == Pattern(200); }, 20000));
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == sheet; }, 5000)) << GetForegroundWindow();
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(sheet); }, 5000));
    EXPECT_EQ(6, CountOf(Close(again), "\r\nUrl="));
}

// Ctrl+V and the Edit menu add the clipboard's http(s) addresses, one a
// line; the rows' context menu (from the keyboard) copies an address,
// restarts a paused download from byte 0, deletes a row and keeps its file,
// deletes another with its file only after Yes, and opens a finished file's
// folder and the file itself. Commands that need a finished file do nothing
// on a paused row.
TEST_F(HandoverTest, PasteAndTheRowsContextMenu)
{
    std::string readme = base_ + "hmr/readme.ini?size=5120";
    std::string kept = base_ + "hmk/kept.bin?size=3000";
    std::string gone = base_ + "hmg/gone.bin?size=2000";
    std::string part = base_ + "hmp/part.bin?size=6000";
    std::string dl = WindowsPath("MW_BUILD_DIR") + "ui-handover\\menu\\downloads\\";
    ProgramFolder("menu", false, false,
                  {{readme, 1, 5120, dl + "readme.ini"},
                   {kept, 1, 3000, dl + "kept.bin"},
                   {gone, 1, 2000, dl + "gone.bin"},
                   {part, 2, 6000, dl + "part.bin"}});
    ASSERT_EQ(dl, downloads_);
    WriteWholeFile(downloads_ + "readme.ini", Pattern(5120));
    WriteWholeFile(downloads_ + "kept.bin", Pattern(3000));
    WriteWholeFile(downloads_ + "gone.bin", Pattern(2000));
    WriteWholeFile(downloads_ + "part.bin", Pattern(1000));  // paused after 1,000 bytes
    Program& program = StartFirst("");
    ASSERT_NE(nullptr, program.main);
    ASSERT_EQ(4, Rows(program));

    std::string pasted[] = {base_ + "hm1/one.bin", base_ + "hm2/two.bin?x=1", "https://127.0.0.1:9/three.bin"};
    // Words around the addresses (Japanese "download:" in code page 932), a
    // note after a tab and brackets are no part of them.
    ASSERT_TRUE(SetClipboard("  \x83_\x83\x45\x83\x93\x83\x8d\x81[\x83h: " + pasted[0] + "\r\nnot an address\r\n" +
                             pasted[1] + "\t(2KB)\nftp://127.0.0.1/f\r\n\t<" + pasted[2] + "> \r\n\r\n"));
    SelectRow(program, 0);
    PressKeys({VK_CONTROL, 'V'});
    EXPECT_TRUE(WaitUntil([&] { return Rows(program) == 7; }, 5000)) << Rows(program);
    PostMessageA(program.main, WM_COMMAND, 40150, 0);  // Edit, Paste Addresses
    EXPECT_TRUE(WaitUntil([&] { return Rows(program) == 10; }, 5000)) << Rows(program);
    // A text without an address adds nothing, and says so.
    ASSERT_TRUE(SetClipboard("www.example.com/a.zip\r\nftp://127.0.0.1/f\r\n"));
    PressKeys({VK_CONTROL, 'V'});
    EXPECT_EQ(ProgramText(IDS_PASTE_NO_ADDRESS), Answer(program, IDOK));
    EXPECT_EQ(10, Rows(program));

    for (int i = 0; i < 3; ++i) {
        SelectRow(program, 4 + i);
        RowMenu('C');
        EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == pasted[i]; }, 5000)) << ClipboardText();
    }
    SelectRow(program, 1);
    RowMenu('C');
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == kept; }, 5000)) << ClipboardText();

    // Open needs a finished file: on the paused row it opens nothing.
    SelectRow(program, 3);
    RowMenu('O');
    PressKeys({VK_ESCAPE});
    Sleep(2000);
    EXPECT_TRUE(VisibleWindows(0, nullptr, "part").empty());

    // Restart: asked first, then fetched whole from byte 0 (no Range).
    SelectRow(program, 3);
    RowMenu('B');
    EXPECT_NE(std::string::npos, Answer(program, IDYES).find("part.bin"));
    EXPECT_TRUE(WaitUntil([&] { return ReadWholeFile(downloads_ + "part.bin") == Pattern(6000); }, 20000));
    std::string request = ReadWholeFile(WindowsPath("MW_SERVER_DIR_WIN") + "requests\\hmp.1");
    EXPECT_NE(std::string::npos, request.find("GET /hmp/part.bin")) << request;
    EXPECT_EQ(std::string::npos, request.find("Range:")) << request;

    // Delete keeps the file; delete with the file asks, and No keeps both.
    SelectRow(program, 1);
    RowMenu('D');
    EXPECT_TRUE(WaitUntil([&] { return Rows(program) == 9; }, 5000));
    EXPECT_EQ(Pattern(3000), ReadWholeFile(downloads_ + "kept.bin"));
    SelectRow(program, 1);  // now gone.bin
    RowMenu('L');
    EXPECT_NE(std::string::npos, Answer(program, IDNO).find("1"));
    EXPECT_EQ(9, Rows(program));
    EXPECT_TRUE(FileExists(downloads_ + "gone.bin"));
    // Yes deletes the file with the side and state files of its segments,
    // and nothing else of that name.
    WriteWholeFile(downloads_ + "gone.bin.mwpart", Pattern(2000));
    WriteWholeFile(downloads_ + "gone.bin.segments", "state");
    WriteWholeFile(downloads_ + "gone.bin.txt", "kept");
    SelectRow(program, 1);
    RowMenu('L');
    Answer(program, IDYES);
    EXPECT_TRUE(WaitUntil([&] { return Rows(program) == 8; }, 5000));
    EXPECT_FALSE(FileExists(downloads_ + "gone.bin"));
    EXPECT_FALSE(FileExists(downloads_ + "gone.bin.mwpart"));
    EXPECT_FALSE(FileExists(downloads_ + "gone.bin.segments"));
    EXPECT_EQ("kept", ReadWholeFile(downloads_ + "gone.bin.txt"));

    // The finished file's folder, then the file, each in a window of its own.
    SelectRow(program, 0);
    RowMenu('F');
    HWND folder = WaitForWindow(0, nullptr, 30000, "downloads");
    EXPECT_NE(nullptr, folder) << "no window shows the folder";
    if (folder != nullptr) PostMessageA(folder, WM_CLOSE, 0, 0);
    WaitUntil([&] { return !IsWindow(folder); }, 10000);
    SelectRow(program, 0);
    RowMenu('O');
    HWND file = WaitForWindow(0, nullptr, 30000, "readme");
    EXPECT_NE(nullptr, file) << "no window shows the file";
    if (file != nullptr) PostMessageA(file, WM_CLOSE, 0, 0);
    WaitUntil([&] { return !IsWindow(file); }, 10000);

    // The menu as it looks on a finished row.
    SelectRow(program, 0);
    PressKeys({VK_SHIFT, VK_F10});
    ASSERT_NE(nullptr, WaitForWindow(0, "#32768", 5000));
    Sleep(500);
    WriteShot("marrowby-row-menu", program.main, WaitForWindow(0, "#32768", 5000));
    PressKeys({VK_ESCAPE});

    std::string list = Close(program);
    for (const std::string& url : pasted) EXPECT_EQ(2, CountOf(list, "Url=" + url + "\r\n")) << url;
    EXPECT_EQ(std::string::npos, list.find("not an address"));
    EXPECT_EQ(std::string::npos, list.find("Url=" + kept + "\r\n"));
    EXPECT_EQ(std::string::npos, list.find("Url=" + gone + "\r\n"));
}

// A window of the test's own that stays in front while it pumps messages.
struct FrontWindow {
    HWND window = nullptr;
    FrontWindow()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = "HandoverTestFront";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, wc.lpszClassName, "in front", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 200, 400, 250,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        SetForegroundWindow(window);
    }
    ~FrontWindow() { DestroyWindow(window); }
    // Pumps until check() holds or timeoutMs pass.
    template <typename Check>
    bool PumpUntil(Check check, DWORD timeoutMs)
    {
        for (DWORD start = GetTickCount(); !check(); Sleep(50)) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            if (GetTickCount() - start > timeoutMs) return false;
        }
        return true;
    }
};

// The notification area's windows (the shell's, not this process's).
bool BalloonShown()
{
    return !VisibleWindows(0, "tooltips_class32").empty();
}
bool TrayShown()
{
    return !VisibleWindows(0, "__winex11_standalone_tray").empty() || !VisibleWindows(0, "Shell_TrayWnd").empty();
}

// The texts of the visible balloons: the shell's tooltips, not the program's
// own (its rows' tooltip).
std::vector<std::string> BalloonTexts(const Program& program)
{
    std::vector<std::string> texts;
    for (HWND tip : VisibleWindows(0, "tooltips_class32")) {
        DWORD owner = 0;
        GetWindowThreadProcessId(tip, &owner);
        if (owner == program.id) continue;
        char text[512] = "";
        DWORD_PTR length = 0;
        SendMessageTimeoutA(tip, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &length);
        texts.push_back(text);
    }
    return texts;
}

// A download that ends while another window is in front brings a balloon
// from the program's notification-area icon, which goes with the program.
// With balloons off in the settings no icon comes; the options sheet shows
// the setting and turns it on, and the settings file keeps it.
TEST_F(HandoverTest, BalloonWhenADownloadEndsBehindAnotherWindow)
{
    std::string slow = base_ + "hbl/ended.bin?size=100000&slow=100";
    ProgramFolder("balloon", true, true, {{slow, 0, 0, ""}});
    {
        FrontWindow front;
        Program& program = StartFirst("");
        ASSERT_NE(nullptr, program.main);
        SetForegroundWindow(front.window);
        EXPECT_TRUE(front.PumpUntil([&] { return ReadWholeFile(downloads_ + "ended.bin") == Pattern(100000); }, 30000));
        EXPECT_TRUE(front.PumpUntil(BalloonShown, 15000));
        EXPECT_TRUE(TrayShown());
        WriteShot("marrowby-balloon", program.main, front.window);
        Close(program);
        EXPECT_TRUE(front.PumpUntil([] { return !TrayShown(); }, 15000)) << "the icon stayed";
    }

    ProgramFolder("no-balloon", true, false, {{slow, 0, 0, ""}});
    FrontWindow front;
    Program& program = StartFirst("");
    ASSERT_NE(nullptr, program.main);
    SetForegroundWindow(front.window);
    EXPECT_TRUE(front.PumpUntil([&] { return ReadWholeFile(downloads_ + "ended.bin") == Pattern(100000); }, 30000));
    EXPECT_FALSE(front.PumpUntil([] { return BalloonShown() || TrayShown(); }, 4000));

    PostMessageA(program.main, WM_COMMAND, 40024, 0);  // program options
    HWND sheet = WaitForWindow(program.id, "#32770", 10000);
    ASSERT_NE(nullptr, sheet);
    HWND page = FindWindowExA(sheet, nullptr, "#32770", nullptr);
    HWND box = page != nullptr ? GetDlgItem(page, 2150) : nullptr;
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(BST_UNCHECKED, SendMessageA(box, BM_GETCHECK, 0, 0));
    SendMessageA(box, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, SendMessageA(box, BM_GETCHECK, 0, 0));
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(sheet); }, 10000));
    Close(program);
    std::string stored = ReadWholeFile(folder_ + "vorn.cfg");
    ASSERT_GT(stored.size(), kSettingsSize);
    ExtraSettings extra;
    EXPECT_EQ(0, DecodeSettingsBlock(reinterpret_cast<const uint8_t*>(stored.data()) + kSettingsSize,
                                     stored.size() - kSettingsSize, &extra));
    EXPECT_EQ(1, extra.balloonNotices);
}

}  // namespace

namespace {

// While the program's own window is in front, downloads that end (one
// finished, one refused with 404) bring no balloon and no icon. Behind
// another window, a download that fails (the server closes early) brings a
// balloon that names the file and gives the reason in the program's words.
TEST_F(HandoverTest, BalloonForAFailureOnlyBehindAnotherWindow)
{
    ProgramFolder("balloon-front", true, true, {});
    Program& program = StartFirst("");
    ASSERT_NE(nullptr, program.main);
    std::string done = base_ + "hbd/done.bin?size=3000";
    // 1,000 of 100,000 bytes, then the connection stays silent for 10 s and closes.
    std::string behind = base_ + "hbb/behind.bin?size=100000&cut=1000&hold=10";
    ASSERT_TRUE(SetClipboard(base_ + "hbm/front-missing.bin?status=404\r\n" + done + "\r\n" + behind + "\r\n"));
    SelectRow(program, 0);
    PressKeys({VK_CONTROL, 'V'});
    EXPECT_TRUE(WaitUntil([&] { return ReadWholeFile(downloads_ + "done.bin") == Pattern(3000); }, 20000));
    std::string requests = WindowsPath("MW_SERVER_DIR_WIN") + "requests\\";
    EXPECT_TRUE(WaitUntil([&] { return FileExists(requests + "hbm.1"); }, 20000));
    bool noticed = WaitUntil([&] { return !BalloonTexts(program).empty() || TrayShown(); }, 3000);
    EXPECT_FALSE(noticed) << "a balloon while the program was in front";
    EXPECT_EQ(program.main, GetForegroundWindow());

    FrontWindow front;
    ASSERT_TRUE(front.PumpUntil(
        [&] {
            SetForegroundWindow(front.window);
            return GetForegroundWindow() == front.window;
        },
        5000));
    std::string balloon;
    bool shown = front.PumpUntil(
        [&] {
            std::vector<std::string> texts = BalloonTexts(program);
            balloon = texts.empty() ? "" : texts[0];
            return !balloon.empty();
        },
        30000);
    ASSERT_TRUE(shown) << "no balloon for the failure";
    EXPECT_NE(std::string::npos, balloon.find("behind.bin")) << balloon;
    EXPECT_NE(std::string::npos, balloon.find(ProgramText(IDS_REASON_SHORT_BODY))) << balloon;
    EXPECT_EQ(std::string::npos, balloon.find("front-missing")) << balloon;
    EXPECT_TRUE(TrayShown());
    WriteShot("marrowby-balloon-failed", program.main, front.window);
    Close(program);
    EXPECT_TRUE(front.PumpUntil([] { return !TrayShown(); }, 15000)) << "the icon stayed";
}

}  // namespace
