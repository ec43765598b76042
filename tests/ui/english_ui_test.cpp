// Marrowby for a user whose Windows speaks English (run in the English
// prefix): the main window, every sheet, the about box, the file dialog's
// filters and the messages come in English, with no Japanese text left in
// any window. Each window is photographed (build/screenshots/english-*.png)
// to be looked at.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include "marrowby/app/main_window.h"
#include "marrowby/dialogs/about_box.h"
#include "marrowby/dialogs/download_sheets.h"
#include "marrowby/dialogs/options_sheet.h"
#include "marrowby/resources/resource.h"
#include "tests/ui/modal_driver.h"
#include "tests/ui/png_file.h"
#include "tests/ui/program_support.h"
#include "tests/ui/sheet_driver.h"
#include "tests/ui/window_host.h"

namespace {

std::string WindowText(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof(name));
    return name;
}

// Texts of a window and all its descendants, tab titles and column
// headings included, joined with "|".
void AddTexts(HWND window, std::string* texts)
{
    std::string name = ClassOf(window);
    // An icon's "text" is its resource number.
    bool icon = name == "Static" && (GetWindowLongA(window, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
    if (!icon) *texts += WindowText(window) + "|";
    char item[256];
    if (name == WC_TABCONTROLA) {
        for (int i = 0; i < TabCtrl_GetItemCount(window); ++i) {
            TCITEMA tab = {};
            tab.mask = TCIF_TEXT;
            tab.pszText = item;
            tab.cchTextMax = sizeof(item);
            item[0] = '\0';
            SendMessageA(window, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&tab));
            *texts += std::string(item) + "|";
        }
    } else if (name == WC_HEADERA) {
        for (int i = 0; i < Header_GetItemCount(window); ++i) {
            HDITEMA heading = {};
            heading.mask = HDI_TEXT;
            heading.pszText = item;
            heading.cchTextMax = sizeof(item);
            item[0] = '\0';
            SendMessageA(window, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&heading));
            *texts += std::string(item) + "|";
        }
    }
}

