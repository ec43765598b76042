// tidewell's window in this process: its resources, layout, logo surface,
// status line, progress texts handed over from another thread, and the
// button and close box ending it.
#include <gtest/gtest.h>

#include <string.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "tests/ui/program_support.h"
#include "tests/ui/ui_support.h"
#include "tests/updater/tidewell_texts.h"
#include "tests/updater/record_bytes.h"
#include "tidewell/resources/resource.h"
#include "tidewell/updater/apply_update.h"
#include "tidewell/updater/confirm_dialog.h"
#include "tidewell/updater/logo_surface.h"
#include "tidewell/updater/status_line.h"
#include "tidewell/updater/update_window.h"

namespace {

TEST(TidewellResources, StringTableHoldsEveryTextUnderItsId)
{
    for (const TidewellText& expected : kTidewellTexts) {
        char text[256] = "";
        int length = LoadStringA(GetModuleHandleA(nullptr), expected.id, text, sizeof(text));
        EXPECT_EQ(static_cast<int>(strlen(expected.text)), length) << expected.id;
        EXPECT_STREQ(expected.text, text) << expected.id;
    }
    // The logo is a 4-bit 328 x 120 bitmap; icon 102 and dialog 105 exist.
    HBITMAP logo = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_LOGO));
    BITMAP info = {};
    ASSERT_TRUE(logo && GetObjectA(logo, sizeof(info), &info));
    EXPECT_EQ(328, info.bmWidth);
    EXPECT_EQ(120, info.bmHeight);
    DeleteObject(logo);
    EXPECT_NE(nullptr, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TIDEWELL)));
    EXPECT_NE(nullptr, FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_CONFIRM), MAKEINTRESOURCEA(5)));
}

// The pixels of logo.bmp as the source tree holds it, rows from the top.
COLORREF BitmapFilePixel(const std::string& file, int x, int y)
{
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(file.data());
    uint32_t offset = bytes[10] | bytes[11] << 8;
    const uint8_t* palette = bytes + 14 + 40;
    int stride = ((328 * 4 + 31) / 32) * 4;
    uint8_t pair = bytes[offset + (119 - y) * stride + x / 2];
    int index = x % 2 ? pair & 0x0F : pair >> 4;
    return RGB(palette[4 * index + 2], palette[4 * index + 1], palette[4 * index]);
}

DWORD WINAPI PostTwoTexts(void* window)
{
    PostStatusText(static_cast<HWND>(window), "( 1/2 )");
    PostStatusText(static_cast<HWND>(window), "( 2/2 )");
    return 0;
}

class UpdateWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        memset(&g_updater, 0, sizeof(g_updater));
        g_updater.instance = GetModuleHandleA(nullptr);
        ASSERT_EQ(0, CreateUpdateWindow(&g_updater, "Tidewell/2.0"));
        PumpPending();
    }

    void TearDown() override
    {
        if (g_updater.mainWindow) DestroyWindow(g_updater.mainWindow);
        MSG quit;
        PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        ReleaseUpdateWindow();
    }
};

