// tidewell.exe as a person runs it, checked from outside: started in a
// program folder of its own (with its temporary folder set), against records
// written by tidewell-publish and served by nginx, archives from nginx and
// the scripted server. Window texts, the progress bar's position, the status
// line's pixels and the files left behind are read; screenshots of each step
// go to build/screenshots/.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>
#include <windows.h>
#include <commctrl.h>

#include "tests/support/tool_run.h"
#include "tests/ui/png_file.h"
#include "tests/ui/program_support.h"
#include "tests/updater/record_bytes.h"
#include "tests/updater/tidewell_texts.h"
#include "tidewell/resources/resource.h"

namespace {

const char kProductA[] = "0123456789abcdef0123456789abcdef";
const char kProductB[] = "fedcba9876543210fedcba9876543210";
// The notes as the publisher writes them (UTF-8) and as the dialog shows
// them (Shift-JIS with CR LF).
const char kNotesUtf8[] =
    "Marrowby 0.24 \xe3\x81\xae\xe6\x9b\xb4\xe6\x96\xb0\xe5\x86\x85\xe5\xae\xb9\n"
    "\xe3\x83\xbb\xe3\x83\x80\xe3\x82\xa6\xe3\x83\xb3\xe3\x83\xad\xe3\x83\xbc\xe3\x83\x89\xe3\x81\x8c"
    "\xe9\x80\x9f\xe3\x81\x8f\xe3\x81\xaa\xe3\x82\x8a\xe3\x81\xbe\xe3\x81\x97\xe3\x81\x9f\n"
    "\xe3\x83\xbb\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4"
    "\xe3\x83\xab\xe5\x90\x8d\xe3\x81\xab\xe5\xaf\xbe\xe5\xbf\x9c\xe3\x81\x97\xe3\x81\xbe\xe3\x81\x97\xe3\x81\x9f";
const char kNotesSjis[] =
    "Marrowby 0.24 \x82\xcc\x8d\x58\x90\x56\x93\xe0\x97\x65\r\n"
    "\x81\x45\x83\x5f\x83\x45\x83\x93\x83\x8d\x81\x5b\x83\x68\x82\xaa\x91\xac\x82\xad\x82\xc8\x82\xe8\x82\xdc"
    "\x82\xb5\x82\xbd\r\n"
    "\x81\x45\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xc9\x91\xce\x89\x9e"
    "\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
const char kDialogCaption[] = "\x8d\x58\x90\x56\x93\xe0\x97\x65";  // the dialog's caption
const char kStatusFace[] = "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e";

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

// Asked of the window itself: another process's edit control keeps its
// text where GetWindowText does not look.
std::string WindowText(HWND window)
{
    static char text[65536];
    text[0] = '\0';
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        &length);
    return std::string(text, length < sizeof(text) ? length : 0);
}

struct WindowSearch {
    DWORD processId;
    const char* windowClass;
    HWND found;
};

