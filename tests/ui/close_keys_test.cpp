// Esc and the close box, as a person uses them on every window: a sheet
// closes as with Cancel and changes nothing, the about box closes as with
// OK, and the main window's close box exits and saves. The close box itself
// is drawn with the symbol font.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <string>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "marrowby/app/app_messages.h"
#include "marrowby/app/download_list.h"
#include "marrowby/app/main_window.h"
#include "marrowby/app/program_entry.h"
#include "marrowby/app/settings.h"
#include "marrowby/dialogs/about_box.h"
#include "marrowby/dialogs/download_sheets.h"
#include "marrowby/dialogs/options_sheet.h"
#include "marrowby/dialogs/sheet_registry.h"
#include "marrowby/engine/download_job.h"
#include "marrowby/resources/resource.h"
#include "tests/ui/command_test_support.h"
#include "tests/ui/sheet_driver.h"

namespace {

const char kKeptUrl[] = "http://127.0.0.1:9/kept.bin";

struct SheetCase {
    const char* name;
    WORD command;
    std::function<HWND()> sheet;
    int field;  // an edit control of the first page
};

// Esc where the person types: the focused control of the sheet's page.
void PressEscape(const WindowHost& host, HWND sheet)
{
    HWND focus = GetFocus();
    if (!focus || (focus != sheet && !IsChild(sheet, focus))) focus = GetDlgItem(CurrentPage(sheet), IDC_URL);
    PressKey(host, focus, VK_ESCAPE, 0);
}

// What a click on the close box becomes: the system command, posted.
void ClickCloseBox(HWND window)
{
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

TEST_F(CommandTest, EscAndTheCloseBoxCancelEverySheet)
{
    Start(false, {{kKeptUrl, 2, 0, ""}});
    strcpy(g_settings.defaultFolder, "C:\\before");
    g_settings.maxSimultaneous = 3;
    HWND list = MainListControl();
    SelectRows({0});
    const SheetCase cases[] = {
        {"new download", IDM_DOWNLOAD_NEW, NewDownloadSheet, IDC_URL},
        {"properties", IDM_DOWNLOAD_PROPERTIES, DownloadPropertiesSheet, IDC_URL},
        {"default properties", IDM_OPTIONS_DEFAULT_PROPERTIES, DefaultPropertiesSheet, IDC_FOLDER},
        {"options", IDM_OPTIONS_PROGRAM, ProgramOptionsSheet, IDC_MAX_SIMULTANEOUS},
    };
    for (const SheetCase& c : cases) {
        for (bool escape : {true, false}) {
            SendCommand(host_, c.command);
            HWND sheet = c.sheet();
            ASSERT_NE(nullptr, sheet) << c.name;
            SetForegroundWindow(sheet);
            HWND page = CurrentPage(sheet);
            SetFocus(GetDlgItem(page, c.field));
            SetField(page, c.field, "http://127.0.0.1:9/changed.bin");
            if (escape)
                PressEscape(host_, sheet);
            else
                ClickCloseBox(sheet);
            EXPECT_TRUE(RunLoopUntil(
                host_, [sheet] { return !IsWindow(sheet); }, 5000))
                << c.name << (escape ? " Esc" : " close box");
            EXPECT_EQ(nullptr, c.sheet()) << c.name;
            EXPECT_EQ(nullptr, ProgramSheets()->first) << c.name;
        }
    }
    // Nothing was taken from the cancelled sheets.
    ASSERT_EQ(1, RowCount(list));
    EXPECT_STREQ(kKeptUrl, FirstListItem()->url);
    EXPECT_EQ(ItemState::Paused, FirstListItem()->state);
    EXPECT_STREQ("C:\\before", g_settings.defaultFolder);
    EXPECT_EQ(3, g_settings.maxSimultaneous);
    EXPECT_TRUE(IsWindow(host_.window));
}

TEST_F(CommandTest, AboutBoxClosesOnEscEnterAndItsCloseBox)
{
    Start(false);
    for (int way = 0; way < 3; ++way) {
        SendCommand(host_, IDM_HELP_ABOUT);
        HWND box = AboutBoxWindow();
        ASSERT_NE(nullptr, box);
        SetForegroundWindow(box);
        HWND ok = GetDlgItem(box, IDOK);
        SetFocus(ok);
        if (way == 0)
            PressKey(host_, ok, VK_ESCAPE, 0);
        else if (way == 1)
            PressKey(host_, ok, VK_RETURN, 0);
        else
            ClickCloseBox(box);
        EXPECT_TRUE(RunLoopUntil(
            host_, [box] { return !IsWindow(box); }, 5000))
            << way;
        EXPECT_EQ(nullptr, AboutBoxWindow()) << way;
        EXPECT_TRUE(IsWindow(host_.window)) << way;
    }
    // Esc meant for the main window leaves it open.
    PressKey(host_, MainListControl(), VK_ESCAPE, 0);
    RunLoopFor(host_, 100);
    EXPECT_TRUE(IsWindow(host_.window));
}

// The main window's close box is Exit: the settings and list are saved and
// the loop ends.
TEST_F(CommandTest, MainWindowCloseBoxExitsAndSaves)
{
    Start(false, {{kKeptUrl, 2, 0, ""}});
    g_settings.maxSimultaneous = 9;
    HWND window = host_.window;
    ClickCloseBox(window);
    EXPECT_EQ(0, RunMessageLoop(window, host_.accelerators));
    EXPECT_FALSE(IsWindow(window));
    std::string settings = ReadWholeFile(host_.folder + "vorn.cfg");
    ASSERT_LT(2320u, settings.size());  // the record, then the block after it
    EXPECT_EQ(9, static_cast<int>(static_cast<unsigned char>(settings[8])));
    EXPECT_NE(std::string::npos, ReadWholeFile(host_.listPath).find(std::string("_State=2\r\nUrl=") + kKeptUrl));
}

// A download's report that is queued when a sheet's OK is pressed is the
// message that finds the sheet finished: it must still reach the window, or
// the download would show as running for ever.
TEST_F(CommandTest, AReportQueuedWhileASheetClosesStillArrives)
{
    SilentServer server;
    Start(false, {{server.url, 0, 0, ""}});
    SelectRows({0});
    SendCommand(host_, IDM_DOWNLOAD_START);
    DownloadItem* item = FirstListItem();
    ASSERT_EQ(ItemState::Running, item->state);
    SendCommand(host_, IDM_DOWNLOAD_NEW);
    HWND sheet = NewDownloadSheet();
    ASSERT_NE(nullptr, sheet);
    SetField(CurrentPage(sheet), IDC_URL, kKeptUrl);
    PostMessageA(host_.window, WM_ITEM_TIMED_OUT, JobTimedOut, item->runTicket);
    SendMessageA(GetDlgItem(sheet, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(RunLoopUntil(
        host_, [&] { return !IsWindow(sheet); }, 5000));
    RunLoopFor(host_, 200);
    EXPECT_EQ(ItemState::Paused, item->state);
    EXPECT_EQ(2, RowCount(MainListControl()));
}

// The caption buttons and scroll arrows are glyphs of the symbol font
// Marlett: the prefix must provide it, or a Japanese face draws letters.
TEST(CloseBox, IsDrawnWithTheSymbolFont)
{
    HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SYMBOL_CHARSET, 0, 0, 0, 0, "Marlett");
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    char face[LF_FACESIZE] = "";
    GetTextFaceA(dc, sizeof(face), face);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    EXPECT_STREQ("Marlett", face);
}

}  // namespace
