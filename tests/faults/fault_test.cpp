// The main window's downloads and saves under faults: a server killed in the
// middle of a body, a server that stalls, a proxy that drops the tunnel of
// an https download, a full disk, a read-only folder,
// and list and settings files that are locked or read-only when they are
// saved. Each fault must end only what it hits, leave the partial file or
// the old files as they were, and the downloads must resume byte for byte.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>
#include <winsock2.h>
#include <windows.h>

#include "marrowby/app/app_messages.h"
#include "marrowby/app/download_list.h"
#include "marrowby/app/main_window.h"
#include "marrowby/app/settings.h"
#include "common/bounded_text.h"
#include "marrowby/engine/download_job.h"
#include "marrowby/resources/resource.h"
#include "tests/support/served_pattern.h"
#include "tests/ui/command_test_support.h"
#include "tests/ui/modal_driver.h"
#include "tests/ui/program_support.h"
#include "tests/ui/sheet_driver.h"

namespace {

const char kKeptUrl[] = "http://127.0.0.1:9/kept.bin";

std::string Env(const char* name)
{
    const char* value = getenv(name);
    return value ? value : "";
}

bool Accepting(const std::string& port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(atoi(port.c_str())));
    bool connected = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    closesocket(s);
    return connected;
}

// The job codes that ended runs, as the main window receives them.
WNDPROC g_mainProc;
std::vector<WPARAM> g_failures;

LRESULT CALLBACK RecordFailures(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ITEM_FAILED) g_failures.push_back(wParam);
    return CallWindowProcA(g_mainProc, window, message, wParam, lParam);
}

class FaultTest : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        g_failures.clear();
    }

    void WatchFailures()
    {
        g_mainProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(host_.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordFailures)));
    }

    DownloadItem* Item(int index)
    {
        DownloadItem* item = FirstListItem();
        for (int i = 0; i < index && item; ++i) item = item->next;
        return item;
    }

    bool WaitForState(int index, ItemState state, DWORD timeoutMs)
    {
        return RunLoopUntil(
            host_, [&] { return Item(index) && Item(index)->state == state; }, timeoutMs);
    }

    // Closes the main window as the program ends (its WM_QUIT is dropped);
    // the next start finds the same program folder.
    void CloseProgram()
    {
        CloseHostWindow(&host_);
        SetSettingsFolder(host_.folder.c_str());
    }

    // The program folder moved to folder (settings and list there).
    void MoveHost(const std::string& folder)
    {
        host_.folder = folder;
        host_.listPath = folder + "test.wrg";
        SetSettingsFolder(folder.c_str());
    }

    std::string SettingsPath() const { return host_.folder + "vorn.cfg"; }

    // Save fails on both files: one message names the settings file, the
    // next the list file.
    void ExpectSaveToldOfBothFiles()
    {
        ModalDriver driver({ModalAnswer(ModalKind::MessageBox), ModalAnswer(ModalKind::MessageBox)});
        SendCommand(host_, IDM_FILE_SAVE);
        std::vector<SeenModal> seen = driver.Finish();
        EXPECT_EQ(kSettingsSaveFailedText + SettingsPath(), MessageText(seen, 0));
        EXPECT_EQ(kSaveFailedText + host_.listPath, MessageText(seen, 1));
    }

    // Closing the window fails to save both files: one message names them.
    void ExpectExitToldOfBothFiles()
    {
        ModalDriver driver({ModalAnswer(ModalKind::MessageBox)});
        DestroyWindow(host_.window);
        EXPECT_EQ(kExitSaveFailedText + SettingsPath() + "\n" + host_.listPath, MessageText(driver.Finish(), 0));
    }
};