// Enumeration callbacks are stdcall functions: a lambda is not one in a
// 32-bit build.
BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM lParam)
{
    auto* s = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = "";
    GetClassNameA(window, name, sizeof(name));
    if (owner == s->processId && strcmp(name, s->windowClass) == 0 && IsWindowVisible(window)) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

// The visible top-level windows of one process with the given class.
HWND FindProcessWindow(DWORD processId, const char* windowClass)
{
    WindowSearch search = {processId, windowClass, nullptr};
    EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK AddStaticText(HWND child, LPARAM lParam)
{
    char name[32] = "";
    GetClassNameA(child, name, sizeof(name));
    if (_stricmp(name, "Static") == 0) *reinterpret_cast<std::string*>(lParam) += WindowText(child);
    return TRUE;
}

// The texts of a message box's static controls, joined.
std::string MessageBoxText(HWND box)
{
    std::string texts;
    EnumChildWindows(box, AddStaticText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// The status line as the window draws it: its font, black on white.
struct Rendered {
    SIZE size = {};
    std::vector<uint32_t> pixels;
};

Rendered RenderStatusText(const char* text)
{
    Rendered out;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    // English Windows: Tahoma in the Western character set.
    bool english = EnglishUserInterface();
    HFONT font = CreateFontA(12, 0, 0, 900, FW_NORMAL, FALSE, FALSE, FALSE, english ? ANSI_CHARSET : SHIFTJIS_CHARSET,
                             0, 0, 0, 0x40, english ? "Tahoma" : kStatusFace);
    HGDIOBJ oldFont = SelectObject(memory, font);
    int length = static_cast<int>(strlen(text));
    GetTextExtentPoint32A(memory, text, length, &out.size);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = out.size.cx;
    info.bmiHeader.biHeight = -out.size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(memory, dib);
    TextOutA(memory, 0, 0, text, length);
    GdiFlush();
    const uint32_t* source = static_cast<const uint32_t*>(bits);
    out.pixels.assign(source, source + static_cast<size_t>(out.size.cx) * out.size.cy);
    for (uint32_t& p : out.pixels) p &= 0xFFFFFF;
    SelectObject(memory, oldBitmap);
    SelectObject(memory, oldFont);
    DeleteObject(dib);
    DeleteObject(font);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return out;
}

// Pixels of the window's status line that differ from text drawn there.
int StatusLineDifferences(HWND window, const char* text)
{
    Rendered expected = RenderStatusText(text);
    POINT origin = {118, 52};
    ClientToScreen(window, &origin);
    ScreenPixels screen;
    CaptureScreen(&screen);
    int differences = 0;
    for (int y = 0; y < expected.size.cy; ++y) {
        for (int x = 0; x < expected.size.cx; ++x) {
            int sx = origin.x + x;
            int sy = origin.y + y;
            bool inside = sx >= 0 && sy >= 0 && sx < screen.width && sy < screen.height;
            differences += !inside || screen.pixels[static_cast<size_t>(sy) * screen.width + sx] !=
                                          expected.pixels[static_cast<size_t>(y) * expected.size.cx + x];
        }
    }
    return differences;
}

// Waits until the status line shows text (the steps run every 16 ms).
bool StatusShows(HWND window, const char* text, DWORD timeoutMs = 15000)
{
    return WaitUntil([&] { return StatusLineDifferences(window, text) == 0; }, timeoutMs);
}

// Saves the part of the screen that holds the given windows.
void Screenshot(const char* name, std::initializer_list<HWND> windows)
{
    RECT area = {};
    for (HWND window : windows) {
        RECT r;
        if (window && GetWindowRect(window, &r)) UnionRect(&area, &area, &r);
    }
    ScreenPixels screen;
    CaptureScreen(&screen);
    area.left = area.left < 0 ? 0 : area.left;
    area.top = area.top < 0 ? 0 : area.top;
    area.right = area.right > screen.width ? screen.width : area.right;
    area.bottom = area.bottom > screen.height ? screen.height : area.bottom;
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    ASSERT_GT(width, 0);
    ASSERT_GT(height, 0);
    std::vector<uint32_t> pixels;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            pixels.push_back(screen.pixels[static_cast<size_t>(y) * screen.width + x]);
    // The 32-bit programs' pictures go elsewhere (MW_SCREENSHOT_DIR).
    std::string folder = getenv("MW_SCREENSHOT_DIR") ? WindowsPath("MW_SCREENSHOT_DIR")
                                                     : WindowsPath("MW_SOURCE_DIR") + "build\\screenshots\\";
    MakeFolders(folder);
    EXPECT_TRUE(WritePng(folder + name, width, height, pixels));
}

// One run of tidewell.exe in a program folder of its own.
class TidewellRun {
public:
    TidewellRun(const std::string& folder, const std::string& temp, const std::string& arguments)
        : folder_(folder), temp_(temp)
    {
        std::string command = "\"" + folder + "tidewell.exe\"" + (arguments.empty() ? "" : " " + arguments);
        std::string tempSetting = temp.substr(0, temp.size() - 1);
        process_ = Launch(command, folder, nullptr, &processId_, {"TMP=" + tempSetting, "TEMP=" + tempSetting});
    }

    ~TidewellRun()
    {
        if (process_) {
            if (WaitForExit(process_, 0) == STILL_ACTIVE) TerminateProcess(process_, 1);  // only when a check failed
            CloseHandle(process_);
        }
    }

    bool Started() const { return process_ != nullptr; }
    HWND Window(const char* windowClass) const { return FindProcessWindow(processId_, windowClass); }
    HWND Main() const { return Window("Tidewell"); }
    HWND Dialog() const { return Window("#32770"); }

    HWND WaitForWindow(const char* windowClass, DWORD timeoutMs = 15000) const
    {
        HWND found = nullptr;
        WaitUntil([&] { return (found = Window(windowClass)) != nullptr; }, timeoutMs);
        return found;
    }

    HWND Button() const { return GetDlgItem(Main(), 100); }
    HWND Progress() const { return GetDlgItem(Main(), 101); }
    int ProgressPosition() const { return static_cast<int>(SendMessageA(Progress(), PBM_GETPOS, 0, 0)); }

    // Waits until the action button shows string id (and is visible).
    bool ButtonShows(int id, DWORD timeoutMs = 15000) const
    {
        return WaitUntil([&] { return IsWindowVisible(Button()) && WindowText(Button()) == TextOf(id); }, timeoutMs);
    }

    void ClickButton() const
    {
        PostMessageA(Main(), WM_COMMAND, MAKEWPARAM(100, BN_CLICKED), reinterpret_cast<LPARAM>(Button()));
    }

    DWORD Exit(DWORD timeoutMs = 15000) const { return WaitForExit(process_, timeoutMs); }

private:
    std::string folder_;
    std::string temp_;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

class TidewellProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* scripted = getenv("MW_HTTP_PORT");
        const char* nginx = getenv("MW_NGINX_PORT");
        if (!scripted || !nginx || !getenv("MW_SERVER_DIR_WIN") || !getenv("MW_BIN_DIR"))
            GTEST_SKIP() << "needs the test servers (servers.py with nginx) and MW_BIN_DIR";
        scripted_ = std::string("http://127.0.0.1:") + scripted + "/";
        nginx_ = std::string("http://127.0.0.1:") + nginx + "/";
        www_ = WindowsPath("MW_SERVER_DIR_WIN") + "www\\";
        name_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    // A fresh program folder with tidewell.exe (a copy of updater) and a
    // fresh temporary folder.
    std::string ProgramFolder(const std::string& name, const char* updater = "tidewell.exe")
    {
        std::string base = WindowsPath("MW_BUILD_DIR") + "updater-program\\" + name_ + "\\" + name + "\\";
        folder_ = FreshFolder(base + "program\\");
        temp_ = FreshFolder(base + "temp\\");
        EXPECT_TRUE(
            CopyFileA((WindowsPath("MW_BIN_DIR") + updater).c_str(), (folder_ + "tidewell.exe").c_str(), FALSE));
        return folder_;
    }

    // Writes a format-2 record with tidewell-publish; extra holds further
    // options. Returns the tool's exit status.
    int Publish(const std::string& path, const char* id, const char* version, const std::string& extra)
    {
        std::string notes = www_ + "notes.txt";
        WriteWholeFile(notes, notes_);
        ToolRun run = RunTool(ToolBinary("tidewell-publish"),
                              "write " + Quote(path) + " --id " + id + " --version " + version +
                                  " --product Marrowby --program marrowby.exe --notes " + Quote(notes) + " " + extra);
        EXPECT_EQ(0, run.status) << run.output;
        return run.status;
    }

    // A record served by nginx at tw/<test>/<name>; returns its URL.
    std::string ServedRecord(const char* name, const char* id, const char* version, const std::string& extra,
                             const std::string& server = "")
    {
        std::string folder = www_ + "tw\\" + name_ + "\\";
        MakeFolders(folder);
        std::string url = (server.empty() ? nginx_ : server) + "tw/" + name_ + "/" + name;
        Publish(folder + name, id, version, "--info-url " + url + " " + extra);
        return url;
    }

    void InstallRecord(const char* id, const char* version, const std::string& infoUrl)
    {
        Publish(folder_ + "marrowby.qvn", id, version, "--info-url " + infoUrl);
    }

    std::string ArchivePath() const { return www_ + "update\\marrowby-0.24.lzh"; }

    // The test publisher's key, built into tidewell-keyed.exe.
    std::string SignOption() const
    {
        return "--sign " + Quote(WindowsPath("MW_SOURCE_DIR") + "tests\\updater\\test-publisher.key");
    }

    // The whole update from Marrowby's menu with updater as tidewell.exe and
    // every record written with sign (empty: unsigned).
    void WholeUpdate(const char* updater, const std::string& sign);

    std::string scripted_, nginx_, www_, name_, folder_, temp_;
    std::string notes_ = kNotesUtf8;
};

void ExpectStartupMessage(TidewellRun& run, int id)
{
    ASSERT_TRUE(run.Started());
    HWND box = run.WaitForWindow("#32770");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(TextOf(id), MessageBoxText(box));
    EXPECT_EQ(nullptr, run.Main());  // no window before start-up succeeded
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(1u, run.Exit());  // a failure message: a failing exit code
}

TEST_F(TidewellProgram, StartupMessagesComeWithoutAWindow)
{
    {
        ProgramFolder("nothing");  // no information file, no arguments
        TidewellRun run(folder_, temp_, "");
        ExpectStartupMessage(run, IDS_INFO_FILE_UNREADABLE);
    }
    {
        ProgramFolder("format1");  // format 1 installed: whatever the command line says
        RecordBytes one = Record1(0x01000000);
        WriteWholeFile(folder_ + "old.qvn", std::string(one.begin(), one.end()));
        TidewellRun run(folder_, temp_, "\"" + nginx_ + "none.qvn\"");
        ExpectStartupMessage(run, IDS_INFO_FILE_NO_URL);
    }
    {
        ProgramFolder("short");  // a format-2 file cut before its fixed part ends
        RecordBytes two = Record2(0x01000000);
        WriteWholeFile(folder_ + "cut.qvn", std::string(two.begin(), two.begin() + 369));
        TidewellRun run(folder_, temp_, "");
        ExpectStartupMessage(run, IDS_INFO_FILE_UNREADABLE);
    }
}

TEST_F(TidewellProgram, UpdatesThroughFetchDialogDownloadCrcAndExtraction)
{
    std::string archive = ReadWholeFile(ArchivePath());
    if (archive.empty()) GTEST_SKIP() << "no archive (jlha missing)";
    ProgramFolder("e2e");
    std::string url =
        ServedRecord("marrowby.qvn", kProductA, "0.24.0.0",
                     "--archive-url " + nginx_ + "update/marrowby-0.24.lzh --archive " + Quote(ArchivePath()));
    InstallRecord(kProductA, "0.23.0.0", url);
    std::string installed = ReadWholeFile(folder_ + "marrowby.qvn");
    TidewellRun run(folder_, temp_, "");
    ASSERT_TRUE(run.Started());

    HWND dialog = run.WaitForWindow("#32770");
    ASSERT_NE(nullptr, dialog);
    HWND main = run.Main();
    ASSERT_NE(nullptr, main);
    RECT client;
    GetClientRect(main, &client);
    EXPECT_EQ(328, client.right);
    EXPECT_EQ(120, client.bottom);
    EXPECT_EQ("Tidewell2.0", WindowText(main));
    EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_RUN_UPDATE));
    EXPECT_FALSE(IsWindowVisible(run.Progress()));
    EXPECT_EQ(kDialogCaption, WindowText(dialog));
    EXPECT_EQ(TextOf(IDS_TITLE_NEWER), WindowText(GetDlgItem(dialog, IDC_CONFIRM_TITLE)));
    EXPECT_EQ("0.23.0.0", WindowText(GetDlgItem(dialog, IDC_CONFIRM_INSTALLED_VERSION)));
    EXPECT_EQ("0.24.0.0", WindowText(GetDlgItem(dialog, IDC_CONFIRM_NEW_VERSION)));
    EXPECT_EQ(kNotesSjis, WindowText(GetDlgItem(dialog, IDC_CONFIRM_NOTES)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    EXPECT_EQ(IDOK, LOWORD(SendMessageA(dialog, DM_GETDEFID, 0, 0)));
    Screenshot("tidewell-confirm.png", {main, dialog});

    // Accepting downloads the archive into the temporary folder, checks its
    // CRC and extracts it into the program folder; the information file then
    // holds the served record. Without flag 0x40 the window stays.
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_EXIT, 30000));
    EXPECT_TRUE(StatusShows(main, TextOf(IDS_UPDATE_FINISHED)));
    EXPECT_EQ(100, run.ProgressPosition());
    EXPECT_FALSE(IsWindowVisible(run.Progress()));
    EXPECT_EQ(archive, ReadWholeFile(temp_ + "marrowby-0.24.lzh"));  // the archive stays
    for (const char* name : {"marrowby.exe", "readme.txt", "doc\\history.txt"})
        EXPECT_EQ(ReadWholeFile(www_ + "update\\files\\" + name), ReadWholeFile(folder_ + name)) << name;
    EXPECT_EQ(ReadWholeFile(www_ + "tw\\" + name_ + "\\marrowby.qvn"), ReadWholeFile(folder_ + "marrowby.qvn"));
    EXPECT_NE(installed, ReadWholeFile(folder_ + "marrowby.qvn"));
    EXPECT_FALSE(FileExists(folder_ + "~tidewell-update"));
    Screenshot("tidewell-finished.png", {main});
    run.ClickButton();
    EXPECT_EQ(0u, run.Exit());
}

TEST_F(TidewellProgram, ProgressOfACutArchiveAndTheCloseBoxDuringADownload)
{
    // No installed record: the URL comes from the command line. The archive
    // stops at 40,000 of 100,000 bytes for four seconds, then ends short.
    ProgramFolder("cut");
    std::string url = ServedRecord("cut.qvn", kProductA, "0.24.0.0",
                                   "--archive-url " + Quote(scripted_ + "twcut/a.lzh?size=100000&cut=40000&hold=4"));
    {
        TidewellRun run(folder_, temp_, "\"" + url + "\"");
        HWND dialog = run.WaitForWindow("#32770");
        ASSERT_NE(nullptr, dialog);
        EXPECT_EQ(TextOf(IDS_VERSION_UNKNOWN), WindowText(GetDlgItem(dialog, IDC_CONFIRM_INSTALLED_VERSION)));
        EXPECT_EQ(TextOf(IDS_TITLE_NEWER), WindowText(GetDlgItem(dialog, IDC_CONFIRM_TITLE)));
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        HWND main = run.Main();
        EXPECT_TRUE(WaitUntil([&] { return run.ProgressPosition() == 40; }, 15000));
        EXPECT_TRUE(IsWindowVisible(run.Progress()));
        EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_CANCEL));
        EXPECT_TRUE(StatusShows(main, "     40000 /     100000 ( 40% )", 3000));
        Screenshot("tidewell-download.png", {main});
        // The body ends short of its Content-Length: failed, no file left.
        EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_EXIT, 20000));
        EXPECT_TRUE(StatusShows(main, TextOf(IDS_ARCHIVE_NOT_FOUND)));
        EXPECT_FALSE(IsWindowVisible(run.Progress()));
        EXPECT_FALSE(FileExists(temp_ + "a.lzh_size=100000&cut=40000&hold=4"));
        PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(1u, run.Exit());  // closed after a failure: still a failing run
    }
    std::string request = ReadWholeFile(WindowsPath("MW_SERVER_DIR_WIN") + "requests\\twcut.1");
    EXPECT_NE(std::string::npos, request.find("\r\nUser-Agent: Tidewell/2.0\r\n")) << request;

    // The close box during a slow download stops the transfer, deletes the
    // partial file and ends the process.
    ProgramFolder("close");
    url = ServedRecord("slow.qvn", kProductA, "0.24.0.0",
                       "--archive-url " + Quote(scripted_ + "twslow/b.lzh?size=3000000&slow=40"));
    TidewellRun run(folder_, temp_, "\"" + url + "\"");
    HWND dialog = run.WaitForWindow("#32770");
    ASSERT_NE(nullptr, dialog);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    std::string partial = temp_ + "b.lzh_size=3000000&slow=40";
    EXPECT_TRUE(WaitUntil([&] { return run.ProgressPosition() >= 1; }, 15000));
    EXPECT_TRUE(FileExists(partial));
    PostMessageA(run.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0u, run.Exit(10000));
    EXPECT_FALSE(FileExists(partial));
}