std::string AllTexts(HWND window)
{
    std::string texts = "|";
    AddTexts(window, &texts);
    EnumChildWindows(
        window,
        [](HWND child, LPARAM lParam) -> BOOL {
            AddTexts(child, reinterpret_cast<std::string*>(lParam));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// The labels of a menu and its submenus, joined with "|".
std::string MenuTexts(HMENU menu)
{
    std::string texts;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[256] = "";
        GetMenuStringA(menu, i, text, sizeof(text), MF_BYPOSITION);
        texts += std::string(text) + "|";
        if (HMENU popup = GetSubMenu(menu, i)) texts += MenuTexts(popup);
    }
    return texts;
}

// Japanese (or any text beyond ASCII) left somewhere.
bool AllAscii(const std::string& text)
{
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

void ExpectAll(const std::string& texts, const std::vector<const char*>& expected)
{
    EXPECT_TRUE(AllAscii(texts)) << texts;
    for (const char* text : expected) EXPECT_NE(std::string::npos, texts.find(std::string("|") + text + "|")) << text;
}

// The window's pixels on the screen, saved for a look by eye.
void Photograph(const WindowHost& host, HWND window, const char* name)
{
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RunLoopFor(host, 300);
    RECT frame;
    GetWindowRect(window, &frame);
    ScreenPixels screen;
    CaptureScreen(&screen);
    int left = frame.left < 0 ? 0 : frame.left, top = frame.top < 0 ? 0 : frame.top;
    int right = frame.right > screen.width ? screen.width : frame.right;
    int bottom = frame.bottom > screen.height ? screen.height : frame.bottom;
    ASSERT_GT(right, left);
    ASSERT_GT(bottom, top);
    std::vector<uint32_t> pixels;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) pixels.push_back(screen.pixels[static_cast<size_t>(y) * screen.width + x]);
    std::string shots = WindowsPath("MW_SOURCE_DIR") + "build\\screenshots\\";
    MakeFolders(shots);
    EXPECT_TRUE(WritePng(shots + "english-" + name + ".png", right - left, bottom - top, pixels));
}

class EnglishUi : public HostedWindowTest {
protected:
    void Start()
    {
        WriteHostSettings(host_, false, 2);
        WriteStartList(host_.listPath, "C:\\dl\\", {{"http://127.0.0.1:9/one.bin", 2, 0, ""}});
        ASSERT_EQ(0, CreateHostWindow(&host_));
        ShowWindow(host_.window, SW_SHOW);
    }
};

TEST_F(EnglishUi, TheUserInterfaceLanguageIsEnglish)
{
    // Otherwise the tests below would pass or fail for the wrong reason.
    EXPECT_EQ(LANG_ENGLISH, PRIMARYLANGID(GetUserDefaultUILanguage()));
    EXPECT_EQ(1252u, GetACP());
}

TEST_F(EnglishUi, MainWindowMenusHeadingsAndTips)
{
    Start();
    EXPECT_EQ("Marrowby", WindowText(host_.window));
    std::string menu = "|" + MenuTexts(GetMenu(host_.window));
    ExpectAll(menu, {"&File",
                     "&New\tCtrl+N",
                     "&Open...\tCtrl+O",
                     "&Import URL List...\tCtrl+L",
                     "&Save\tCtrl+S",
                     "Save &As...",
                     "E&xit\tAlt+F4",
                     "&Edit",
                     "Select &All\tCtrl+A",
                     "&Download",
                     "&New...\tAlt+N",
                     "&Start\tAlt+S",
                     "&Pause\tAlt+P",
                     "&Delete\tAlt+Del",
                     "P&roperties...\tAlt+Enter",
                     "&Options",
                     "Default Do&wnload Properties...",
                     "Program Opt&ions...",
                     "&Help",
                     "&About Marrowby...",
                     "&Update to the Latest Version"});
    ExpectAll(AllTexts(host_.window), {"File name", "Size", "Received", "Time", "Tries", "Address", "Status",
                                       "Progress", "Speed", "Time left"});
    // Every heading shows whole: its column is wider than its text in the
    // header's font and the header's margins on both sides.
    HWND list = FindWindowExA(host_.window, nullptr, WC_LISTVIEWA, nullptr);
    ASSERT_NE(nullptr, list);
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    HDC dc = GetDC(header);
    HGDIOBJ font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(header, WM_GETFONT, 0, 0)));
    for (int i = 0; i < Header_GetItemCount(header); ++i) {
        char text[64] = "";
        HDITEMA heading = {};
        heading.mask = HDI_TEXT | HDI_WIDTH;
        heading.pszText = text;
        heading.cchTextMax = sizeof(text);
        SendMessageA(header, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&heading));
        SIZE extent = {};
        GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &extent);
        EXPECT_GE(heading.cxy, extent.cx + 6 * GetSystemMetrics(SM_CXEDGE)) << text;
    }
    SelectObject(dc, font);
    ReleaseDC(header, dc);

    // The toolbar's tips come from the string table by id.
    const struct {
        UINT command;
        const char* text;
    } tips[] = {{IDM_FILE_OPEN, "Open"},         {IDM_FILE_SAVE, "Save"},       {IDM_DOWNLOAD_NEW, "New download"},
                {IDM_DOWNLOAD_DELETE, "Delete"}, {IDM_DOWNLOAD_PAUSE, "Pause"}, {IDM_DOWNLOAD_START, "Start"}};
    for (const auto& tip : tips) {
        NMTTDISPINFOA request = {};
        request.hdr.idFrom = tip.command;
        request.hdr.code = TTN_NEEDTEXTA;
        SendMessageA(host_.window, WM_NOTIFY, tip.command, reinterpret_cast<LPARAM>(&request));
        char text[64] = "";
        LoadStringA(request.hinst, static_cast<UINT>(reinterpret_cast<UINT_PTR>(request.lpszText)), text, sizeof(text));
        EXPECT_STREQ(tip.text, text) << tip.command;
    }
    Photograph(host_, host_.window, "main");
}