// The server process dies after 600,000 of 1,500,000 bytes: the download
// fails, the partial file stays and is named in the list saved at exit, and
// the next start of the program asks for the rest and completes the file.
TEST_F(FaultTest, ServerKilledMidTransferFailsAndTheNextStartResumes)
{
    std::string port = Env("MW_VICTIM_PORT");
    if (port.empty()) GTEST_SKIP() << "needs fault_env.py";
    std::string url = "http://127.0.0.1:" + port + "/kill1/killed.bin?size=1500000&die=600000";
    Start(true, {{url, 0, 0, ""}, {kKeptUrl, 1, 0, ""}});
    WatchFailures();
    ASSERT_TRUE(WaitForState(0, ItemState::Failed, 30000));
    EXPECT_EQ(std::vector<WPARAM>{JobClosed}, g_failures);
    std::string partial = host_.folder + "killed.bin";
    EXPECT_EQ(600000, Item(0)->downloaded);
    EXPECT_EQ(Pattern(600000), ReadWholeFile(partial));
    EXPECT_EQ(ItemState::Completed, Item(1)->state);

    CloseProgram();
    std::string list = ReadWholeFile(host_.listPath);
    EXPECT_NE(std::string::npos,
              list.find("_State=0\r\n_RealFileName=" + partial + "\r\n_Failure=short-body\r\nUrl=" + url))
        << list;
    EXPECT_TRUE(RunLoopUntil(
        host_, [&] { return Accepting(port); }, 10000));

    ASSERT_EQ(0, CreateHostWindow(&host_));  // automatic start resumes it
    ASSERT_TRUE(WaitForState(0, ItemState::Completed, 30000));
    EXPECT_EQ(Pattern(1500000), ReadWholeFile(partial));
    std::string resumed = ReadWholeFile(Env("MW_VICTIM_DIR_WIN") + "\\requests\\kill1.2");
    EXPECT_NE(std::string::npos, resumed.find("\r\nRange: bytes=600000-\r\n")) << resumed;
    EXPECT_EQ(ItemState::Completed, Item(1)->state);
}

// The proxy drops the first tunnel to the https server in the middle of the
// body's TLS records: the download fails as a closed connection, the
// partial file holds exactly the bytes counted, the list saved at exit names
// it, and the next start asks for the rest through a new tunnel.
TEST_F(FaultTest, DroppedTunnelFailsAndTheNextStartResumesThroughANewOne)
{
    std::string proxyPort = Env("MW_DROP_PROXY_PORT");
    std::string httpsPort = Env("MW_HTTPS_PORT");
    if (proxyPort.empty() || httpsPort.empty()) GTEST_SKIP() << "needs fault_env.py and the scripted TLS server";
    const long long dropAfter = atoll(Env("MW_DROP_PROXY_BYTES").c_str());
    std::string url = "https://localhost:" + httpsPort + "/tunnel1/tunneled.bin?size=1500000";
    Start(false, {{url, 0, 0, ""}});
    g_settings.useProxy = 1;
    mw_text::Copy(g_settings.proxyAddress, ("127.0.0.1:" + proxyPort).c_str());
    g_settings.autoStart = 1;  // saved at exit with the proxy, for the next start
    WatchFailures();
    SelectRows({0});
    SendCommand(host_, IDM_DOWNLOAD_START);
    ASSERT_TRUE(WaitForState(0, ItemState::Failed, 30000));
    EXPECT_EQ(std::vector<WPARAM>{JobClosed}, g_failures);
    // Before the cut came the handshake, the response head, the records'
    // framing and the part of a record that could not be decrypted.
    const long long downloaded = Item(0)->downloaded;
    EXPECT_GT(downloaded, dropAfter - 40000);
    EXPECT_LT(downloaded, dropAfter);
    std::string partial = host_.folder + "tunneled.bin";
    EXPECT_EQ(Pattern(static_cast<size_t>(downloaded)), ReadWholeFile(partial));

    CloseProgram();
    std::string list = ReadWholeFile(host_.listPath);
    EXPECT_NE(std::string::npos,
              list.find("_State=0\r\n_RealFileName=" + partial + "\r\n_Failure=short-body\r\nUrl=" + url))
        << list;

    ASSERT_EQ(0, CreateHostWindow(&host_));  // automatic start resumes it
    ASSERT_TRUE(WaitForState(0, ItemState::Completed, 30000));
    EXPECT_EQ(Pattern(1500000), ReadWholeFile(partial));
    EXPECT_EQ(std::string::npos, RecordedRequest("tunnel1.1").find("\r\nRange:"));
    std::string resumed = RecordedRequest("tunnel1.2");
    EXPECT_NE(std::string::npos, resumed.find("\r\nRange: bytes=" + std::to_string(downloaded) + "-\r\n")) << resumed;
    EXPECT_EQ("", RecordedRequest("tunnel1.3"));
    std::string tunnel = "CONNECT localhost:" + httpsPort + "\n";
    EXPECT_EQ(tunnel + "dropped after " + std::to_string(dropAfter) + "\n" + tunnel,
              ReadWholeFile(Env("MW_VICTIM_DIR_WIN") + "\\tunnels.log"));
}

