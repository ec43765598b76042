// marrowby.exe as a user runs it: started in a fresh program folder with a
// settings file and a list file, downloading from the scripted servers, and
// closed through its main window. Also takes the screenshot of the window.
#include <gtest/gtest.h>

#include <ctype.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "marrowby/app/settings_format.h"
#include "marrowby/engine/segment_plan.h"
#include "marrowby/resources/resource.h"
#include "tests/support/served_pattern.h"
#include "tests/support/sparse_files.h"
#include "tests/ui/png_file.h"
#include "tests/ui/program_support.h"
#include "tests/ui/window_host.h"
#include "tidewell/updater/signing.h"

namespace {

// Sends WM_CLOSE to marrowby's main window through the helper program.
DWORD CloseMainWindow(const std::string& folder, DWORD processId, const char* desktop)
{
    std::string command = "\"" + WindowsPath("MW_BIN_DIR") + "wm_close.exe\"";
    if (processId) command += " " + std::to_string(processId);
    HANDLE helper = Launch(command, folder, desktop);
    if (!helper) return 99;
    DWORD code = WaitForExit(helper, 20000);
    CloseHandle(helper);
    return code;
}

bool WaitForFiles(const std::vector<std::pair<std::string, std::string>>& expected, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        bool all = true;
        for (const auto& file : expected) all = all && ReadWholeFile(file.first) == file.second;
        if (all) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(200);
    }
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port_ = getenv("MW_HTTP_PORT") ? getenv("MW_HTTP_PORT") : "";
        if (port_.empty() || !getenv("MW_BIN_DIR"))
            GTEST_SKIP() << "needs the scripted servers (servers.py) and MW_BIN_DIR";
        base_ = "http://127.0.0.1:" + port_ + "/";
    }

    // A program folder holding a copy of marrowby.exe.
    std::string ProgramFolder(const char* name)
    {
        std::string folder = FreshFolder(WindowsPath("MW_BUILD_DIR") + "ui-program\\" + name + "\\");
        EXPECT_TRUE(
            CopyFileA((WindowsPath("MW_BIN_DIR") + "marrowby.exe").c_str(), (folder + "marrowby.exe").c_str(), FALSE));
        return folder;
    }

    std::string port_;
    std::string base_;
};

TEST_F(ProgramTest, DownloadsItsListAndSavesItWhenClosed)
{
    std::string folder = ProgramFolder("e2e");
    std::string downloads = FreshFolder(folder + "downloads\\");
    WriteSettingsFile(folder, true, 2, "");
    // delta.bin was cut off after 40,000 bytes in an earlier run.
    WriteWholeFile(downloads + "delta.bin", Pattern(0, 40000));
    std::vector<StartRecord> records = {
        {base_ + "e2e1/alpha.bin?size=150000", 0, 0, ""},
        {base_ + "e2e2/beta.bin?size=333333", 0, 0, ""},
        {base_ + "e2e3/gamma.txt?size=1", 0, 0, ""},
        {base_ + "e2e4/delta.bin?size=120000", 0, 120000, downloads + "delta.bin"},
        {base_ + "e2e5/epsilon.bin?size=70000&nolen=1", 0, 0, ""},
    };
    WriteStartList(folder + "default.wrg", downloads, records);

    DWORD processId = 0;
    HANDLE program = Launch("\"" + folder + "marrowby.exe\"", folder, nullptr, &processId);
    ASSERT_NE(nullptr, program);
    bool complete = WaitForFiles({{downloads + "alpha.bin", Pattern(0, 150000)},
                                  {downloads + "beta.bin", Pattern(0, 333333)},
                                  {downloads + "gamma.txt", Pattern(0, 1)},
                                  {downloads + "delta.bin", Pattern(0, 120000)},
                                  {downloads + "epsilon.bin", Pattern(0, 70000)}},
                                 60000);
    EXPECT_TRUE(complete);
    // The files are whole; give the window the moment it needs to see the
    // connections end before it is closed.
    Sleep(1500);
    EXPECT_EQ(0u, CloseMainWindow(folder, processId, nullptr));
    EXPECT_EQ(0u, WaitForExit(program, 30000));
    TerminateProcess(program, 1);  // only if it failed to close
    CloseHandle(program);

    std::string list = ReadWholeFile(folder + "default.wrg");
    EXPECT_EQ(0u, list.find("; Created by Marrowby/0.23 ( built on Tessaline )\r\n")) << list;
    for (const char* name : {"alpha.bin", "beta.bin", "gamma.txt", "delta.bin", "epsilon.bin"}) {
        std::string real = "\r\n_State=1\r\n_RealFileName=" + downloads + name + "\r\nUrl=";
        EXPECT_NE(std::string::npos, list.find(real)) << name << "\n" << list;
    }
    EXPECT_EQ(std::string::npos, list.find("_State=0")) << list;
    std::string settings = ReadWholeFile(folder + "vorn.cfg");
    ASSERT_LT(kSettingsSize + kSettingsBlockHeaderSize, settings.size());
    EXPECT_EQ(0, memcmp(settings.data(), "VORN", 4));
    EXPECT_EQ(0, memcmp(settings.data() + kSettingsSize, "VRNX", 4));
    // The partial file was resumed, not fetched again.
    std::string resumed = ReadWholeFile(std::string(getenv("MW_SERVER_DIR_WIN")) + "\\requests\\e2e4.1");
    EXPECT_NE(std::string::npos, resumed.find("Range: bytes=40000-")) << resumed;
}