TEST_F(UpdateWindowTest, LayoutLogoAndStatusLine)
{
    HWND window = g_updater.mainWindow;
    char text[64];
    GetClassNameA(window, text, sizeof(text));
    EXPECT_STREQ("Tidewell", text);
    GetWindowTextA(window, text, sizeof(text));
    EXPECT_STREQ("Tidewell2.0", text);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(328, client.right);
    EXPECT_EQ(120, client.bottom);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(0, style & (WS_THICKFRAME | WS_MAXIMIZEBOX));
    EXPECT_NE(0, style & WS_MINIMIZEBOX);
    EXPECT_NE(0u, GetClassLongA(window, GCL_STYLE) & CS_OWNDC);

    // The button and the progress bar where they belong, hidden at first.
    struct Child {
        HWND window;
        RECT expected;
    } children[] = {{g_updater.button, {244, 86, 314, 110}}, {g_updater.progressBar, {118, 74, 298, 84}}};
    for (const Child& child : children) {
        RECT r;
        GetWindowRect(child.window, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_TRUE(EqualRect(&r, &child.expected)) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
        EXPECT_FALSE(IsWindowVisible(child.window));
    }
    EXPECT_EQ(100, SendMessageA(g_updater.progressBar, PBM_GETRANGE, FALSE, 0));
    EXPECT_EQ(reinterpret_cast<LRESULT>(g_updater.statusFont), SendMessageA(g_updater.button, WM_GETFONT, 0, 0));
    LOGFONTA font = {};
    GetObjectA(g_updater.statusFont, sizeof(font), &font);
    EXPECT_EQ(12, font.lfHeight);
    EXPECT_EQ(900, font.lfOrientation);
    EXPECT_EQ(SHIFTJIS_CHARSET, font.lfCharSet);
    EXPECT_STREQ("\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e", font.lfFaceName);
    EXPECT_EQ(g_updater.statusFont, GetCurrentObject(g_updater.windowDc, OBJ_FONT));

    // The logo surface holds the bitmap, its last stored row on top.
    std::string file = ReadWholeFile(WindowsPath("MW_SOURCE_DIR") + "tidewell\\resources\\logo.bmp");
    ASSERT_GE(file.size(), 14u + 40 + 16 * 4 + 164 * 120);  // headers, colours, rows
    int differences = 0;
    for (int y = 0; y < 120; y += 3)
        for (int x = 0; x < 328; x += 3) differences += LogoSurfacePixel(x, y) != BitmapFilePixel(file, x, y);
    EXPECT_EQ(0, differences);

    // The download folder is the temporary folder.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    EXPECT_STREQ(temp, g_updater.downloadFolder);

    // Status texts, progress texts and a worker's texts all land in the
    // one status buffer, drawn by this thread.
    SetStatus(&g_updater, IDS_FETCHING_INFO);
    EXPECT_STREQ(TextOf(IDS_FETCHING_INFO), g_updater.statusText);
    ShowDownloadProgress(&g_updater, 42000000, 100000000);
    EXPECT_STREQ("  42000000 /  100000000 ( 42% )", g_updater.statusText);
    EXPECT_EQ(42, SendMessageA(g_updater.progressBar, PBM_GETPOS, 0, 0));
    ShowDownloadProgress(&g_updater, 4000000000u, 4294967295u);
    EXPECT_STREQ("4000000000 / 4294967295 ( 93% )", g_updater.statusText);
    ShowDownloadProgress(&g_updater, 5000, 0);
    EXPECT_STREQ("5000 byte", g_updater.statusText);
    HANDLE worker = CreateThread(nullptr, 0, PostTwoTexts, g_updater.mainWindow, 0, nullptr);
    WaitForSingleObject(worker, 5000);
    CloseHandle(worker);
    EXPECT_STREQ("5000 byte", g_updater.statusText);  // not drawn by the worker
    PumpPending();
    EXPECT_STREQ("( 2/2 )", g_updater.statusText);  // the newer text replaced the older
}

TEST_F(UpdateWindowTest, ButtonAndCloseBoxEndTheWindowOnlyWhereAllowed)
{
    HWND window = g_updater.mainWindow;
    WPARAM click = MAKEWPARAM(kActionButtonId, BN_CLICKED);
    for (int32_t step : {kStepCompare, kStepConfirm, kStepCheckArchive, kStepApplying}) {
        g_updater.step = step;
        SendMessageA(window, WM_COMMAND, click, reinterpret_cast<LPARAM>(g_updater.button));
        EXPECT_TRUE(IsWindow(window)) << step;
    }
    g_updater.step = kStepStopped;
    SendMessageA(window, WM_COMMAND, click, reinterpret_cast<LPARAM>(g_updater.button));
    EXPECT_FALSE(IsWindow(window));
    MSG quit = {};
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, quit.wParam);
    EXPECT_EQ(0, HttpFetchRootCount());  // the transfer object is released

    // The close box runs the same shutdown in any step.
    ASSERT_EQ(0, CreateUpdateWindow(&g_updater, "Tidewell/2.0"));
    g_updater.step = kStepConfirm;
    SendMessageA(g_updater.mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(nullptr, g_updater.mainWindow);
    EXPECT_EQ(0, HttpFetchRootCount());
}

// The end of the extraction on the GUI thread: the information file is
// replaced only through a complete temporary file, and the program named by
// the server starts only from inside the install folder.
TEST_F(UpdateWindowTest, ApplyDoneWritesTheInformationFileAndStartsOnlyAConfinedProgram)
{
    std::string folder = FreshFolder(WindowsPath("MW_BUILD_DIR") + "updater-window\\apply-done\\");
    RemoveDirectoryA((folder + "marrowby.qvn.new").c_str());
    RecordBytes fetched = Record2(0x01000001, 0x11, 0x40);  // start the program
    memset(fetched.data() + 76, 0, 32);
    PutText(fetched, 76, "..\\outside.exe");
    auto* copy = static_cast<uint8_t*>(malloc(fetched.size()));
    memcpy(copy, fetched.data(), fetched.size());
    g_updater.fetchedRecord = copy;  // freed with the window
    g_updater.fetchedSize = static_cast<uint32_t>(fetched.size());
    snprintf(g_updater.infoFileName, sizeof(g_updater.infoFileName), "%smarrowby.qvn", folder.c_str());
    snprintf(g_updater.installFolder, sizeof(g_updater.installFolder), "%s", folder.c_str());
    HWND window = g_updater.mainWindow;

    // A failed extraction changes nothing and says so.
    WriteWholeFile(folder + "marrowby.qvn", "installed record");
    g_updater.step = kStepApplying;
    SendMessageA(window, WM_APPLY_DONE, 1, 0);
    EXPECT_STREQ(TextOf(IDS_UPDATE_FAILED), g_updater.statusText);
    EXPECT_EQ(kStepStopped, g_updater.step);
    EXPECT_EQ(kExitFailed, g_updater.exitCode);
    EXPECT_TRUE(IsWindowVisible(g_updater.button));

    // The temporary file cannot be made: status 43, the old file stays.
    CreateDirectoryA((folder + "marrowby.qvn.new").c_str(), nullptr);
    SendMessageA(window, WM_APPLY_DONE, 0, 0);
    EXPECT_STREQ(TextOf(IDS_INFO_WRITE_FAILED), g_updater.statusText);
    EXPECT_EQ(kStepStopped, g_updater.step);
    EXPECT_EQ("installed record", ReadWholeFile(folder + "marrowby.qvn"));
    RemoveDirectoryA((folder + "marrowby.qvn.new").c_str());

    // Written whole; the program's name leaves the install folder, so it is
    // not started (status 45) and the window stays in step 8.
    g_updater.step = kStepApplying;
    SendMessageA(window, WM_APPLY_DONE, 0, 0);
    EXPECT_EQ(std::string(fetched.begin(), fetched.end()), ReadWholeFile(folder + "marrowby.qvn"));
    EXPECT_FALSE(FileExists(folder + "marrowby.qvn.new"));
    EXPECT_STREQ(TextOf(IDS_START_PROGRAM_FAILED), g_updater.statusText);
    EXPECT_EQ(kStepFinished, g_updater.step);
    EXPECT_TRUE(IsWindow(window));

    EXPECT_EQ(kExitFailed, g_updater.exitCode);

    // Without the flag the update simply ends.
    copy[8] = 0;
    g_updater.exitCode = kExitDone;
    g_updater.step = kStepApplying;
    SendMessageA(window, WM_APPLY_DONE, 0, 0);
    EXPECT_STREQ(TextOf(IDS_UPDATE_FINISHED), g_updater.statusText);
    EXPECT_EQ(kStepFinished, g_updater.step);
    EXPECT_EQ(kExitDone, g_updater.exitCode);
}

TEST(CompareUpdate, SetsTheInstallFolderForFormatTwoOnly)
{
    memset(&g_updater, 0, sizeof(g_updater));
    RecordBytes installed = Record2(0x01000000);
    RecordBytes fetched = Record2(0x01000001);
    g_updater.installedRecord = installed.data();
    g_updater.installedSize = static_cast<uint32_t>(installed.size());
    g_updater.fetchedRecord = fetched.data();
    g_updater.fetchedSize = static_cast<uint32_t>(fetched.size());
    EXPECT_EQ(0, CompareUpdate(&g_updater));
    char own[MAX_PATH];
    GetModuleFileNameA(nullptr, own, MAX_PATH);
    *strrchr(own, '\\') = '\0';
    EXPECT_EQ(std::string(own) + "\\", g_updater.installFolder);

    RecordBytes toTemp = Record2(0x01000000, 0x11, 0x80);  // equal version, temporary folder
    g_updater.fetchedRecord = toTemp.data();
    EXPECT_EQ(-3, CompareUpdate(&g_updater));
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    EXPECT_STREQ(temp, g_updater.installFolder);

    // Without an installed record nothing is compared and nothing chosen.
    g_updater.installFolder[0] = '\0';
    g_updater.installedRecord = nullptr;
    g_updater.installedSize = 0;
    EXPECT_EQ(0, CompareUpdate(&g_updater));
    EXPECT_STREQ("", g_updater.installFolder);
    memset(&g_updater, 0, sizeof(g_updater));
}

}  // namespace