TEST_F(TidewellProgram, DialogTitleRuleDisabledUpdateAndCancel)
{
    // Equal versions and no archive offered.
    ProgramFolder("same");
    std::string url = ServedRecord("same.qvn", kProductA, "0.24.0.0", "");
    InstallRecord(kProductA, "0.24.0.0", url);
    TidewellRun run(folder_, temp_, "");
    HWND dialog = run.WaitForWindow("#32770");
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(TextOf(IDS_TITLE_CURRENT), WindowText(GetDlgItem(dialog, IDC_CONFIRM_TITLE)));
    EXPECT_EQ("0.24.0.0", WindowText(GetDlgItem(dialog, IDC_CONFIRM_INSTALLED_VERSION)));
    EXPECT_EQ("0.24.0.0", WindowText(GetDlgItem(dialog, IDC_CONFIRM_NEW_VERSION)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));
    EXPECT_EQ(IDCANCEL, LOWORD(SendMessageA(dialog, DM_GETDEFID, 0, 0)));
    // The disabled button's command changes nothing.
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(IsWindow(dialog));
    Screenshot("tidewell-confirm-current.png", {run.Main(), dialog});
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    HWND main = run.Main();
    EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_EXIT));
    EXPECT_TRUE(StatusShows(main, TextOf(IDS_UPDATE_CANCELLED)));
    Screenshot("tidewell-cancelled.png", {main});
    run.ClickButton();
    EXPECT_EQ(0u, run.Exit());

    // Closing the window while the dialog is up ends the program.
    TidewellRun again(folder_, temp_, "");
    ASSERT_NE(nullptr, again.WaitForWindow("#32770"));
    PostMessageA(again.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, again.Exit());

    // An older version offered with its archive: said so, and Enter (the
    // default button) cancels instead of going back.
    ProgramFolder("older");
    url = ServedRecord("older.qvn", kProductA, "0.22.0.0", "--archive-url " + Quote(scripted_ + "twold/a.lzh"));
    InstallRecord(kProductA, "0.24.0.0", url);
    TidewellRun older(folder_, temp_, "");
    HWND olderDialog = older.WaitForWindow("#32770");
    ASSERT_NE(nullptr, olderDialog);
    EXPECT_EQ(TextOf(IDS_TITLE_OLDER), WindowText(GetDlgItem(olderDialog, IDC_CONFIRM_TITLE)));
    EXPECT_EQ("0.22.0.0", WindowText(GetDlgItem(olderDialog, IDC_CONFIRM_NEW_VERSION)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(olderDialog, IDOK)));
    EXPECT_EQ(IDCANCEL, LOWORD(SendMessageA(olderDialog, DM_GETDEFID, 0, 0)));
    PostMessageA(olderDialog, WM_COMMAND, LOWORD(SendMessageA(olderDialog, DM_GETDEFID, 0, 0)), 0);
    EXPECT_TRUE(older.ButtonShows(IDS_BUTTON_EXIT));
    EXPECT_TRUE(StatusShows(older.Main(), TextOf(IDS_UPDATE_CANCELLED)));
    EXPECT_EQ("", ReadWholeFile(WindowsPath("MW_SERVER_DIR_WIN") + "requests\\twold.1"));
    older.ClickButton();
    EXPECT_EQ(0u, older.Exit());
}