// The server sends 123,456 of 200,000 bytes and then nothing: the download
// times out and pauses, and the Start command resumes it from the partial
// file.
TEST_F(FaultTest, StalledServerTimesOutAndStartResumes)
{
    std::string url = ServerUrl("stall1/stalled.bin?size=200000&stall=123456");
    if (url.empty()) GTEST_SKIP() << "needs the scripted server";
    Start(false, {{url, 0, 0, ""}});
    g_settings.idleTimeoutMs = 1500;
    SelectRows({0});
    SendCommand(host_, IDM_DOWNLOAD_START);
    ASSERT_TRUE(WaitForState(0, ItemState::Paused, 20000));
    std::string partial = host_.folder + "stalled.bin";
    EXPECT_EQ(123456, Item(0)->downloaded);
    EXPECT_EQ(Pattern(123456), ReadWholeFile(partial));

    SelectRows({0});
    SendCommand(host_, IDM_DOWNLOAD_START);
    ASSERT_TRUE(WaitForState(0, ItemState::Completed, 20000));
    EXPECT_EQ(Pattern(200000), ReadWholeFile(partial));
    EXPECT_NE(std::string::npos, RecordedRequest("stall1.2").find("\r\nRange: bytes=123456-\r\n"));
}

// A 2 MB download on a 512 KB disk that also holds the settings and list
// files: the download ends with a file error, the finished download beside
// it is kept, and the saves that find no room leave the old files whole and
// say so, on Save and at exit.
TEST_F(FaultTest, FullDiskEndsTheDownloadAndKeepsTheOldFiles)
{
    std::string drive = Env("MW_SMALL_DRIVE");
    std::string url = ServerUrl("full1/big.bin?size=2000000");
    if (drive.empty() || url.empty()) GTEST_SKIP() << "needs fault_env.py with a tmpfs (root) and the scripted server";
    std::string downloads = FreshFolder(drive + "\\dl\\");
    MoveHost(FreshFolder(drive + "\\prog\\"));
    WriteWholeFile(downloads + "done.txt", Pattern(3000));
    WriteHostSettings(host_, true, 2);
    WriteStartList(host_.listPath, downloads, {{kKeptUrl, 1, 3000, downloads + "done.txt"}, {url, 0, 0, ""}});
    const std::string settingsBefore = ReadWholeFile(host_.folder + "vorn.cfg");
    const std::string listBefore = ReadWholeFile(host_.listPath);

    ASSERT_EQ(0, CreateHostWindow(&host_));
    WatchFailures();
    ASSERT_TRUE(WaitForState(1, ItemState::Failed, 30000));
    EXPECT_EQ(std::vector<WPARAM>{JobFileError}, g_failures);
    std::string partial = ReadWholeFile(downloads + "big.bin");
    EXPECT_GT(partial.size(), 0u);
    EXPECT_LT(partial.size(), 512u * 1024);
    EXPECT_EQ(Pattern(partial.size()), partial);
    EXPECT_LE(static_cast<size_t>(Item(1)->downloaded), partial.size());
    EXPECT_EQ(ItemState::Completed, Item(0)->state);
    EXPECT_EQ(Pattern(3000), ReadWholeFile(downloads + "done.txt"));

    std::string settingsPath = SettingsPath();
    ExpectSaveToldOfBothFiles();
    ExpectExitToldOfBothFiles();
    EXPECT_EQ(settingsBefore, ReadWholeFile(settingsPath));
    EXPECT_EQ(listBefore, ReadWholeFile(host_.listPath));
    EXPECT_FALSE(FileExists(settingsPath + ".new"));
    EXPECT_FALSE(FileExists(host_.listPath + ".new"));

    // With room again the old list is read as it was (nothing starts).
    CloseProgram();
    DeleteFileA((downloads + "big.bin").c_str());
    WriteHostSettings(host_, false, 2);
    ASSERT_EQ(0, CreateHostWindow(&host_));
    ASSERT_EQ(2, RowCount(MainListControl()));
    EXPECT_EQ(ItemState::Completed, Item(0)->state);
    EXPECT_EQ(3000, Item(0)->downloaded);
    EXPECT_STREQ(url.c_str(), Item(1)->url);
}