// A list file with a download of 5,000,000,000 bytes whose partial file
// of 4.5 GiB is on disk: the program reads both numbers, resumes at 4.5 GiB
// (only 160 MiB travel, from nginx) and saves the 64-bit size again.
TEST_F(ProgramTest, ResumesAFileBeyond4GiBAndSavesItsSize)
{
    const int64_t size = INT64_C(5000000000);
    const int64_t have = INT64_C(4831838208);
    const char* nginx = getenv("MW_NGINX_PORT");
    std::string served = WindowsPath("MW_SERVER_DIR_WIN") + "www\\sparse-5000000000.bin";
    if (!nginx || GetFileAttributesA(served.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "needs nginx with servers.py --sparse 5000000000";
    std::string folder = ProgramFolder("big");
    std::string downloads = FreshFolder(folder + "downloads\\");
    std::string partial = downloads + "sparse-5000000000.bin";
    WriteSettingsFile(folder, true, 1, "", 1);  // one connection: the one request below
    ASSERT_TRUE(sparse::MakePartialFile(partial, have));
    std::string url = "http://127.0.0.1:" + std::string(nginx) + "/sparse-5000000000.bin";
    WriteStartList(folder + "default.wrg", downloads, {{url, 0, size, partial}});

    DWORD processId = 0;
    HANDLE program = Launch("\"" + folder + "marrowby.exe\"", folder, nullptr, &processId);
    ASSERT_NE(nullptr, program);
    DWORD start = GetTickCount();
    while (sparse::FileSize(partial) != size && GetTickCount() - start < 60000) Sleep(200);
    EXPECT_EQ(size, sparse::FileSize(partial));
    Sleep(1500);  // the window sees the connection end
    EXPECT_EQ(0u, CloseMainWindow(folder, processId, nullptr));
    EXPECT_EQ(0u, WaitForExit(program, 30000));
    TerminateProcess(program, 1);  // only if it failed to close
    CloseHandle(program);

    std::string list = ReadWholeFile(folder + "default.wrg");
    EXPECT_NE(std::string::npos,
              list.find("_RemoteFileSize=5000000000\r\n_State=1\r\n_RealFileName=" + partial + "\r\n_ETag="))
        << list;
    EXPECT_NE(std::string::npos, list.find("\r\nUrl=" + url + "\r\n")) << list;
    std::string log = ReadWholeFile(WindowsPath("MW_SERVER_DIR_WIN") + "nginx-access.log");
    EXPECT_NE(std::string::npos,
              log.find("\"GET /sparse-5000000000.bin HTTP/1.0\" \"bytes=4831838208-\" 206 168161792"))
        << log;
    EXPECT_TRUE(sparse::ResumedExactlyAt(partial, size, have));
    EXPECT_TRUE(DeleteFileA(partial.c_str()));
}

struct ProcessWindows {
    DWORD processId;
    const char* windowClass;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<ProcessWindows*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = "";
    GetClassNameA(window, name, sizeof(name));
    if (owner == search->processId && strcmp(name, search->windowClass) == 0 && IsWindowVisible(window))
        search->found.push_back(window);
    return TRUE;
}

// A visible top-level window of the class that the process shows.
HWND WaitForWindowOf(DWORD processId, const char* windowClass, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        ProcessWindows search = {processId, windowClass, {}};
        EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found.empty()) return search.found[0];
        if (GetTickCount() - start > timeoutMs) return nullptr;
        Sleep(100);
    }
}

// The longest static text of a dialog of another process: a message box's text.
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

// The path a saved list gives a URL's download ("_RealFileName"), or "".
std::string SavedFileOf(const std::string& list, const std::string& url)
{
    size_t at = list.find("\r\nUrl=" + url + "\r\n");
    if (at == std::string::npos) return "";
    size_t record = list.rfind(";\r\n", at);
    size_t key = list.find("_RealFileName=", record);
    if (key == std::string::npos || key > at) return "";
    key += strlen("_RealFileName=");
    return list.substr(key, list.find("\r\n", key) - key);
}

std::string ServedFile(const std::string& name)
{
    return WindowsPath("MW_SERVER_DIR_WIN") + "www\\" + name;
}