TEST_F(EnglishUi, EverySheetAndTheAboutBox)
{
    Start();
    SelectRows({0});
    const struct {
        WORD command;
        HWND (*window)();
        const char* shot;
        std::vector<const char*> texts;
    } windows[] = {
        {IDM_DOWNLOAD_NEW,
         NewDownloadSheet,
         "new-download",
         {"Download Properties", "URL", "Referrer", "Save in folder", "Login to the server", "User name", "Password",
          "Checksum (SHA-256, SHA-1 or MD5; optional)", "OK", "Cancel"}},
        {IDM_DOWNLOAD_PROPERTIES, DownloadPropertiesSheet, "properties", {"Download Properties", "URL", "Referrer"}},
        {IDM_OPTIONS_DEFAULT_PROPERTIES,
         DefaultPropertiesSheet,
         "default-properties",
         {"Default Download Properties", "URL", "Proxy", "Save in folder", "Login to the server"}},
        {IDM_OPTIONS_PROGRAM,
         ProgramOptionsSheet,
         "options",
         {"Program Options", "General", "Exit when no download has been active for", "seconds",
          "Downloads at the same time", "Start downloads automatically",
          "Remove a download from the list when it succeeds"}},
        {IDM_HELP_ABOUT,
         AboutBoxWindow,
         "about",
         {"About Marrowby", "Marrowby", "HTTP download manager", "Built on the Tessaline engine", "OK"}},
    };
    for (const auto& w : windows) {
        SendCommand(host_, w.command);
        HWND window = w.window();
        ASSERT_NE(nullptr, window) << w.shot;
        RunLoopFor(host_, 200);
        SCOPED_TRACE(w.shot);
        ExpectAll(AllTexts(window), w.texts);
        // As a user fills it in (the sheet is cancelled: nothing is fetched).
        if (w.command == IDM_DOWNLOAD_NEW)
            SetField(CurrentPage(window), IDC_URL, "http://127.0.0.1:8080/files/sample.bin?size=300000");
        Photograph(host_, window, w.shot);
        if (w.command == IDM_OPTIONS_DEFAULT_PROPERTIES) {  // the proxy page too
            PropSheet_SetCurSel(window, nullptr, 1);
            RunLoopFor(host_, 200);
            ExpectAll(AllTexts(window), {"Use an HTTP proxy", "Proxy server address"});
            Photograph(host_, window, "default-properties-proxy");
        }
        if (w.command == IDM_HELP_ABOUT) {
            SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        } else {
            EXPECT_TRUE(CloseSheetWith(host_, window, IDCANCEL, true));
        }
    }
}

TEST_F(EnglishUi, FileDialogFiltersAndMessages)
{
    Start();
    // The import dialog lists the English filters; cancelled, nothing is read.
    std::vector<std::string> filters;
    DWORD gui = GetCurrentThreadId();
    ModalDriver driver({ModalAnswer(ModalKind::FileDialog, "", true, [&filters, gui] {
        HWND dialog = nullptr;
        for (int i = 0; i < 50 && !dialog; ++i) {
            Sleep(100);
            EnumThreadWindows(
                gui,
                [](HWND window, LPARAM lParam) -> BOOL {
                    if (IsWindowVisible(window) && ClassOf(window) == "#32770")
                        *reinterpret_cast<HWND*>(lParam) = window;
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&dialog));
        }
        HWND types = dialog ? GetDlgItem(dialog, 0x470) : nullptr;  // the file type box
        int count = types ? static_cast<int>(SendMessageA(types, CB_GETCOUNT, 0, 0)) : 0;
        for (int i = 0; i < count; ++i) {
            char text[256] = "";
            SendMessageA(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            filters.push_back(text);
        }
    })});
    SendCommand(host_, IDM_FILE_IMPORT);
    std::vector<SeenModal> seen = driver.Finish();
    ASSERT_EQ(1u, seen.size());
    EXPECT_TRUE(AllAscii(seen[0].text)) << seen[0].text;
    std::vector<std::string> expected = {"URL List Files (*.lst)", "Text Files (*.txt)", "All Files (*.*)"};
    EXPECT_EQ(expected, filters);

    // Every message and caption of the string table reads in English.
    for (UINT id = IDS_APP_TITLE; id <= IDS_NOT_A_LIST_FILE; ++id) {
        char text[512] = "";
        EXPECT_GT(LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof(text)), 0) << id;
        EXPECT_TRUE(AllAscii(text)) << id << ": " << text;
    }
    for (UINT id = IDS_CHECKSUM_NOT_HEX; id <= IDS_CHECKSUM_UNREADABLE; ++id) {
        char text[512] = "";
        EXPECT_GT(LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof(text)), 0) << id;
        EXPECT_TRUE(AllAscii(text)) << id << ": " << text;
    }
    char text[512] = "";
    LoadStringA(GetModuleHandleA(nullptr), IDS_LIST_OPEN_FAILED, text, sizeof(text));
    EXPECT_STREQ("The following list file could not be opened.\n%s", text);
}

}  // namespace