// A folder on a read-only disk, and one that would have to be made there:
// both downloads end with a file error; the one beside them completes.
TEST_F(FaultTest, ReadOnlyFolderEndsTheDownloadWithAFileError)
{
    std::string drive = Env("MW_READONLY_DRIVE");
    std::string url = ServerUrl("ro1/file.bin?size=5000");
    if (drive.empty() || url.empty()) GTEST_SKIP() << "needs fault_env.py with a tmpfs (root) and the scripted server";
    Start(false, {{url, 0, 0, ""}, {url + "&2", 0, 0, ""}, {ServerUrl("ro3/fine.bin?size=7000"), 0, 0, ""}});
    SetItemFolder(Item(0), (drive + "\\downloads").c_str());
    SetItemFolder(Item(1), (drive + "\\downloads\\new\\sub").c_str());
    WatchFailures();
    g_settings.maxSimultaneous = 3;
    SelectRows({0, 1, 2});
    SendCommand(host_, IDM_DOWNLOAD_START);
    ASSERT_TRUE(WaitForState(0, ItemState::Failed, 20000));
    ASSERT_TRUE(WaitForState(1, ItemState::Failed, 20000));
    ASSERT_TRUE(WaitForState(2, ItemState::Completed, 20000));
    EXPECT_EQ((std::vector<WPARAM>{JobFileError, JobFileError}), g_failures);
    EXPECT_FALSE(FileExists(drive + "\\downloads\\file.bin"));
    EXPECT_EQ(Pattern(7000), ReadWholeFile(host_.folder + "fine.bin"));
}

// The list and settings files held open without sharing by another program
// (Save and exit), then marked read-only (exit): the person is told, and
// the files keep their old content.
TEST_F(FaultTest, LockedOrReadOnlyListAndSettingsAreToldAndKept)
{
    Start(false, {{kKeptUrl, 2, 0, ""}});
    std::string settingsPath = SettingsPath();
    const std::string settingsBefore = ReadWholeFile(settingsPath);
    const std::string listBefore = ReadWholeFile(host_.listPath);

    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "marrowby-fault-held");
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "marrowby-fault-release");
    std::string command = "\"" + WindowsPath("MW_BIN_DIR") +
                          "hold_files.exe\" marrowby-fault-held "
                          "marrowby-fault-release \"" +
                          settingsPath + "\" \"" + host_.listPath + "\"";
    HANDLE holder = Launch(command, host_.folder, nullptr);
    ASSERT_NE(nullptr, holder);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 20000));
    g_settings.maxSimultaneous = 7;
    SendMessageA(host_.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>("http://127.0.0.1:9/new.bin"));
    ExpectSaveToldOfBothFiles();
    ExpectExitToldOfBothFiles();
    CloseProgram();  // the WM_QUIT of that exit must not end the next box
    SetEvent(release);
    EXPECT_EQ(0u, WaitForExit(holder, 20000));
    CloseHandle(holder);
    CloseHandle(ready);
    CloseHandle(release);
    EXPECT_EQ(settingsBefore, ReadWholeFile(settingsPath));
    EXPECT_EQ(listBefore, ReadWholeFile(host_.listPath));

    ASSERT_EQ(0, CreateHostWindow(&host_));
    EXPECT_EQ(1, RowCount(MainListControl()));
    SetFileAttributesA(settingsPath.c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(host_.listPath.c_str(), FILE_ATTRIBUTE_READONLY);
    g_settings.maxSimultaneous = 7;
    SendMessageA(host_.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>("http://127.0.0.1:9/new.bin"));
    ExpectExitToldOfBothFiles();
    EXPECT_EQ(settingsBefore, ReadWholeFile(settingsPath));
    EXPECT_EQ(listBefore, ReadWholeFile(host_.listPath));
    EXPECT_TRUE(GetFileAttributesA(host_.listPath.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(FileExists(settingsPath + ".new"));
    EXPECT_FALSE(FileExists(host_.listPath + ".new"));
    SetFileAttributesA(settingsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(host_.listPath.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