// Downloads never share a file: three items whose names agree (one only in
// letter case) start together and end in three files. A download whose file
// is complete, started again, stays complete and its file untouched (the
// server refuses the range, 416). A download whose file changed on the
// server since it began is fetched whole again instead of spliced.
TEST_F(ProgramTest, OneFilePerDownloadAndResumesThatCheckTheServersFile)
{
    const char* nginx = getenv("MW_NGINX_PORT");
    if (!nginx) GTEST_SKIP() << "needs nginx";
    const std::string served = "http://127.0.0.1:" + std::string(nginx) + "/";
    std::string folder = ProgramFolder("names");
    std::string downloads = FreshFolder(folder + "downloads\\");
    WriteSettingsFile(folder, true, 5, "");
    WriteWholeFile(ServedFile("whole.bin"), Pattern(0, 50000));
    WriteWholeFile(downloads + "whole.bin", Pattern(0, 50000));
    WriteWholeFile(ServedFile("changed.bin"), Pattern(0, 200000));
    WriteWholeFile(downloads + "changed.bin", std::string(60000, 'o'));  // begun on the old file
    FILETIME before = {};
    HANDLE whole = CreateFileA((downloads + "whole.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               0, nullptr);
    GetFileTime(whole, nullptr, nullptr, &before);
    CloseHandle(whole);
    const std::vector<std::pair<std::string, size_t>> same = {
        {base_ + "same1/same.bin?size=150000&slow=5", 150000},
        {base_ + "same2/same.bin?size=170000&slow=5", 170000},
        {base_ + "same3/SAME.BIN?size=190000&slow=5", 190000},
    };
    std::string list = "; Created by test\r\n";
    for (const auto& item : same)
        list += ";\r\nRefererStr=\r\nStoreIn=" + downloads + "\r\n_RemoteFileSize=-1\r\n_State=0\r\nUrl=" + item.first +
                "\r\n";
    list += ";\r\nRefererStr=\r\nStoreIn=" + downloads +
            "\r\n_RemoteFileSize=50000\r\n_State=0\r\n_RealFileName=" + downloads + "whole.bin\r\nUrl=" + served +
            "whole.bin\r\n";
    list += ";\r\nRefererStr=\r\nStoreIn=" + downloads +
            "\r\n_RemoteFileSize=200000\r\n_State=0\r\n_RealFileName=" + downloads +
            "changed.bin\r\n_ETag=\"0-old\"\r\nUrl=" + served + "changed.bin\r\n";
    WriteWholeFile(folder + "default.wrg", list);

    DWORD processId = 0;
    HANDLE program = Launch("\"" + folder + "marrowby.exe\"", folder, nullptr, &processId);
    ASSERT_NE(nullptr, program);
    EXPECT_TRUE(WaitForFiles({{downloads + "changed.bin", Pattern(0, 200000)}}, 60000));
    std::string log;
    DWORD start = GetTickCount();
    while (log.find("\"GET /whole.bin HTTP/1.0\" \"bytes=50000-\" 416") == std::string::npos &&
           GetTickCount() - start < 30000) {
        Sleep(200);
        log = ReadWholeFile(WindowsPath("MW_SERVER_DIR_WIN") + "nginx-access.log");
    }
    Sleep(3000);  // the same-named downloads end, the window sees it
    EXPECT_EQ(0u, CloseMainWindow(folder, processId, nullptr));
    EXPECT_EQ(0u, WaitForExit(program, 30000));
    TerminateProcess(program, 1);  // only if it failed to close
    CloseHandle(program);

    std::string saved = ReadWholeFile(folder + "default.wrg");
    std::vector<std::string> paths;
    for (const auto& item : same) {
        std::string path = SavedFileOf(saved, item.first);
        EXPECT_TRUE(ReadWholeFile(path) == Pattern(0, item.second)) << path << "\n" << saved;
        for (char& c : path) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        paths.push_back(path);
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_TRUE(std::unique(paths.begin(), paths.end()) == paths.end()) << saved;

    EXPECT_NE(std::string::npos, log.find("\"GET /whole.bin HTTP/1.0\" \"bytes=50000-\" 416")) << log;
    EXPECT_NE(std::string::npos,
              saved.find("_RemoteFileSize=50000\r\n_State=1\r\n_RealFileName=" + downloads + "whole.bin\r\n"))
        << saved;
    EXPECT_TRUE(ReadWholeFile(downloads + "whole.bin") == Pattern(0, 50000));
    FILETIME after = {};
    whole = CreateFileA((downloads + "whole.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                        nullptr);
    GetFileTime(whole, nullptr, nullptr, &after);
    CloseHandle(whole);
    EXPECT_EQ(0, CompareFileTime(&before, &after));

    // The changed file: a resume (206) that showed another ETag, then all of it.
    EXPECT_NE(std::string::npos, log.find("\"GET /changed.bin HTTP/1.0\" \"bytes=60000-\" 206")) << log;
    EXPECT_NE(std::string::npos, log.find("\"GET /changed.bin HTTP/1.0\" \"-\" 200 200000")) << log;
    size_t record = saved.find("_RealFileName=" + downloads + "changed.bin\r\n");
    ASSERT_NE(std::string::npos, record) << saved;
    EXPECT_EQ(std::string::npos, saved.find("_ETag=\"0-old\""));
    EXPECT_EQ(0u, saved.compare(saved.rfind("_State=", record), 9, "_State=1\r")) << saved;
}

// An address typed into the new-download sheet with Japanese characters and
// a space: sent escaped as UTF-8 (nginx refuses it raw), saved under the
// Japanese name.
TEST_F(ProgramTest, JapaneseAddressTypedIntoTheNewDownloadSheet)
{
    const char* nginx = getenv("MW_NGINX_PORT");
    if (!nginx) GTEST_SKIP() << "needs nginx";
    // "nihon go.bin" in Shift-JIS.
    const std::string name = "\x93\xFA\x96\x7B \x8C\xEA.bin";
    WriteWholeFile(ServedFile(name), Pattern(0, 70000));
    std::string folder = ProgramFolder("typed");
    std::string downloads = FreshFolder(folder + "downloads\\");
    WriteSettingsFile(folder, true, 2, "");
    WriteStartList(folder + "default.wrg", downloads, {});

    DWORD processId = 0;
    HANDLE program = Launch("\"" + folder + "marrowby.exe\"", folder, nullptr, &processId);
    ASSERT_NE(nullptr, program);
    HWND main = WaitForWindowOf(processId, "Tessaline", 20000);
    ASSERT_NE(nullptr, main);
    PostMessageA(main, WM_COMMAND, 40018, 0);
    HWND sheet = WaitForWindowOf(processId, "#32770", 20000);
    ASSERT_NE(nullptr, sheet);
    HWND page = FindWindowExA(sheet, nullptr, "#32770", nullptr);
    ASSERT_NE(nullptr, page);
    std::string typed = "http://127.0.0.1:" + std::string(nginx) + "/" + name;
    SendMessageA(GetDlgItem(page, 1001), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    std::string target = downloads.substr(0, downloads.size() - 1);
    SendMessageA(GetDlgItem(page, 1003), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    EXPECT_TRUE(WaitForFiles({{downloads + name, Pattern(0, 70000)}}, 30000));
    Sleep(1500);
    EXPECT_EQ(0u, CloseMainWindow(folder, processId, nullptr));
    EXPECT_EQ(0u, WaitForExit(program, 30000));
    TerminateProcess(program, 1);  // only if it failed to close
    CloseHandle(program);

    std::string log = ReadWholeFile(WindowsPath("MW_SERVER_DIR_WIN") + "nginx-access.log");
    EXPECT_NE(std::string::npos, log.find("\"GET /%E6%97%A5%E6%9C%AC%20%E8%AA%9E.bin HTTP/1.0\" \"-\" 200 70000"))
        << log;
    // The list keeps the address as it was typed.
    std::string list = ReadWholeFile(folder + "default.wrg");
    EXPECT_NE(std::string::npos, list.find("_State=1\r\n_RealFileName=" + downloads + name + "\r\n")) << list;
    EXPECT_NE(std::string::npos, list.find("\r\nUrl=" + typed + "\r\n")) << list;
    DeleteFileA(ServedFile(name).c_str());
}

// The updater launch: without tidewell.exe the program says so and stays;
// with it (a stand-in) the updater starts in the program folder without
// arguments and the program saves and ends. The settings name no list file
// (an empty listPath), so default.wrg is read and written.
TEST_F(ProgramTest, UpdaterLaunchStartsTidewellOrSaysItCannot)
{
    std::string folder = ProgramFolder("updater");
    ProgramSettings settings;
    SetDefaultSettings(&settings, folder.c_str());
    memset(settings.listPath, 0, sizeof(settings.listPath));
    uint8_t bytes[kSettingsSize];
    EncodeSettings(settings, bytes);
    WriteWholeFile(folder + "vorn.cfg", std::string(reinterpret_cast<char*>(bytes), kSettingsSize));
    WriteStartList(folder + "default.wrg", folder, {{"http://127.0.0.1:9/kept.bin", 2, 0, ""}});

    DWORD processId = 0;
    HANDLE program = Launch("\"" + folder + "marrowby.exe\"", folder, nullptr, &processId);
    ASSERT_NE(nullptr, program);
    HWND main = WaitForWindowOf(processId, "Tessaline", 20000);
    ASSERT_NE(nullptr, main);
    PostMessageA(main, WM_COMMAND, 40029, 0);
    HWND box = WaitForWindowOf(processId, "#32770", 20000);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(
        "Tidewell\x82\xf0\x8bN\x93\xae\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81"
        "B",
        DialogText(box));
    EXPECT_EQ(main, GetWindow(box, GW_OWNER));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    Sleep(500);
    EXPECT_TRUE(IsWindow(main));
    EXPECT_EQ(STILL_ACTIVE, WaitForExit(program, 0));

    ASSERT_TRUE(CopyFileA((WindowsPath("MW_BIN_DIR") + "tidewell_standin.exe").c_str(),
                          (folder + "tidewell.exe").c_str(), FALSE));
    PostMessageA(main, WM_COMMAND, 40029, 0);
    EXPECT_EQ(0u, WaitForExit(program, 30000));
    TerminateProcess(program, 1);  // only if it failed to close
    CloseHandle(program);
    std::string started = folder.substr(0, folder.size() - 1) + "\n\n";
    EXPECT_TRUE(WaitForFiles({{folder + "updater-started.txt", started}}, 20000))
        << ReadWholeFile(folder + "updater-started.txt");
    std::string list = ReadWholeFile(folder + "default.wrg");
    EXPECT_EQ(0u, list.find("; Created by Marrowby/0.23")) << list;
    EXPECT_NE(std::string::npos, list.find("_State=2\r\nUrl=http://127.0.0.1:9/kept.bin")) << list;
    std::string stored = ReadWholeFile(folder + "vorn.cfg");
    ASSERT_LT(kSettingsSize + kSettingsBlockHeaderSize, stored.size());
    EXPECT_STREQ((folder + "default.wrg").c_str(), stored.c_str() + 1547);
}

// SHA-256 of the bytes as hexadecimal digits.
std::string Sha256Hex(const std::string& bytes)
{
    uint8_t digest[kSha256Size];
    EXPECT_TRUE(Sha256(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), digest));
    char hex[2 * kSha256Size + 1];
    for (size_t i = 0; i < kSha256Size; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return hex;
}

// A string of the program's own table, in the language it shows.
std::string ProgramString(const std::string& program, UINT id)
{
    HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    char text[512] = "";
    if (module) {
        LoadStringA(module, id, text, sizeof(text));
        FreeLibrary(module);
    }
    return text;
}

// What the properties sheet of a row shows of its checksum: the field and
// the line under it. The row is selected with the keys, as a person would.
struct ChecksumShown {
    std::string field;
    std::string line;
};

ChecksumShown ShowChecksumOfRow(DWORD processId, HWND main, int row)
{
    HWND list = FindWindowExA(main, nullptr, "SysListView32", nullptr);
    PostMessageA(list, WM_KEYDOWN, VK_HOME, 0);
    for (int i = 0; i < row; ++i) PostMessageA(list, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(main, WM_COMMAND, 40022, 0);  // Properties
    ChecksumShown shown;
    HWND sheet = WaitForWindowOf(processId, "#32770", 20000);
    HWND page = sheet ? FindWindowExA(sheet, nullptr, "#32770", nullptr) : nullptr;
    if (!page) return shown;
    char text[256] = "";
    // An edit control of another process tells its text only when asked.
    SendMessageA(GetDlgItem(page, 2101), WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    shown.field = text;
    GetWindowTextA(GetDlgItem(page, 2102), text, sizeof(text));
    shown.line = text;
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    for (int i = 0; i < 100 && IsWindow(sheet); ++i) Sleep(100);
    return shown;
}

// The line of a row once its file was checked (the sheet is opened again
// until it says something).
std::string CheckedLineOfRow(DWORD processId, HWND main, int row)
{
    std::string line;
    for (int i = 0; i < 20 && line.empty(); ++i) {
        line = ShowChecksumOfRow(processId, main, row).line;
        if (line.empty()) Sleep(500);
    }
    return line;
}

void CloseProgram(const std::string& folder, DWORD processId, HANDLE program)
{
    EXPECT_EQ(0u, CloseMainWindow(folder, processId, nullptr));
    EXPECT_EQ(0u, WaitForExit(program, 30000));
    TerminateProcess(program, 1);  // only if it failed to close
    CloseHandle(program);
}

// Checksums through the whole program: one from the list file (in a form a
// web page shows), a wrong one, and one typed into the new-download sheet.
// The right ones complete, the wrong one fails, says so and keeps its file;
// every checksum is saved in its stored form and read back after a restart.
TEST_F(ProgramTest, ChecksumsDecideTheEndAndSurviveSaveAndRestart)
{
    std::string folder = ProgramFolder("checksum");
    std::string downloads = FreshFolder(folder + "downloads\\");
    WriteSettingsFile(folder, true, 2, "");
    const std::string right = Sha256Hex(Pattern(0, 150000));
    std::string wrong = Sha256Hex(Pattern(0, 90000));
    wrong[30] = wrong[30] == 'f' ? 'e' : 'f';
    const std::string typed = Sha256Hex(Pattern(0, 70000));
    std::string spaced;
    for (size_t i = 0; i < right.size(); ++i)
        spaced += std::string(i % 8 == 0 ? " " : "") + static_cast<char>(toupper(static_cast<unsigned char>(right[i])));
    const std::string urls[] = {base_ + "sum1/right.bin?size=150000", base_ + "sum2/wrong.bin?size=90000",
                                base_ + "sum3/typed.bin?size=70000"};
    std::string list = "; Created by test\r\n";
    list += ";\r\nRefererStr=\r\nStoreIn=" + downloads + "\r\n_State=0\r\n_Checksum=SHA256:" + spaced +
            "\r\nUrl=" + urls[0] + "\r\n";
    list += ";\r\nRefererStr=\r\nStoreIn=" + downloads + "\r\n_State=0\r\n_Checksum=" + wrong + "\r\nUrl=" + urls[1] +
            "\r\n";
    WriteWholeFile(folder + "default.wrg", list);

    DWORD processId = 0;
    HANDLE program = Launch("\"" + folder + "marrowby.exe\"", folder, nullptr, &processId);
    ASSERT_NE(nullptr, program);
    HWND main = WaitForWindowOf(processId, "Tessaline", 20000);
    ASSERT_NE(nullptr, main);
    PostMessageA(main, WM_COMMAND, 40018, 0);  // New download
    HWND sheet = WaitForWindowOf(processId, "#32770", 20000);
    ASSERT_NE(nullptr, sheet);
    HWND page = FindWindowExA(sheet, nullptr, "#32770", nullptr);
    ASSERT_NE(nullptr, page);
    SendMessageA(GetDlgItem(page, 1001), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(urls[2].c_str()));
    std::string target = downloads.substr(0, downloads.size() - 1);
    SendMessageA(GetDlgItem(page, 1003), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
    std::string given = "sha256:" + typed.substr(0, 32) + " " + typed.substr(32);
    SendMessageA(GetDlgItem(page, 2101), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(given.c_str()));
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    EXPECT_TRUE(WaitForFiles({{downloads + "right.bin", Pattern(0, 150000)},
                              {downloads + "wrong.bin", Pattern(0, 90000)},
                              {downloads + "typed.bin", Pattern(0, 70000)}},
                             60000));
    const std::string exe = folder + "marrowby.exe";
    EXPECT_EQ(ProgramString(exe, 2103), CheckedLineOfRow(processId, main, 0));
    EXPECT_EQ(ProgramString(exe, 2104), CheckedLineOfRow(processId, main, 1));
    EXPECT_EQ(ProgramString(exe, 2103), CheckedLineOfRow(processId, main, 2));
    EXPECT_NE("", ProgramString(exe, 2104));
    CloseProgram(folder, processId, program);

    std::string saved = ReadWholeFile(folder + "default.wrg");
    const std::string states[] = {"_State=1", "_State=0", "_State=1"};
    const std::string sums[] = {right, wrong, typed};
    for (int i = 0; i < 3; ++i) {
        size_t at = saved.find("\r\nUrl=" + urls[i] + "\r\n");
        ASSERT_NE(std::string::npos, at) << saved;
        size_t record = saved.rfind(";\r\n", at);
        std::string fields = saved.substr(record, at - record);
        EXPECT_NE(std::string::npos, fields.find("\r\n" + states[i] + "\r\n")) << fields;
        EXPECT_NE(std::string::npos, fields.find("\r\n_Checksum=sha256:" + sums[i])) << fields;
        EXPECT_EQ(i == 1, fields.find("\r\n_Failure=checksum") != std::string::npos) << fields;  // its own reason
    }
    EXPECT_TRUE(ReadWholeFile(downloads + "wrong.bin") == Pattern(0, 90000));

    // Started again on the saved list: the checksums are there as saved, and
    // the failed download, whose file is whole, is checked and fails again.
    program = Launch("\"" + exe + "\"", folder, nullptr, &processId);
    ASSERT_NE(nullptr, program);
    main = WaitForWindowOf(processId, "Tessaline", 20000);
    ASSERT_NE(nullptr, main);
    EXPECT_EQ("sha256:" + right, ShowChecksumOfRow(processId, main, 0).field);
    EXPECT_EQ("sha256:" + typed, ShowChecksumOfRow(processId, main, 2).field);
    EXPECT_EQ(ProgramString(exe, 2104), CheckedLineOfRow(processId, main, 1));
    CloseProgram(folder, processId, program);
    EXPECT_TRUE(ReadWholeFile(downloads + "wrong.bin") == Pattern(0, 90000));
    std::string again = ReadWholeFile(folder + "default.wrg");
    for (const std::string& sum : sums)
        EXPECT_NE(std::string::npos, again.find("\r\n_Checksum=sha256:" + sum)) << again;
}

// Pixels of the main window as shown on a virtual desktop.
struct Capture {
    int width = 0;
    int height = 0;
    RECT window = {};  // in screen pixels
    RECT toolbar = {};
    RECT rows = {};  // the list control
    std::vector<uint32_t> pixels;
    // The same, scrolled to the status columns, the pointer on the failed row.
    std::vector<uint32_t> statusPixels;
};

struct CaptureJob {
    const char* desktop;
    Capture* capture;
    bool found;
    DWORD processId;  // of the program that owns the main window
};

// Runs on a thread of its own: a thread with windows cannot change desktop.
DWORD WINAPI CaptureDesktop(void* parameter)
{
    auto* job = static_cast<CaptureJob*>(parameter);
    HDESK desktop = nullptr;
    for (int i = 0; i < 100 && !desktop; ++i) {  // explorer makes it soon after its start
        desktop = OpenDesktopA(job->desktop, 0, FALSE, GENERIC_ALL);
        if (!desktop) Sleep(100);
    }
    if (!desktop || !SetThreadDesktop(desktop)) return 1;
    HWND main = nullptr;
    for (int i = 0; i < 100 && !main; ++i) {
        main = FindWindowA("Tessaline", nullptr);
        if (!main) Sleep(100);
    }
    job->found = main != nullptr;
    if (!main) return 1;
    GetWindowThreadProcessId(main, &job->processId);
    SetForegroundWindow(main);
    Sleep(4000);  // downloads start, fail, receive
    Capture* capture = job->capture;
    GetWindowRect(main, &capture->window);
    GetWindowRect(FindWindowExA(main, nullptr, "ToolbarWindow32", nullptr), &capture->toolbar);
    GetWindowRect(FindWindowExA(main, nullptr, "SysListView32", nullptr), &capture->rows);
    ScreenPixels screen;
    CaptureScreen(&screen);
    capture->width = screen.width;
    capture->height = screen.height;
    capture->pixels = std::move(screen.pixels);
    // The status columns lie right of the address; the row tooltip comes
    // after the pointer rests on the row.
    HWND list = FindWindowExA(main, nullptr, "SysListView32", nullptr);
    SendMessageA(list, LVM_SCROLL, 520, 0);
    const int failedRowMiddle = 20 + 4 * 17 + 8;
    SetCursorPos(capture->rows.left + 60, capture->rows.top + failedRowMiddle);
    Sleep(2500);
    CaptureScreen(&screen);
    if (screen.width == capture->width && screen.height == capture->height)
        capture->statusPixels = std::move(screen.pixels);
    return 0;
}

int CountColour(const Capture& capture, const RECT& area, uint32_t colour)
{
    int count = 0;
    for (int y = area.top; y < area.bottom && y < capture.height; ++y)
        for (int x = area.left; x < area.right && x < capture.width; ++x)
            count += y >= 0 && x >= 0 && capture.pixels[static_cast<size_t>(y) * capture.width + x] == colour;
    return count;
}

TEST_F(ProgramTest, MainWindowScreenshot)
{
    std::string folder = ProgramFolder("screenshot");
    std::string downloads = FreshFolder(folder + "downloads\\");
    WriteSettingsFile(folder, true, 3, "");
    WriteWholeFile(downloads + "readme.txt", Pattern(0, 5120));
    WriteWholeFile(downloads + "album.zip", Pattern(0, 31000));
    WriteStartList(folder + "default.wrg", downloads,
                   {
                       {base_ + "shot1/readme.txt?size=5120", 1, 5120, downloads + "readme.txt"},
                       {base_ + "shot2/album.zip?size=90000", 2, 90000, downloads + "album.zip"},
                       {base_ + "shot3/movie.mpg?size=8000000&slow=100", 0, 0, ""},
                       {base_ + "shot4/setup.exe?silent=1", 0, 0, ""},
                       {base_ + "shot5/missing.lzh?status=404", 0, 0, ""},
                       {base_ + "shot6/driver.lzh?silent=1", 0, 0, ""},
                       {base_ + "shot7/later.iso?size=1000", 0, 0, ""},
                   });

    const char desktopName[] = "marrowby-shot";
    std::string command =
        "C:\\windows\\explorer.exe /desktop=" + std::string(desktopName) + ",700x430 \"" + folder + "marrowby.exe\"";
    HANDLE explorer = Launch(command, folder, nullptr);
    ASSERT_NE(nullptr, explorer);
    Capture capture;
    CaptureJob job = {desktopName, &capture, false, 0};
    HANDLE thread = CreateThread(nullptr, 0, CaptureDesktop, &job, 0, nullptr);
    WaitForSingleObject(thread, 60000);
    CloseHandle(thread);
    EXPECT_TRUE(job.found);
    HANDLE program =
        job.processId ? OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, job.processId)
                      : nullptr;
    EXPECT_EQ(0u, CloseMainWindow(folder, job.processId, desktopName));
    if (program) {
        EXPECT_EQ(0u, WaitForExit(program, 30000));
        TerminateProcess(program, 1);  // only if it failed to close
        CloseHandle(program);
    }
    if (WaitForExit(explorer, 20000) == STILL_ACTIVE) TerminateProcess(explorer, 1);
    CloseHandle(explorer);
    ASSERT_GT(capture.width, 0);
    ASSERT_EQ(static_cast<size_t>(capture.width) * capture.height, capture.pixels.size());

    std::string shots = WindowsPath("MW_SOURCE_DIR") + "build\\screenshots\\";
    MakeFolders(shots);
    EXPECT_TRUE(
        WritePng(shots + "marrowby-main" + ScreenshotSuffix() + ".png", capture.width, capture.height, capture.pixels));
    ASSERT_EQ(capture.pixels.size(), capture.statusPixels.size());
    EXPECT_TRUE(WritePng(shots + "marrowby-status" + ScreenshotSuffix() + ".png", capture.width, capture.height,
                         capture.statusPixels));

    // The toolbar's pictures (green plus, red cross, yellow bars, blue
    // triangle) are drawn in the band below the menu.
    RECT top = capture.toolbar;
    EXPECT_GT(CountColour(capture, top, 0x00FF00), 10);
    EXPECT_GT(CountColour(capture, top, 0xFF0000), 10);
    EXPECT_GT(CountColour(capture, top, 0xFFFF00), 10);
    EXPECT_GT(CountColour(capture, top, 0x0000FF), 10);
    // Rows show the state icons: tick, bars, arrows (started), cross (failed).
    RECT rows = capture.rows;
    EXPECT_GT(CountColour(capture, rows, 0x00FF00), 5);
    EXPECT_GT(CountColour(capture, rows, 0xFFFF00), 5);
    EXPECT_GT(CountColour(capture, rows, 0xFF00FF), 5);
    EXPECT_GT(CountColour(capture, rows, 0xFF0000), 5);
}

// The state of the segments written beside a file: "total" and the plan.
bool ReadSegmentState(const std::string& path, int64_t total, SegmentPlan* plan)
{
    std::string text = ReadWholeFile(path);
    size_t line = text.find('\n');
    if (line == std::string::npos) return false;
    std::string planText = text.substr(line + 1, text.find('\r', line) - line - 1);
    return ParseSegmentPlan(planText.c_str(), total, *plan);
}

// The file a list names the older way ("_RealFileName", whose size is the
// resume offset) holds the served bytes up to its size.
testing::AssertionResult NamedFileIsAGoodPrefix(const std::string& list, int64_t total)
{
    size_t at = list.find("_RealFileName=");
    if (at == std::string::npos) return testing::AssertionFailure() << "no file named in\n" << list;
    at += strlen("_RealFileName=");
    std::string bytes = ReadWholeFile(list.substr(at, list.find('\r', at) - at));
    if (bytes.empty() || static_cast<int64_t>(bytes.size()) >= total)
        return testing::AssertionFailure() << "the named file has " << bytes.size() << " bytes";
    if (bytes != Pattern(0, bytes.size())) return testing::AssertionFailure() << "the named file has a wrong byte";
    return testing::AssertionSuccess();
}

// A download over four connections, saved once and then killed: the file
// the list names holds a good prefix all along; the next start takes the
// list's segments and the newer state beside the file, asks each
// unfinished segment from where that state says it stopped, and finishes
// the file whole; the list then holds it as complete, without segments,
// and the state and side files are gone.
TEST_F(ProgramTest, SegmentsOfAKilledProgramResumeWhereTheyStopped)
{
    const char* nginx = getenv("MW_NGINX_PORT");
    if (!nginx) GTEST_SKIP() << "needs nginx";
    const int64_t size = 6 << 20;
    WriteWholeFile(ServedFile("seg.bin"), Pattern(0, size));
    const std::string url = "http://127.0.0.1:" + std::string(nginx) + "/seg.bin";
    std::string folder = ProgramFolder("segments");
    std::string downloads = FreshFolder(folder + "downloads\\");
    WriteSettingsFile(folder, true, 2, "", 4);
    WriteWholeFile(folder + "default.wrg", "; Created by test\r\n;\r\nRefererStr=\r\nStoreIn=" + downloads +
                                               "\r\n_RemoteFileSize=-1\r\n_State=0\r\n_SpeedLimit=1200\r\nUrl=" + url +
                                               "\r\n");
    const std::string state = downloads + "seg.bin.segments";

    DWORD processId = 0;
    HANDLE program = Launch("\"" + folder + "marrowby.exe\"", folder, nullptr, &processId);
    ASSERT_NE(nullptr, program);
    HWND main = WaitForWindowOf(processId, "Tessaline", 20000);
    ASSERT_NE(nullptr, main);
    SegmentPlan plan = {};
    DWORD start = GetTickCount();
    while (!(ReadSegmentState(state, size, &plan) && WrittenBytes(plan) > 0) && GetTickCount() - start < 20000)
        Sleep(100);
    PostMessageA(main, WM_COMMAND, IDM_FILE_SAVE, 0);
    std::string saved;
    while (saved.find("_Segments=") == std::string::npos && GetTickCount() - start < 20000) {
        Sleep(100);
        saved = ReadWholeFile(folder + "default.wrg");
    }
    EXPECT_LT(saved.find("_RealFileName=" + downloads + "seg.bin\r\n"), saved.find("\r\n_Segments=")) << saved;
    EXPECT_NE(std::string::npos, saved.find("\r\n_SpeedLimit=1200\r\nUrl=")) << saved;
    EXPECT_TRUE(NamedFileIsAGoodPrefix(saved, size));
    // Some more progress than the list holds, then the kill.
    Sleep(1200);
    TerminateProcess(program, 9);
    WaitForSingleObject(program, 10000);
    CloseHandle(program);
    ASSERT_TRUE(ReadSegmentState(state, size, &plan));
    ASSERT_FALSE(AllSegmentsDone(plan));
    EXPECT_TRUE(NamedFileIsAGoodPrefix(saved, size));
    EXPECT_EQ(static_cast<size_t>(size), ReadWholeFile(downloads + "seg.bin.mwpart").size());
    Sleep(2000);  // nginx logs the killed connections
    const std::string logPath = WindowsPath("MW_SERVER_DIR_WIN") + "nginx-access.log";
    const size_t logStart = ReadWholeFile(logPath).size();

    program = Launch("\"" + folder + "marrowby.exe\"", folder, nullptr, &processId);
    ASSERT_NE(nullptr, program);
    EXPECT_TRUE(WaitForFiles({{downloads + "seg.bin", Pattern(0, size)}}, 60000));
    Sleep(1500);
    EXPECT_EQ(0u, CloseMainWindow(folder, processId, nullptr));
    EXPECT_EQ(0u, WaitForExit(program, 30000));
    TerminateProcess(program, 1);  // only if it failed to close
    CloseHandle(program);

    std::string list = ReadWholeFile(folder + "default.wrg");
    EXPECT_NE(std::string::npos, list.find("_State=1\r\n_RealFileName=" + downloads + "seg.bin\r\n")) << list;
    EXPECT_EQ(std::string::npos, list.find("_Segments=")) << list;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(state.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((downloads + "seg.bin.mwpart").c_str()));
    std::string log = ReadWholeFile(logPath).substr(logStart);
    int requests = 0;
    for (size_t at = log.find("\"GET /seg.bin "); at != std::string::npos; at = log.find("\"GET /seg.bin ", at + 1)) {
        ++requests;
        size_t range = log.find("\"bytes=", at);
        ASSERT_NE(std::string::npos, range) << log;
        int64_t first = _atoi64(log.c_str() + range + 7);
        int64_t last = _atoi64(log.c_str() + log.find('-', range) + 1);
        ASSERT_GT(last, 0) << "every resumed request names its end\n" << log;
        for (int32_t i = 0; i < plan.count; ++i) {
            const Segment& segment = plan.segments[i];
            EXPECT_FALSE(first < segment.start + segment.written && last >= segment.start)
                << first << "-" << last << " asks written bytes\n"
                << log;
        }
    }
    EXPECT_GE(requests, 2) << log;
    DeleteFileA(ServedFile("seg.bin").c_str());
}

// Killed with every segment written and the files not merged yet: the
// next start merges them without asking the server, and the list holds the
// whole file as complete.
TEST_F(ProgramTest, SegmentsOfAProgramKilledBeforeTheMergeBecomeOneFile)
{
    const int64_t size = 6 << 20;
    const int64_t head = 2 << 20;
    std::string folder = ProgramFolder("merge");
    std::string downloads = FreshFolder(folder + "downloads\\");
    WriteSettingsFile(folder, true, 2, "", 4);
    const std::string plan = "0-" + std::to_string(head) + ":" + std::to_string(head) + "," + std::to_string(head) +
                             "-" + std::to_string(size) + ":" + std::to_string(size - head);
    WriteWholeFile(downloads + "m.bin", Pattern(0, head));
    WriteWholeFile(downloads + "m.bin.mwpart", std::string(head, '\0') + Pattern(head, size - head));
    WriteWholeFile(downloads + "m.bin.segments", std::to_string(size) + "\r\n" + plan + "\r\n");
    // Nothing listens there: the merge needs no server.
    WriteWholeFile(folder + "default.wrg", "; Created by test\r\n;\r\nRefererStr=\r\nStoreIn=" + downloads +
                                               "\r\n_RemoteFileSize=" + std::to_string(size) +
                                               "\r\n_State=0\r\n_RealFileName=" + downloads +
                                               "m.bin\r\n_Segments=" + plan + "\r\nUrl=http://127.0.0.1:9/m.bin\r\n");

    DWORD processId = 0;
    HANDLE program = Launch("\"" + folder + "marrowby.exe\"", folder, nullptr, &processId);
    ASSERT_NE(nullptr, program);
    EXPECT_TRUE(WaitForFiles({{downloads + "m.bin", Pattern(0, size)}}, 30000));
    Sleep(1000);
    EXPECT_EQ(0u, CloseMainWindow(folder, processId, nullptr));
    EXPECT_EQ(0u, WaitForExit(program, 30000));
    TerminateProcess(program, 1);  // only if it failed to close
    CloseHandle(program);

    std::string list = ReadWholeFile(folder + "default.wrg");
    EXPECT_NE(std::string::npos, list.find("_State=1\r\n_RealFileName=" + downloads + "m.bin\r\n")) << list;
    EXPECT_EQ(std::string::npos, list.find("_Segments=")) << list;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((downloads + "m.bin.mwpart").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((downloads + "m.bin.segments").c_str()));
}

}  // namespace