TEST_F(TidewellProgram, FailedStepsEndWithTheirMessage)
{
    // The archive's CRC differs from the record's: stopped before extraction.
    ProgramFolder("crc");
    std::string other = www_ + "notes.txt";  // a file that is not the archive
    WriteWholeFile(other, "not the archive");
    std::string url =
        ServedRecord("crc.qvn", kProductA, "0.24.0.0",
                     "--archive-url " + Quote(scripted_ + "twcrc/p.lzh?size=5000") + " --archive " + Quote(other));
    InstallRecord(kProductA, "0.23.0.0", url);
    {
        TidewellRun run(folder_, temp_, "");
        HWND dialog = run.WaitForWindow("#32770");
        ASSERT_NE(nullptr, dialog);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_EXIT));
        EXPECT_TRUE(StatusShows(run.Main(), TextOf(IDS_CRC_MISMATCH)));
        EXPECT_FALSE(FileExists(temp_ + "p.lzh_size=5000"));  // nothing may open it later
        Screenshot("tidewell-crc-mismatch.png", {run.Main()});
        run.ClickButton();
        EXPECT_EQ(1u, run.Exit());
    }
    std::string request = ReadWholeFile(WindowsPath("MW_SERVER_DIR_WIN") + "requests\\twcrc.1");
    EXPECT_NE(std::string::npos, request.find("\r\nUser-Agent: Marrowby Tidewell/2.0\r\n")) << request;

    // Another product's update information: no dialog.
    ProgramFolder("product");
    url = ServedRecord("product.qvn", kProductB, "0.24.0.0", "");
    InstallRecord(kProductA, "0.23.0.0", url);
    {
        TidewellRun run(folder_, temp_, "");
        EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_EXIT));
        EXPECT_TRUE(StatusShows(run.Main(), TextOf(IDS_OTHER_PRODUCT)));
        EXPECT_EQ(nullptr, run.Dialog());
        Screenshot("tidewell-other-product.png", {run.Main()});
        run.ClickButton();
        EXPECT_EQ(1u, run.Exit());
    }

    // A URL whose connection cannot even be opened ends instead of waiting.
    ProgramFolder("unopened");
    {
        TidewellRun run(folder_, temp_, "\"http:///info.qvn\"");
        EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_EXIT));
        EXPECT_TRUE(StatusShows(run.Main(), TextOf(IDS_INFO_NOT_FETCHED)));
        run.ClickButton();
        EXPECT_EQ(1u, run.Exit());
    }

    // A served record cut before its fixed part ends: the exit button, as after every
    // other failure.
    ProgramFolder("invalid");
    url = ServedRecord("short.qvn", kProductA, "0.24.0.0", "");
    std::string served = www_ + "tw\\" + name_ + "\\short.qvn";
    WriteWholeFile(served, ReadWholeFile(served).substr(0, 300));
    InstallRecord(kProductA, "0.23.0.0", url);
    {
        TidewellRun run(folder_, temp_, "");
        EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_EXIT));
        EXPECT_TRUE(StatusShows(run.Main(), TextOf(IDS_INFO_INVALID)));
        EXPECT_EQ(nullptr, run.Dialog());
        run.ClickButton();
        EXPECT_EQ(1u, run.Exit());
    }

    // While the information arrives slowly: fetching, and the button ends it.
    ProgramFolder("fetching");
    {
        TidewellRun run(folder_, temp_, "\"" + scripted_ + "twfetch/i.qvn?size=60000&slow=300\"");
        HWND main = run.WaitForWindow("Tidewell");
        ASSERT_NE(nullptr, main);
        EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_CANCEL));
        EXPECT_TRUE(StatusShows(main, TextOf(IDS_FETCHING_INFO), 3000));
        EXPECT_FALSE(IsWindowVisible(run.Progress()));
        Screenshot("tidewell-fetching.png", {main});
        run.ClickButton();
        EXPECT_EQ(0u, run.Exit(5000));
    }
}

