// The commands of the main window that are not sheets: the file dialogs,
// the list commands and their keys, the safety of an item whose properties
// sheet is open, and the messages of failed saves and opens.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <windows.h>
#include <commctrl.h>

#include "marrowby/app/app_messages.h"
#include "marrowby/app/download_list.h"
#include "marrowby/app/main_window.h"
#include "marrowby/app/settings.h"
#include "marrowby/dialogs/download_sheets.h"
#include "marrowby/dialogs/sheet_registry.h"
#include "marrowby/resources/resource.h"
#include "tests/ui/command_test_support.h"
#include "tests/ui/modal_driver.h"
#include "tests/ui/sheet_driver.h"

namespace {

const char kDead1[] = "http://127.0.0.1:9/one.bin";
const char kDead2[] = "http://127.0.0.1:9/two.bin";
const char kDead3[] = "http://127.0.0.1:9/three.bin";

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string StoredListPath(const std::string& settingsFile)
{
    return settingsFile.size() > 1547 ? std::string(settingsFile.c_str() + 1547) : "";
}

TEST_F(CommandTest, SaveAsAndImportThroughTheFileDialogs)
{
    Start(false, {{kDead1, 0, 0, ""}});
    // The dialogs leave the current folder as it was: downloads without a
    // folder of their own are saved there and found there again.
    char before[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(before), before);
    const std::string start = host_.folder + "start";
    CreateDirectoryA(start.c_str(), nullptr);
    ASSERT_TRUE(SetCurrentDirectoryA(start.c_str()));
    {
        ModalDriver driver({{ModalKind::FileDialog, host_.folder + "mylist"},
                            {ModalKind::FileDialog, host_.folder + "my.list"},
                            {ModalKind::FileDialog, host_.folder + "other", true}});
        SendCommand(host_, IDM_FILE_SAVE_AS);
        EXPECT_EQ(host_.folder + "mylist.wrg", g_settings.listPath);
        EXPECT_TRUE(Contains(ReadWholeFile(host_.folder + "mylist.wrg"), std::string("Url=") + kDead1));
        EXPECT_EQ(host_.folder + "mylist.wrg", StoredListPath(ReadWholeFile(host_.folder + "vorn.cfg")));
        SendCommand(host_, IDM_FILE_SAVE_AS);
        EXPECT_EQ(host_.folder + "my.list", g_settings.listPath);
        EXPECT_TRUE(Contains(ReadWholeFile(host_.folder + "my.list"), kDead1));
        EXPECT_FALSE(FileExists(host_.folder + "my.list.wrg"));
        SendCommand(host_, IDM_FILE_SAVE_AS);  // cancelled: nothing changes
        EXPECT_EQ(host_.folder + "my.list", g_settings.listPath);
        std::vector<SeenModal> seen = driver.Finish();
        ASSERT_EQ(3u, seen.size());
        EXPECT_EQ(ModalKind::FileDialog, seen[2].kind);
        EXPECT_EQ(host_.window, seen[0].owner);
    }
    // Only the http lines are added; the list file stays, nothing starts.
    WriteWholeFile(host_.folder + "urls.lst", std::string("ftp://h/x\r\n\r\n") + kDead2 + "\r\n" + kDead3 + "\n");
    g_settings.autoStart = 1;
    ModalDriver driver({{ModalKind::FileDialog, host_.folder + "urls.lst"}});
    SendCommand(host_, IDM_FILE_IMPORT);
    EXPECT_EQ(1u, driver.Finish().size());
    HWND list = MainListControl();
    ASSERT_EQ(3, RowCount(list));
    EXPECT_EQ(kDead2, CellText(list, 1, kColumnAddress));
    EXPECT_EQ(kDead3, CellText(list, 2, kColumnAddress));
    EXPECT_EQ(0, LastListItem()->tries);
    EXPECT_EQ(host_.folder + "my.list", g_settings.listPath);
    char after[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(after), after);
    SetCurrentDirectoryA(before);
    EXPECT_EQ(start, after);
}

// Save As over an existing file asks first. No keeps the file (the dialog
// stays open and is then cancelled, nothing changes); Yes replaces it. The
// question is about the file that is written, extension included. (The
// system's question names no file, so only its coming is checked.)
TEST_F(CommandTest, SaveAsAsksBeforeReplacingAFile)
{
    Start(false, {{kDead1, 0, 0, ""}});
    const std::string existing = host_.folder + "keep.wrg";
    WriteWholeFile(existing, "old contents\r\n");
    const std::string listPath = g_settings.listPath;
    {
        ModalDriver driver({{ModalKind::FileDialog, host_.folder + "keep"},
                            {ModalKind::MessageBox, "", false, nullptr, IDNO},
                            {ModalKind::FileDialog, "", true}});
        SendCommand(host_, IDM_FILE_SAVE_AS);
        std::vector<SeenModal> seen = driver.Finish();
        // Only "keep.wrg" exists: the question shows that it is asked about.
        ASSERT_EQ(3u, seen.size());
        EXPECT_EQ(ModalKind::MessageBox, seen[1].kind);
        EXPECT_EQ(ModalKind::FileDialog, seen[2].kind);
    }
    EXPECT_EQ("old contents\r\n", ReadWholeFile(existing));
    EXPECT_EQ(listPath, g_settings.listPath);

    ModalDriver driver({{ModalKind::FileDialog, existing}, {ModalKind::MessageBox, "", false, nullptr, IDYES}});
    SendCommand(host_, IDM_FILE_SAVE_AS);
    std::vector<SeenModal> seen = driver.Finish();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(ModalKind::MessageBox, seen[1].kind);
    EXPECT_EQ(existing, g_settings.listPath);
    EXPECT_TRUE(Contains(ReadWholeFile(existing), std::string("Url=") + kDead1));
}

// Open keeps the shown list in its file, stops the running downloads, then
// reads the chosen file; a file that cannot be read or written is named.
TEST_F(CommandTest, OpenKeepsTheShownListAndStopsItsDownloads)
{
    SilentServer server;
    Start(false, {{server.url + "?1", 0, 0, ""}, {server.url + "?2", 0, 0, ""}});
    SendMessageA(host_.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>(kDead3));  // not saved yet
    SelectRows({0, 1});
    SendCommand(host_, IDM_DOWNLOAD_START);
    ASSERT_EQ(ItemState::Running, FirstListItem()->state);
    std::string other = host_.folder + "other.wrg";
    WriteStartList(other, host_.folder, {{kDead1, 2, 0, ""}});
    ModalDriver driver({{ModalKind::FileDialog, other}});
    SendCommand(host_, IDM_FILE_OPEN);
    EXPECT_EQ(1u, driver.Finish().size());
    EXPECT_EQ(2, server.ClosedConnections(3000));
    HWND list = MainListControl();
    ASSERT_EQ(1, RowCount(list));
    EXPECT_EQ(kDead1, CellText(list, 0, kColumnAddress));
    EXPECT_EQ(other, g_settings.listPath);
    std::string kept = ReadWholeFile(host_.listPath);
    EXPECT_TRUE(Contains(kept, std::string("Url=") + kDead3)) << kept;
    EXPECT_TRUE(Contains(kept, "Url=" + server.url + "?2")) << kept;

    // A list file that cannot be kept, then one that cannot be read.
    std::string lost = host_.folder + "missing\\lost.wrg";
    std::string absent = host_.folder + "absent.wrg";
    strcpy(g_settings.listPath, lost.c_str());
    ModalDriver failing({{ModalKind::FileDialog, absent}, {ModalKind::MessageBox}, {ModalKind::MessageBox}});
    SendCommand(host_, IDM_FILE_OPEN);
    std::vector<SeenModal> seen = failing.Finish();
    EXPECT_EQ(kSaveFailedText + lost, MessageText(seen, 1));
    EXPECT_EQ(kOpenFailedText + absent, MessageText(seen, 2));
    EXPECT_EQ(0, RowCount(list));
    EXPECT_EQ(absent, g_settings.listPath);  // written at exit
}

// A file picked by mistake (an archive, say) does not become the open list,
// which the next save would write over it.
TEST_F(CommandTest, OpenRefusesAFileThatIsNotAList)
{
    Start(false, {{kDead1, 2, 0, ""}});
    const std::string listPath = g_settings.listPath;
    const std::string archive = host_.folder + "photos.zip";
    const std::string archiveBytes("PK\x03\x04\x14\0\0\0\x08\0=\x1a\xff\r\nmore", 18);
    WriteWholeFile(archive, archiveBytes);
    ModalDriver driver({{ModalKind::FileDialog, archive}, {ModalKind::MessageBox}});
    SendCommand(host_, IDM_FILE_OPEN);
    std::vector<SeenModal> seen = driver.Finish();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(kNotAListText + archive, MessageText(seen, 1));
    EXPECT_EQ(listPath, g_settings.listPath);
    HWND list = MainListControl();
    ASSERT_EQ(1, RowCount(list));
    EXPECT_EQ(kDead1, CellText(list, 0, kColumnAddress));
    SendCommand(host_, IDM_FILE_SAVE);
    EXPECT_EQ(archiveBytes, ReadWholeFile(archive));
}

TEST_F(CommandTest, FailedSavesNameTheFile)
{
    Start(false, {{kDead1, 0, 0, ""}});
    std::string lost = host_.folder + "missing\\list.wrg";
    strcpy(g_settings.listPath, lost.c_str());
    std::string lostAs = host_.folder + "missing\\mylist";
    ModalDriver driver({{ModalKind::MessageBox}, {ModalKind::FileDialog, lostAs}, {ModalKind::MessageBox}});
    SendCommand(host_, IDM_FILE_SAVE);
    SendCommand(host_, IDM_FILE_SAVE_AS);
    std::vector<SeenModal> seen = driver.Finish();
    EXPECT_EQ(kSaveFailedText + lost, MessageText(seen, 0));
    EXPECT_EQ(host_.window, seen.empty() ? nullptr : seen[0].owner);
    EXPECT_EQ(kSaveFailedText + lostAs + ".wrg", MessageText(seen, 2));
    EXPECT_EQ(lostAs + ".wrg", g_settings.listPath);  // taken all the same
    strcpy(g_settings.listPath, host_.listPath.c_str());
}

// Both files that could not be written at exit are named before the end.
TEST_F(CommandTest, FailedSavingAtExitIsToldBeforeTheProgramEnds)
{
    Start(false, {{kDead1, 0, 0, ""}});
    std::string lost = host_.folder + "missing\\list.wrg";
    strcpy(g_settings.listPath, lost.c_str());
    std::string settingsFolder = host_.folder + "gone\\";
    SetSettingsFolder(settingsFolder.c_str());
    ModalDriver driver({ModalAnswer(ModalKind::MessageBox)});
    DestroyWindow(host_.window);
    std::vector<SeenModal> seen = driver.Finish();
    EXPECT_EQ(kExitSaveFailedText + settingsFolder + "vorn.cfg\n" + lost, MessageText(seen, 0));
    ASSERT_EQ(1u, host_.notices.size());
    EXPECT_EQ(kNoticeMainWindowDestroyed, host_.notices[0].kind);
}

// The list commands through their keys, a toolbar button and the menu.
TEST_F(CommandTest, ListCommandsAndTheirKeys)
{
    Start(false, {{kDead1, 0, 0, ""}, {kDead2, 1, 0, ""}, {kDead3, 2, 0, ""}});
    HWND list = MainListControl();
    SetFocus(host_.window);
    PressKey(host_, list, 'A', VK_CONTROL);
    EXPECT_EQ((std::vector<int>{0, 1, 2}), SelectedRows());
    EXPECT_EQ(2, static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                               MAKELPARAM(LVNI_FOCUSED, 0))));  // the last row
    EXPECT_EQ(list, GetFocus());
    PressKey(host_, list, 'P', VK_MENU);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(ItemState::Paused, ItemOfRow(row)->state) << row;
        EXPECT_EQ(kIconPaused, RowImage(list, row)) << row;
    }
    // The toolbar's start button, clicked, starts the selected row.
    SelectRows({1});
    HWND toolbar = MainToolbar();
    RECT button;
    SendMessageA(toolbar, TB_GETITEMRECT, 7, reinterpret_cast<LPARAM>(&button));
    LPARAM at = MAKELPARAM((button.left + button.right) / 2, (button.top + button.bottom) / 2);
    SendMessageA(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(toolbar, WM_LBUTTONUP, 0, at);
    EXPECT_EQ(1, ItemOfRow(1)->tries);
    EXPECT_EQ(0, ItemOfRow(0)->tries);
    PressKey(host_, list, 'S', VK_MENU);  // Start again: nothing else selected
    EXPECT_EQ(0, ItemOfRow(0)->tries);
    // The toolbar's tooltips ask the window for their texts.
    HWND tips = reinterpret_cast<HWND>(SendMessageA(toolbar, TB_GETTOOLTIPS, 0, 0));
    char text[64] = "";
    TOOLINFOA tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = toolbar;
    tool.uId = IDM_DOWNLOAD_NEW;
    tool.lpszText = text;
    SendMessageA(tips, TTM_GETTEXTA, sizeof(text), reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(
        "\x90V\x8bK\x83_\x83"
        "E\x83\x93\x83\x8d\x81[\x83h",
        text);

    SelectRows({0});
    PressKey(host_, list, VK_DELETE, 0);  // Delete alone
    ASSERT_EQ(2, RowCount(list));
    EXPECT_EQ(kDead2, CellText(list, 0, kColumnAddress));
    SelectRows({1});
    PressKey(host_, list, VK_DELETE, VK_MENU);
    ASSERT_EQ(1, RowCount(list));
    EXPECT_EQ(0, FirstListItem()->row);
    EXPECT_EQ(1, ListRowCounter());

    PressKey(host_, list, 'N', VK_MENU);
    ASSERT_NE(nullptr, NewDownloadSheet());
    EXPECT_TRUE(CloseSheetWith(host_, NewDownloadSheet(), IDCANCEL));
    // New list then Save empties the open file.
    PressKey(host_, list, 'N', VK_CONTROL);
    EXPECT_EQ(0, RowCount(list));
    PressKey(host_, list, 'S', VK_CONTROL);
    std::string saved = ReadWholeFile(host_.listPath);
    EXPECT_TRUE(Contains(saved, "; Created by")) << saved;
    EXPECT_FALSE(Contains(saved, "Url=")) << saved;
    ModalDriver driver({{ModalKind::FileDialog, "", true}});
    PressKey(host_, list, 'O', VK_CONTROL);
    EXPECT_EQ(1u, driver.Finish().size());
}

// Every way a download leaves the list closes its open properties sheet
// first; a sheet for another download stays.
TEST_F(CommandTest, RemovingTheDownloadOfAnOpenPropertiesSheetClosesItFirst)
{
    Start(false, {{kDead1, 0, 0, ""}, {kDead2, 0, 0, ""}, {kDead3, 0, 0, ""}});
    HWND list = MainListControl();
    auto openOn = [&](int row) {
        SelectRows({row});
        SendCommand(host_, IDM_DOWNLOAD_PROPERTIES);
        EXPECT_EQ(ItemOfRow(row), DownloadPropertiesItem());
        return DownloadPropertiesSheet();
    };
    auto expectClosed = [&](HWND sheet, const char* how) {
        EXPECT_FALSE(IsWindow(sheet)) << how;
        EXPECT_EQ(nullptr, DownloadPropertiesSheet()) << how;
        EXPECT_EQ(nullptr, DownloadPropertiesItem()) << how;
        EXPECT_EQ(nullptr, ProgramSheets()->first) << how;
    };

    HWND sheet = openOn(1);
    SelectRows({0});
    SendCommand(host_, IDM_DOWNLOAD_DELETE);
    EXPECT_TRUE(IsWindow(sheet));  // another download went
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDCANCEL));
    sheet = openOn(0);
    SendCommand(host_, IDM_DOWNLOAD_DELETE);
    expectClosed(sheet, "menu");
    sheet = openOn(0);
    PressKey(host_, list, VK_DELETE, VK_MENU);
    expectClosed(sheet, "Alt+Delete");
    EXPECT_EQ(0, RowCount(list));

    SendMessageA(host_.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>(kDead1));
    sheet = openOn(0);
    PressKey(host_, list, VK_DELETE, 0);
    expectClosed(sheet, "Delete key");

    SendMessageA(host_.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>(kDead1));
    sheet = openOn(0);
    SendCommand(host_, IDM_FILE_NEW);
    expectClosed(sheet, "new list");

    SendMessageA(host_.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>(kDead2));
    sheet = openOn(0);
    {
        ModalDriver driver({{ModalKind::FileDialog, host_.listPath}});
        SendCommand(host_, IDM_FILE_OPEN);
        driver.Finish();
    }
    expectClosed(sheet, "open");
    ASSERT_EQ(1, RowCount(list));  // the list kept before opening it again

    // Deleted while the sheet's own message box is open: the sheet lets go
    // of the download and closes once the box is answered.
    sheet = openOn(0);
    SetField(CurrentPage(sheet), IDC_URL, "no colon");
    HWND window = host_.window;
    ModalDriver driver({{ModalKind::MessageBox, "", false, [window] {
                             PostMessageA(window, WM_COMMAND, IDM_DOWNLOAD_DELETE, 0);
                             Sleep(300);  // the box's own loop deletes the download
                         }}});
    EXPECT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    EXPECT_EQ(kInvalidUrlText, MessageText(driver.Finish(), 0));
    expectClosed(sheet, "during the message box");
    EXPECT_EQ(0, RowCount(list));
}

TEST_F(CommandTest, RemovalOnSuccessClosesThePropertiesSheetFirst)
{
    std::string url = ServerUrl("safe1/done.bin?size=40000&slow=50");
    if (url.empty()) GTEST_SKIP() << "needs the scripted server";
    Start(false, {{url, 0, 0, ""}, {kDead1, 2, 0, ""}});
    g_settings.removeOnSuccess = 1;
    SelectRows({0});
    SendCommand(host_, IDM_DOWNLOAD_START);
    SendCommand(host_, IDM_DOWNLOAD_PROPERTIES);
    HWND sheet = DownloadPropertiesSheet();
    ASSERT_NE(nullptr, sheet);
    EXPECT_TRUE(RunLoopUntil(
        host_, [] { return RowCount(MainListControl()) == 1; }, 20000));
    EXPECT_FALSE(IsWindow(sheet));
    EXPECT_EQ(nullptr, DownloadPropertiesItem());
    EXPECT_EQ(kDead1, CellText(MainListControl(), 0, kColumnAddress));
    EXPECT_EQ(40000u, ReadWholeFile(host_.folder + "done.bin").size());
}

}  // namespace