// The one window of the class, and its process (opened to await its end).
HWND WaitForClass(const char* windowClass, HANDLE* process = nullptr)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowA(windowClass, nullptr)) && IsWindowVisible(found); }, 20000);
    DWORD processId = 0;
    GetWindowThreadProcessId(found, &processId);
    if (process) *process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, processId);
    return found;
}

// The whole update as a person runs it: Marrowby's menu command hands over
// to Tidewell, which fetches, asks, downloads, extracts (replacing both
// programs, its own running one included), rewrites the information file,
// starts the new Marrowby and ends; the next run finds nothing newer.
void TidewellProgram::WholeUpdate(const char* updater, const std::string& sign)
{
    std::string served = www_ + "update\\e2e\\";
    std::string archive = served + "marrowby-1.0.0.1.lzh";
    if (!FileExists(archive)) GTEST_SKIP() << "no update archive (jlha missing, or update_site.py without --bin)";
    EXPECT_EQ("-lh7-", ReadWholeFile(archive).substr(2, 5));  // the 64 KB dictionary throughout
    ProgramFolder("e2e", updater);
    for (const char* folder : {"doc", "data", "~tidewell-update"}) std::filesystem::remove_all(folder_ + folder);
    std::string installed = ReadWholeFile(WindowsPath("MW_BIN_DIR") + "marrowby.exe");
    WriteWholeFile(folder_ + "marrowby.exe", installed + std::string("\0installed 1.0.0.0", 19));
    std::string options = "--archive " + Quote(archive) + " --start-program " + sign;  // flags 0x08 and 0x40
    std::string url = ServedRecord("e2e.qvn", kProductA, "1.0.0.1",
                                   "--archive-url " + nginx_ + "update/e2e/marrowby-1.0.0.1.lzh " + options);
    Publish(folder_ + "marrowby.qvn", kProductA, "1.0.0.0", "--info-url " + url + " " + options);
    // A list for Marrowby to read, and save again as its own.
    WriteWholeFile(folder_ + "default.wrg",
                   "; Created by test\r\n;\r\nRefererStr=\r\nStoreIn=" + folder_ +
                       "\r\n_RemoteFileSize=-1\r\n_State=2\r\nUrl=http://127.0.0.1:9/kept.bin\r\n");

    // Marrowby runs with the test's temporary folder, which Tidewell inherits.
    std::string tempSetting = temp_.substr(0, temp_.size() - 1);
    HANDLE old = Launch("\"" + folder_ + "marrowby.exe\"", folder_, nullptr, nullptr,
                        {"TMP=" + tempSetting, "TEMP=" + tempSetting});
    ASSERT_NE(nullptr, old);
    HWND oldWindow = WaitForClass("Tessaline");
    ASSERT_NE(nullptr, oldWindow);
    PostMessageA(oldWindow, WM_COMMAND, 40029, 0);  // the menu's "download the latest version"
    EXPECT_EQ(0u, WaitForExit(old, 30000));
    CloseHandle(old);
    std::string saved = ReadWholeFile(folder_ + "default.wrg");
    EXPECT_EQ(0u, saved.find("; Created by Marrowby/0.23")) << saved;
    EXPECT_NE(std::string::npos, saved.find("Url=http://127.0.0.1:9/kept.bin")) << saved;

    HANDLE tidewell = nullptr;
    HWND main = WaitForClass("Tidewell", &tidewell);
    ASSERT_NE(nullptr, tidewell);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (dialog = FindProcessWindow(GetProcessId(tidewell), "#32770")); }, 20000));
    EXPECT_EQ(TextOf(IDS_TITLE_NEWER), WindowText(GetDlgItem(dialog, IDC_CONFIRM_TITLE)));
    EXPECT_EQ("1.0.0.0", WindowText(GetDlgItem(dialog, IDC_CONFIRM_INSTALLED_VERSION)));
    EXPECT_EQ("1.0.0.1", WindowText(GetDlgItem(dialog, IDC_CONFIRM_NEW_VERSION)));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);

    // The large first entry keeps its progress line up long enough to see.
    std::string progress = std::string(TextOf(IDS_UPDATING_FILES)) + " ( 1/4 )";
    EXPECT_TRUE(StatusShows(main, progress.c_str(), 30000));
    Screenshot("tidewell-extracting.png", {main});
    EXPECT_EQ(0u, WaitForExit(tidewell, 30000));
    TerminateProcess(tidewell, 1);  // only when it did not end
    CloseHandle(tidewell);

    for (const char* name : {"marrowby.exe", "tidewell.exe", "doc\\history.txt", "data\\big.bin"})
        EXPECT_TRUE(ReadWholeFile(served + "files\\" + name) == ReadWholeFile(folder_ + name)) << name;
    EXPECT_EQ(ReadWholeFile(www_ + "tw\\" + name_ + "\\e2e.qvn"), ReadWholeFile(folder_ + "marrowby.qvn"));
    // The replaced updater could not be deleted while it ran.
    EXPECT_TRUE(FileExists(folder_ + "~tidewell-update\\old\\tidewell.exe"));
    EXPECT_FALSE(FileExists(folder_ + "~tidewell-update\\new"));

    HANDLE fresh = nullptr;  // the old Marrowby has ended: this is the new one
    HWND restarted = WaitForClass("Tessaline", &fresh);
    ASSERT_NE(nullptr, fresh);
    // It reads the list the old one saved.
    HWND rows = FindWindowExA(restarted, nullptr, "SysListView32", nullptr);
    EXPECT_TRUE(WaitUntil([&] { return SendMessageA(rows, LVM_GETITEMCOUNT, 0, 0) == 1; }, 10000));
    Sleep(500);  // painted before the picture is taken
    Screenshot("marrowby-restarted.png", {restarted});
    PostMessageA(restarted, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, WaitForExit(fresh, 30000));
    CloseHandle(fresh);

    // The next run: nothing newer, and the leftover is gone.
    TidewellRun again(folder_, temp_, "");
    HWND current = again.WaitForWindow("#32770");
    ASSERT_NE(nullptr, current);
    EXPECT_EQ(TextOf(IDS_TITLE_CURRENT), WindowText(GetDlgItem(current, IDC_CONFIRM_TITLE)));
    EXPECT_FALSE(FileExists(folder_ + "~tidewell-update"));
    Sleep(500);  // painted before the picture is taken
    Screenshot("tidewell-current.png", {again.Main(), current});
    PostMessageA(current, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(again.ButtonShows(IDS_BUTTON_EXIT));
    again.ClickButton();
    EXPECT_EQ(0u, again.Exit());
}

TEST_F(TidewellProgram, WholeUpdateFromMarrowbysMenuToTheRestartedProgram)
{
    WholeUpdate("tidewell.exe", "");
}

// The same with the test publisher's key built into the updater and every
// record signed: the signature, the archive's SHA-256 and, on the next run,
// the signer remembered from the installed record all agree.
TEST_F(TidewellProgram, SignedWholeUpdateWithABuiltInKey)
{
    WholeUpdate("tidewell-keyed.exe", SignOption());
}

// Both resources over https from nginx with the run's own certificates: the
// whole update. A certificate of an authority the system does not trust or
// an expired one stops at step 1, one for another host name at step 5;
// nothing is downloaded either way.
TEST_F(TidewellProgram, UpdatesOverHttpsAndRefusesCertificatesItCannotTrust)
{
    const char* trusted = getenv("MW_NGINX_TLS_PORT");
    const char* untrusted = getenv("MW_NGINX_UNTRUSTED_PORT");
    const char* wrongName = getenv("MW_NGINX_WRONGNAME_PORT");
    const char* expired = getenv("MW_NGINX_EXPIRED_PORT");
    std::string archive = ReadWholeFile(ArchivePath());
    if (!trusted || !untrusted || !wrongName || !expired || archive.empty())
        GTEST_SKIP() << "needs nginx over TLS (servers.py --tls-helper) and the archive (jlha)";
    auto server = [](const char* port) { return std::string("https://localhost:") + port + "/"; };
    const std::string offered = "--archive " + Quote(ArchivePath()) + " --archive-url ";
    const std::string archivePath = "update/marrowby-0.24.lzh";

    ProgramFolder("https");
    std::string url =
        ServedRecord("https.qvn", kProductA, "0.24.0.0", offered + server(trusted) + archivePath, server(trusted));
    InstallRecord(kProductA, "0.23.0.0", url);
    {
        TidewellRun run(folder_, temp_, "");
        HWND dialog = run.WaitForWindow("#32770");
        ASSERT_NE(nullptr, dialog);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_EXIT, 30000));
        EXPECT_TRUE(StatusShows(run.Main(), TextOf(IDS_UPDATE_FINISHED)));
        run.ClickButton();
        EXPECT_EQ(0u, run.Exit());
    }
    EXPECT_EQ(archive, ReadWholeFile(temp_ + "marrowby-0.24.lzh"));
    EXPECT_EQ(ReadWholeFile(www_ + "update\\files\\readme.txt"), ReadWholeFile(folder_ + "readme.txt"));
    EXPECT_EQ(ReadWholeFile(www_ + "tw\\" + name_ + "\\https.qvn"), ReadWholeFile(folder_ + "marrowby.qvn"));

    struct Refused {
        const char* folder;
        const char* infoPort;
        const char* archivePort;
        int status;
    } const kRefused[] = {{"untrusted", untrusted, trusted, IDS_INFO_NOT_FETCHED},
                          {"expired", expired, trusted, IDS_INFO_NOT_FETCHED},
                          {"wrong-name", trusted, wrongName, IDS_ARCHIVE_NOT_FOUND}};
    for (const Refused& refused : kRefused) {
        SCOPED_TRACE(refused.folder);
        ProgramFolder(refused.folder);
        url = ServedRecord((std::string(refused.folder) + ".qvn").c_str(), kProductA, "0.24.0.0",
                           offered + server(refused.archivePort) + archivePath, server(refused.infoPort));
        InstallRecord(kProductA, "0.23.0.0", url);
        std::string installed = ReadWholeFile(folder_ + "marrowby.qvn");
        TidewellRun run(folder_, temp_, "");
        if (HWND dialog = refused.status == IDS_ARCHIVE_NOT_FOUND ? run.WaitForWindow("#32770") : nullptr)
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_EXIT, 30000));
        EXPECT_TRUE(StatusShows(run.Main(), TextOf(refused.status)));
        EXPECT_FALSE(FileExists(temp_ + "marrowby-0.24.lzh"));
        EXPECT_FALSE(FileExists(folder_ + "readme.txt"));
        EXPECT_EQ(installed, ReadWholeFile(folder_ + "marrowby.qvn"));
        Screenshot((std::string("tidewell-https-") + refused.folder + ".png").c_str(), {run.Main()});
        run.ClickButton();
        EXPECT_EQ(1u, run.Exit());
    }
}

// Every file below folder with its bytes, to compare a folder before and after.
std::map<std::string, std::string> FolderContents(const std::string& folder)
{
    std::map<std::string, std::string> contents;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        contents[entry.path().string()] = entry.is_regular_file() ? ReadWholeFile(entry.path().string()) : "<dir>";
    return contents;
}

// The archive with its last three bytes changed so that its CRC-16 stays:
// only the SHA-256 can tell the two apart. The CRC is affine in the data, so
// the change must have a CRC of 0 from a zero register.
std::string SameCrcTwin(const std::string& archive)
{
    auto zeroCrc = [](const uint8_t* bytes, size_t length) {
        uint16_t crc = 0;
        for (size_t n = 0; n < length; ++n) {
            crc ^= static_cast<uint16_t>(bytes[n] << 8);
            for (int i = 0; i < 8; ++i) crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        }
        return crc;
    };
    for (uint32_t tail = 1; tail < 0x10000; ++tail) {
        uint8_t change[3] = {0x01, static_cast<uint8_t>(tail >> 8), static_cast<uint8_t>(tail)};
        if (zeroCrc(change, 3) != 0) continue;
        std::string twin = archive;
        for (int i = 0; i < 3; ++i)
            twin[twin.size() - 3 + i] = static_cast<char>(twin[twin.size() - 3 + i] ^ change[i]);
        return twin;
    }
    return archive;
}

// Tidewell with the test publisher's key built in: a signed update applies;
// an unsigned record, one signed by another key, one changed in a byte, one
// with its signature cut or its block lengthened, and an older validly
// signed one are each refused before the dialog, and an archive that is not
// the signed one (with the same CRC-16) after its download. A refusal shows
// its message and leaves the program folder exactly as it was.
TEST_F(TidewellProgram, KeyedUpdaterAppliesSignedAndRefusesWhatItCannotTrust)
{
    std::string archive = ReadWholeFile(ArchivePath());
    if (archive.empty()) GTEST_SKIP() << "no archive (jlha missing)";
    std::string site = www_ + "tw\\" + name_ + "\\";
    MakeFolders(site);
    std::string otherKey = site + "other.key";
    DeleteFileA(otherKey.c_str());
    DeleteFileA((site + "other.pub").c_str());
    ToolRun keygen =
        RunTool(ToolBinary("tidewell-publish"), "keygen " + Quote(otherKey) + " " + Quote(site + "other.pub"));
    ASSERT_EQ(0, keygen.status) << keygen.output;
    std::string twin = SameCrcTwin(archive);
    ASSERT_NE(archive, twin);
    ASSERT_EQ(BitwiseCrc16(reinterpret_cast<const uint8_t*>(archive.data()), archive.size()),
              BitwiseCrc16(reinterpret_cast<const uint8_t*>(twin.data()), twin.size()));
    WriteWholeFile(site + "twin.lzh", twin);
    const std::string offered = "--archive " + Quote(ArchivePath()) + " --archive-url ";
    const std::string realArchive = offered + nginx_ + "update/marrowby-0.24.lzh ";

    ProgramFolder("signed", "tidewell-keyed.exe");
    InstallRecord(kProductA, "0.23.0.0", ServedRecord("signed.qvn", kProductA, "0.24.0.0", realArchive + SignOption()));
    {
        TidewellRun run(folder_, temp_, "");
        HWND dialog = run.WaitForWindow("#32770");
        ASSERT_NE(nullptr, dialog);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_EXIT, 30000));
        EXPECT_TRUE(StatusShows(run.Main(), TextOf(IDS_UPDATE_FINISHED)));
        run.ClickButton();
        EXPECT_EQ(0u, run.Exit());
    }
    EXPECT_EQ(ReadWholeFile(www_ + "update\\files\\readme.txt"), ReadWholeFile(folder_ + "readme.txt"));
    EXPECT_EQ(ReadWholeFile(site + "signed.qvn"), ReadWholeFile(folder_ + "marrowby.qvn"));

    struct Hostile {
        const char* name;
        const char* version;
        std::string options;
        std::function<void(std::string*)> spoil;  // applied to the served record
        int message;
    } const kHostile[] = {
        {"unsigned", "0.24.0.0", realArchive, nullptr, IDS_RECORD_UNSIGNED},
        {"other-key", "0.24.0.0", realArchive + "--sign " + Quote(otherKey), nullptr, IDS_RECORD_OTHER_KEY},
        {"changed", "0.24.0.0", realArchive + SignOption(), [](std::string* r) { (*r)[15] ^= 0x01; },
         IDS_RECORD_SIGNATURE_BAD},
        {"cut", "0.24.0.0", realArchive + SignOption(), [](std::string* r) { r->resize(r->size() - 20); },
         IDS_RECORD_SIGNATURE_BAD},
        {"long-block", "0.24.0.0", realArchive + SignOption(), [](std::string* r) { r->push_back('\0'); },
         IDS_RECORD_SIGNATURE_BAD},
        {"older", "0.22.0.0", realArchive + SignOption(), nullptr, IDS_OLDER_NOT_OFFERED},
        {"twin-archive", "0.24.0.0", offered + nginx_ + "tw/" + name_ + "/twin.lzh " + SignOption(), nullptr,
         IDS_ARCHIVE_DIGEST_MISMATCH},
    };
    for (const Hostile& hostile : kHostile) {
        SCOPED_TRACE(hostile.name);
        std::string recordName = std::string(hostile.name) + ".qvn";
        std::string url = ServedRecord(recordName.c_str(), kProductA, hostile.version, hostile.options);
        if (hostile.spoil) {
            std::string bytes = ReadWholeFile(site + recordName);
            hostile.spoil(&bytes);
            WriteWholeFile(site + recordName, bytes);
        }
        ProgramFolder(hostile.name, "tidewell-keyed.exe");
        InstallRecord(kProductA, "0.23.0.0", url);
        std::map<std::string, std::string> before = FolderContents(folder_);
        TidewellRun run(folder_, temp_, "");
        if (hostile.message == IDS_ARCHIVE_DIGEST_MISMATCH) {
            HWND dialog = run.WaitForWindow("#32770");
            ASSERT_NE(nullptr, dialog);
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        }
        EXPECT_TRUE(run.ButtonShows(IDS_BUTTON_EXIT, 30000));
        EXPECT_TRUE(StatusShows(run.Main(), TextOf(hostile.message)));
        EXPECT_EQ(nullptr, run.Dialog());
        if (hostile.message == IDS_RECORD_UNSIGNED) Screenshot("tidewell-unsigned.png", {run.Main()});
        run.ClickButton();
        EXPECT_EQ(1u, run.Exit());
        EXPECT_TRUE(before == FolderContents(folder_));
        EXPECT_FALSE(FileExists(folder_ + "readme.txt"));
    }
}

// Tidewell for a user of English Windows (the English prefix, as
// updater_program_tests_en): the start-up message, the confirmation dialog,
// the button and the status line in English.
TEST_F(TidewellProgram, EnglishMessageDialogAndWindow)
{
    if (!EnglishUserInterface()) GTEST_SKIP() << "runs for English Windows only";
    {
        ProgramFolder("nothing");  // no information file
        TidewellRun run(folder_, temp_, "");
        ASSERT_TRUE(run.Started());
        HWND box = run.WaitForWindow("#32770");
        ASSERT_NE(nullptr, box);
        EXPECT_EQ("The Tidewell information file cannot be read", MessageBoxText(box));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(1u, run.Exit());
    }
    if (ReadWholeFile(ArchivePath()).empty()) GTEST_SKIP() << "no archive (jlha missing)";
    notes_ = "Marrowby 0.24\n- Downloads are faster\n- Japanese file names work";
    ProgramFolder("e2e");
    std::string url =
        ServedRecord("marrowby.qvn", kProductA, "0.24.0.0",
                     "--archive-url " + nginx_ + "update/marrowby-0.24.lzh --archive " + Quote(ArchivePath()));
    InstallRecord(kProductA, "0.23.0.0", url);
    TidewellRun run(folder_, temp_, "");
    ASSERT_TRUE(run.Started());
    HWND dialog = run.WaitForWindow("#32770");
    ASSERT_NE(nullptr, dialog);
    HWND main = run.Main();
    ASSERT_NE(nullptr, main);
    EXPECT_TRUE(WaitUntil([&] { return WindowText(run.Button()) == "Run Update"; }, 15000));
    EXPECT_EQ("Update Details", WindowText(dialog));
    EXPECT_EQ("The latest version can be downloaded", WindowText(GetDlgItem(dialog, IDC_CONFIRM_TITLE)));
    EXPECT_EQ("0.23.0.0", WindowText(GetDlgItem(dialog, IDC_CONFIRM_INSTALLED_VERSION)));
    EXPECT_EQ("Marrowby 0.24\r\n- Downloads are faster\r\n- Japanese file names work",
              WindowText(GetDlgItem(dialog, IDC_CONFIRM_NOTES)));
    EXPECT_EQ("Update", WindowText(GetDlgItem(dialog, IDOK)));
    EXPECT_EQ("Cancel", WindowText(GetDlgItem(dialog, IDCANCEL)));
    std::string labels = MessageBoxText(dialog);  // every static text, joined
    EXPECT_NE(std::string::npos, labels.find("Installed version")) << labels;
    EXPECT_NE(std::string::npos, labels.find("Latest version")) << labels;
    Screenshot("tidewell-confirm-en.png", {main, dialog});

    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(run.Button()) && WindowText(run.Button()) == "Exit"; }, 30000));
    EXPECT_TRUE(StatusShows(main, "The software update has finished"));
    Screenshot("tidewell-finished-en.png", {main});
    run.ClickButton();
    EXPECT_EQ(0u, run.Exit());
}

}  // namespace
