// The download and options sheets opened through their commands on a real
// main window, filled through their edit controls and closed with their own
// buttons; then the resulting item, settings and row.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "marrowby/app/app_messages.h"
#include "marrowby/app/download_list.h"
#include "marrowby/app/main_window.h"
#include "marrowby/app/settings.h"
#include "marrowby/dialogs/download_sheets.h"
#include "marrowby/dialogs/options_sheet.h"
#include "marrowby/dialogs/sheet_registry.h"
#include "marrowby/engine/rate_limit.h"
#include "marrowby/engine/url.h"
#include "common/bounded_text.h"
#include "marrowby/resources/resource.h"
#include "tests/ui/command_test_support.h"
#include "tests/ui/modal_driver.h"
#include "tests/ui/program_support.h"
#include "tests/ui/sheet_driver.h"
#include "tests/ui/test_data_object.h"

namespace {

const char kDeadUrl[] = "http://127.0.0.1:9/dead.bin";

std::string WindowText(HWND window)
{
    char text[256] = "";
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

std::string StringText(int id)
{
    char text[256] = "";
    LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof(text));
    return text;
}

// The page as its template makes it: the size in dialog units (pages the
// sheet makes larger are not checked) and the font.
void ExpectTemplate(HWND page, int cx, int cy)
{
    if (cx) {
        RECT units = {0, 0, cx, cy};
        MapDialogRect(page, &units);
        RECT client;
        GetClientRect(page, &client);
        EXPECT_EQ(units.right, client.right);
        EXPECT_EQ(units.bottom, client.bottom);
    }
    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(page, WM_GETFONT, 0, 0)), sizeof(font), &font);
    EXPECT_STREQ(
        "\x82l\x82r \x82o\x83S\x83V\x83"
        "b\x83N",
        font.lfFaceName);  // MS PGothic
}

int FieldLimit(HWND page, int id)
{
    return static_cast<int>(SendDlgItemMessageA(page, id, EM_GETLIMITTEXT, 0, 0));
}

// The new-download sheet: typed fields become the item; the login comes
// from the URL where the fields are empty; refused URLs add nothing.
TEST_F(CommandTest, NewDownloadSheetAddsWhatWasTyped)
{
    Start(false);
    strcpy(g_settings.defaultFolder, "C:\\dl");
    SendCommand(host_, IDM_DOWNLOAD_NEW);
    HWND sheet = NewDownloadSheet();
    ASSERT_NE(nullptr, sheet);
    // Asked again while it lies behind the main window (a click on the list
    // puts it there under Wine), the open sheet comes to the front.
    SetForegroundWindow(host_.window);
    EXPECT_EQ(1, ShowNewDownloadSheet());
    EXPECT_EQ(sheet, GetForegroundWindow());
    EXPECT_EQ(sheet, ProgramSheets()->first->window);
    EXPECT_EQ(host_.window, GetWindow(sheet, GW_OWNER));
    EXPECT_EQ(StringText(IDS_DOWNLOAD_PROPERTIES), WindowText(sheet));
    HWND apply = GetDlgItem(sheet, 0x3021);
    EXPECT_TRUE(!apply || !IsWindowVisible(apply));
    HWND page = CurrentPage(sheet);
    ExpectTemplate(page, 263, 150);
    EXPECT_EQ("http://", FieldText(page, IDC_URL));
    EXPECT_EQ("C:\\dl", FieldText(page, IDC_FOLDER));
    EXPECT_EQ("", FieldText(page, IDC_USER));
    const int limits[][2] = {// The URL field takes one more character than a URL may have: a
                             // longer one is seen whole and refused.
                             {IDC_URL, static_cast<int>(kUrlTextMax) + 2},
                             {IDC_REFERRER, 1152},
                             {IDC_FOLDER, 260},
                             {IDC_USER, 48},
                             {IDC_PASSWORD, 48}};
    for (const auto& limit : limits) EXPECT_EQ(limit[1], FieldLimit(page, limit[0])) << limit[0];
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(page, IDC_PASSWORD), GWL_STYLE) & ES_PASSWORD);
    SetField(page, IDC_URL, "http://u:p@127.0.0.1:9/a.bin");
    SetField(page, IDC_REFERRER, "http://ref/");
    SetField(page, IDC_USER, "x");
    SetField(page, IDC_FOLDER, std::string(300, 'f'));
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    EXPECT_EQ(nullptr, NewDownloadSheet());
    EXPECT_EQ(nullptr, ProgramSheets()->first);
    ASSERT_EQ(2u, host_.notices.size());
    EXPECT_EQ(kNoticeSheetOpened, host_.notices[0].kind);
    EXPECT_EQ(kNoticeSheetClosed, host_.notices[1].kind);
    EXPECT_EQ(sheet, host_.notices[1].window);
    HWND list = MainListControl();
    ASSERT_EQ(1, RowCount(list));
    DownloadItem* item = FirstListItem();
    EXPECT_STREQ("http://u:p@127.0.0.1:9/a.bin", item->url);
    EXPECT_EQ("http://u:p@127.0.0.1:9/a.bin", CellText(list, 0, kColumnAddress));
    EXPECT_STREQ("http://ref/", item->referrer);
    EXPECT_STREQ("x", item->user);      // typed wins
    EXPECT_STREQ("p", item->password);  // empty field: from the URL
    EXPECT_EQ(std::string(259, 'f'), item->folder);
    EXPECT_EQ(ItemState::Waiting, item->state);
    EXPECT_EQ(0, item->tries);  // no automatic start

    struct Case {
        std::string url;
        bool added;
        const char* user;
        const char* password;
    };
    const std::string longest = "http://h/" + std::string(kUrlTextMax - 9, 'l');
    const Case cases[] = {
        {"http://", true, "", ""},           // parses and names http: enough
        {"http://u:p@h/b", true, "u", "p"},  // both from the URL
        {"https://h:8443/s", true, "", ""}, {"ftp://h/x", false, "", ""},
        {"no colon", false, "", ""},        {longest, true, "", ""},
        {longest + "x", false, "", ""},     {" \thttp://h/c \t", true, "", ""},
    };
    for (const Case& c : cases) {
        int rows = RowCount(list);
        ModalDriver driver({ModalAnswer(ModalKind::MessageBox)});
        SendCommand(host_, IDM_DOWNLOAD_NEW);
        sheet = NewDownloadSheet();
        ASSERT_NE(nullptr, sheet);
        SetField(CurrentPage(sheet), IDC_URL, c.url);
        // A refused URL posts nothing: the sheet goes with the next message.
        EXPECT_TRUE(CloseSheetWith(host_, sheet, IDOK, !c.added)) << c.url;
        std::vector<SeenModal> seen = driver.Finish();
        EXPECT_EQ(rows + (c.added ? 1 : 0), RowCount(list)) << c.url;
        if (c.added) {
            EXPECT_TRUE(seen.empty()) << c.url;
            EXPECT_STREQ(c.user, LastListItem()->user) << c.url;
            EXPECT_STREQ(c.password, LastListItem()->password) << c.url;
            std::string stored = c.url.substr(c.url.find_first_not_of(" \t"));  // blanks around it go
            stored.erase(stored.find_last_not_of(" \t") + 1);
            EXPECT_EQ(stored, LastListItem()->url);
        } else {
            EXPECT_EQ(c.url.size() > kUrlTextMax ? kUrlTooLongText : kInvalidUrlText, MessageText(seen, 0)) << c.url;
            EXPECT_EQ(sheet, seen.empty() ? nullptr : seen[0].owner);
        }
    }

    // Cancel adds nothing; with automatic start OK also starts the download.
    SendCommand(host_, IDM_FILE_NEW);
    EXPECT_EQ(0, RowCount(list));
    SendCommand(host_, IDM_DOWNLOAD_NEW);
    SetField(CurrentPage(NewDownloadSheet()), IDC_URL, kDeadUrl);
    ASSERT_TRUE(CloseSheetWith(host_, NewDownloadSheet(), IDCANCEL));
    EXPECT_EQ(0, RowCount(list));
    g_settings.autoStart = 1;
    SendCommand(host_, IDM_DOWNLOAD_NEW);
    SetField(CurrentPage(NewDownloadSheet()), IDC_URL, kDeadUrl);
    ASSERT_TRUE(CloseSheetWith(host_, NewDownloadSheet(), IDOK));
    ASSERT_EQ(1, RowCount(list));
    EXPECT_EQ(1, FirstListItem()->tries);
}

// An https link typed into the new-download sheet and one dropped on the
// window are both fetched over TLS, byte for byte.
TEST_F(CommandTest, HttpsLinksFromTheSheetAndADropComplete)
{
    const char* port = getenv("MW_HTTPS_PORT");
    if (!port) GTEST_SKIP() << "needs the scripted TLS server";
    const std::string base = "https://localhost:" + std::string(port) + "/tlsui/";
    Start(true);
    mw_text::Copy(g_settings.defaultFolder, host_.folder.c_str());
    SendCommand(host_, IDM_DOWNLOAD_NEW);
    SetField(CurrentPage(NewDownloadSheet()), IDC_URL, base + "typed.bin?size=70000");
    ASSERT_TRUE(CloseSheetWith(host_, NewDownloadSheet(), IDOK));

    IDropTarget* target = nullptr;
    ASSERT_EQ(S_OK, MainDropTarget()->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target)));
    TestDataObject data(base + "dropped.bin?size=123457", true);
    const POINTL point = {40, 80};
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_LINK;
    EXPECT_EQ(S_OK, target->DragEnter(&data, MK_LBUTTON, point, &effect));
    effect = DROPEFFECT_COPY | DROPEFFECT_LINK;
    EXPECT_EQ(S_OK, target->Drop(&data, 0, point, &effect));
    target->Release();

    ASSERT_EQ(2, RowCount(MainListControl()));
    DownloadItem* typed = FirstListItem();
    DownloadItem* dropped = LastListItem();
    ASSERT_TRUE(RunLoopUntil(
        host_, [&] { return typed->state == ItemState::Completed && dropped->state == ItemState::Completed; }, 30000))
        << int(typed->state) << " " << int(dropped->state);
    std::string expected(123457, '\0');
    for (size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<char>(i % 251);
    EXPECT_TRUE(expected.substr(0, 70000) == ReadWholeFile(host_.folder + "typed.bin"));
    EXPECT_TRUE(expected == ReadWholeFile(host_.folder + "dropped.bin"));
}

// A completed download edited in its sheet is queued afresh and fetched
// again from byte 0 into the same file.
TEST_F(CommandTest, PropertiesOfACompletedDownloadStartItAgainFromTheStart)
{
    std::string first = ServerUrl("props1/same.bin?size=3000");
    if (first.empty()) GTEST_SKIP() << "needs the scripted server";
    Start(false, {{first, 0, 0, ""}});
    HWND list = MainListControl();
    DownloadItem* item = FirstListItem();
    SelectRows({0});
    SendCommand(host_, IDM_DOWNLOAD_START);
    ASSERT_TRUE(RunLoopUntil(
        host_, [item] { return item->state == ItemState::Completed; }, 20000));
    EXPECT_EQ(3000, item->downloaded);

    SendCommand(host_, IDM_DOWNLOAD_PROPERTIES);
    HWND sheet = DownloadPropertiesSheet();
    ASSERT_NE(nullptr, sheet);
    EXPECT_EQ(item, DownloadPropertiesItem());
    HWND page = CurrentPage(sheet);
    EXPECT_EQ(first, FieldText(page, IDC_URL));
    EXPECT_EQ(host_.folder, FieldText(page, IDC_FOLDER));
    std::string second = ServerUrl("props2/same.bin?size=5000");
    SetField(page, IDC_URL, second);
    SetField(page, IDC_USER, "nu");
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    EXPECT_EQ(ItemState::Waiting, item->state);
    EXPECT_EQ(0, item->downloaded);
    EXPECT_EQ(0, item->size);
    EXPECT_EQ(0, item->tries);
    EXPECT_STREQ("", item->fileName);
    EXPECT_STREQ("nu", item->user);
    EXPECT_EQ(kIconWaiting, RowImage(list, 0));
    EXPECT_EQ(second, CellText(list, 0, kColumnAddress));

    SendCommand(host_, IDM_DOWNLOAD_START);
    ASSERT_TRUE(RunLoopUntil(
        host_, [item] { return item->state == ItemState::Completed; }, 20000));
    // The file of the first run is no longer the download's: it stays, and
    // the new one goes beside it.
    EXPECT_EQ(3000u, ReadWholeFile(host_.folder + "same.bin").size());
    EXPECT_EQ(5000u, ReadWholeFile(host_.folder + "same (2).bin").size());
    EXPECT_STREQ("same (2).bin", item->fileName);
    std::string request = RecordedRequest("props2.1");
    EXPECT_NE(std::string::npos, request.find("GET /props2/same.bin")) << request;
    EXPECT_EQ(std::string::npos, request.find("Range:")) << request;
}

// A running download given another address starts again with it (its first
// transfer ends); a refused URL changes nothing. The sheet is opened by a
// double-click on the row and by Alt+Enter.
TEST_F(CommandTest, PropertiesOfARunningDownloadKeepItRunning)
{
    SilentServer server;
    Start(false, {{server.url, 0, 0, ""}});
    HWND list = MainListControl();
    DownloadItem* item = FirstListItem();
    SelectRows({0});
    SendCommand(host_, IDM_DOWNLOAD_START);
    ASSERT_EQ(ItemState::Running, item->state);
    DownloadJob* job = item->job;

    // Double-click on empty space opens nothing; on the row its sheet.
    RECT row;
    ListView_GetItemRect(list, 0, &row, LVIR_BOUNDS);
    for (int y : {row.bottom + 60, (row.top + row.bottom) / 2}) {
        LPARAM at = MAKELPARAM(40, y);
        for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
            SendMessageA(list, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
        RunLoopFor(host_, 100);
        EXPECT_EQ(y == row.bottom + 60, DownloadPropertiesSheet() == nullptr) << y;
    }
    HWND sheet = DownloadPropertiesSheet();
    ASSERT_NE(nullptr, sheet);
    const uint32_t firstRun = item->runTicket;
    SetField(CurrentPage(sheet), IDC_URL, server.url + "?edited");
    SetField(CurrentPage(sheet), IDC_REFERRER, "http://ref/");
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    EXPECT_EQ(ItemState::Running, item->state);
    EXPECT_EQ(job, item->job);
    EXPECT_EQ(1, item->tries);
    EXPECT_NE(firstRun, item->runTicket);  // a new run with the new address
    EXPECT_EQ(server.url + "?edited", item->url);
    EXPECT_EQ(server.url + "?edited", CellText(list, 0, kColumnAddress));
    EXPECT_STREQ("http://ref/", item->referrer);

    DownloadItem before;
    memcpy(&before, item, sizeof(before));
    SelectRows({0});
    PressKey(host_, list, VK_RETURN, VK_MENU);
    sheet = DownloadPropertiesSheet();
    ASSERT_NE(nullptr, sheet);
    SetField(CurrentPage(sheet), IDC_URL, "ftp://h/x");
    SetField(CurrentPage(sheet), IDC_REFERRER, "changed");
    ModalDriver driver({ModalAnswer(ModalKind::MessageBox)});
    EXPECT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    EXPECT_EQ(kInvalidUrlText, MessageText(driver.Finish(), 0));
    // The running job's ticks move the elapsed time meanwhile; nothing else
    // of the record may change.
    before.elapsedMs = item->elapsedMs;
    EXPECT_EQ(0, memcmp(&before, item, sizeof(before)));
    EXPECT_EQ(server.url + "?edited", CellText(list, 0, kColumnAddress));
}

// The default sheet: its first page edits the default folder and login, the
// proxy page the proxy; a page never shown changes nothing.
TEST_F(CommandTest, DefaultPropertiesSheetChangesOnlyThePagesShown)
{
    Start(false);
    g_settings.useProxy = 1;
    strcpy(g_settings.proxyAddress, "proxy:3128");
    SendCommand(host_, IDM_OPTIONS_DEFAULT_PROPERTIES);
    HWND sheet = DefaultPropertiesSheet();
    ASSERT_NE(nullptr, sheet);
    // Asked again while it lies behind the main window (a click on the list
    // puts it there under Wine), the open sheet comes to the front.
    SetForegroundWindow(host_.window);
    EXPECT_EQ(1, ShowDefaultPropertiesSheet());
    EXPECT_EQ(sheet, GetForegroundWindow());
    EXPECT_EQ(StringText(IDS_DEFAULT_PROPERTIES), WindowText(sheet));
    HWND page = CurrentPage(sheet);
    for (int id : {IDC_URL, IDC_URL_LABEL, IDC_REFERRER, IDC_REFERRER_LABEL})
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, id))) << id;
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(page, IDC_FOLDER)));

    // The "..." button: a folder chosen in the browser, then a cancelled one.
    std::string folder = host_.folder.substr(0, host_.folder.size() - 1);
    {
        ModalDriver driver({{ModalKind::FolderBrowser, folder}, {ModalKind::FolderBrowser, "", true}});
        SendDlgItemMessageA(page, IDC_BROWSE_FOLDER, BM_CLICK, 0, 0);
        EXPECT_EQ(folder, FieldText(page, IDC_FOLDER));
        SetField(page, IDC_FOLDER, "D:\\defaults");
        SendDlgItemMessageA(page, IDC_BROWSE_FOLDER, BM_CLICK, 0, 0);
        EXPECT_EQ(2u, driver.Finish().size());
        EXPECT_EQ("D:\\defaults", FieldText(page, IDC_FOLDER));
    }
    SetField(page, IDC_USER, "du");
    SetField(page, IDC_PASSWORD, "dp");
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    EXPECT_STREQ("D:\\defaults", g_settings.defaultFolder);
    EXPECT_STREQ("du", g_settings.defaultUser);
    EXPECT_STREQ("dp", g_settings.defaultPassword);
    EXPECT_EQ(1, g_settings.useProxy);
    EXPECT_STREQ("proxy:3128", g_settings.proxyAddress);
    EXPECT_EQ(nullptr, ProgramSheets()->first);

    SendCommand(host_, IDM_OPTIONS_DEFAULT_PROPERTIES);
    sheet = DefaultPropertiesSheet();
    PropSheet_SetCurSel(sheet, nullptr, 1);
    page = CurrentPage(sheet);
    ExpectTemplate(page, 0, 0);
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_USE_PROXY));
    EXPECT_EQ("proxy:3128", FieldText(page, IDC_PROXY_ADDRESS));
    EXPECT_EQ(1152, FieldLimit(page, IDC_PROXY_ADDRESS));
    SetField(page, IDC_PROXY_ADDRESS, std::string(300, 'p'));
    CheckDlgButton(page, IDC_USE_PROXY, BST_UNCHECKED);
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    EXPECT_EQ(0, g_settings.useProxy);
    EXPECT_EQ(std::string(259, 'p'), g_settings.proxyAddress);
    EXPECT_STREQ("du", g_settings.defaultUser);
    ASSERT_EQ(4u, host_.notices.size());  // each sheet reported closed once
    EXPECT_EQ(kNoticeSheetClosed, host_.notices[3].kind);
}

struct OptionsCase {
    const char* seconds;
    const char* limit;
    uint32_t idleTimeoutMs;
    int32_t maxSimultaneous;
};

// The options sheet: what it shows, how it reads and bounds the numbers,
// and the hidden box that keeps the removal setting.
TEST_F(CommandTest, OptionsSheetReadsAndBoundsItsNumbers)
{
    Start(false);
    g_settings.removeOnSuccess = 1;
    g_settings.idleTimeoutMs = 61500;  // not whole seconds
    SendCommand(host_, IDM_OPTIONS_PROGRAM);
    HWND sheet = ProgramOptionsSheet();
    ASSERT_NE(nullptr, sheet);
    // Asked again while it lies behind the main window (a click on the list
    // puts it there under Wine), the open sheet comes to the front.
    SetForegroundWindow(host_.window);
    EXPECT_EQ(1, ShowProgramOptionsSheet());
    EXPECT_EQ(sheet, GetForegroundWindow());
    EXPECT_EQ(StringText(IDS_PROGRAM_OPTIONS), WindowText(sheet));
    HWND page = CurrentPage(sheet);
    ExpectTemplate(page, 223, 172);
    EXPECT_EQ("61", FieldText(page, IDC_IDLE_TIMEOUT));
    EXPECT_EQ("2", FieldText(page, IDC_MAX_SIMULTANEOUS));
    EXPECT_EQ(10, FieldLimit(page, IDC_IDLE_TIMEOUT));
    EXPECT_EQ(10, FieldLimit(page, IDC_MAX_SIMULTANEOUS));
    HWND hidden = GetDlgItem(page, IDC_REMOVE_ON_SUCCESS);
    EXPECT_FALSE(GetWindowLongA(hidden, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_REMOVE_ON_SUCCESS));
    for (int id : {IDC_IDLE_TIMEOUT, IDC_MAX_SIMULTANEOUS})
        EXPECT_TRUE(GetWindowLongA(GetDlgItem(page, id), GWL_STYLE) & ES_NUMBER) << id;
    CheckDlgButton(page, IDC_AUTO_START, BST_CHECKED);
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    EXPECT_EQ(61000u, g_settings.idleTimeoutMs);
    EXPECT_EQ(1, g_settings.autoStart);
    EXPECT_EQ(1, g_settings.removeOnSuccess);

    const OptionsCase cases[] = {
        {"9000", "250", 7200000, 100}, {"-5", "-3", 60000, 1},           {"", "", 0, 0},
        {" 12abc", "+7", 12000, 7},    {"99999999999", "0", 7200000, 0},
    };
    for (const OptionsCase& c : cases) {
        SendCommand(host_, IDM_OPTIONS_PROGRAM);
        page = CurrentPage(ProgramOptionsSheet());
        SetField(page, IDC_IDLE_TIMEOUT, c.seconds);
        SetField(page, IDC_MAX_SIMULTANEOUS, c.limit);
        ASSERT_TRUE(CloseSheetWith(host_, ProgramOptionsSheet(), IDOK));
        EXPECT_EQ(c.idleTimeoutMs, g_settings.idleTimeoutMs) << c.seconds;
        EXPECT_EQ(c.maxSimultaneous, g_settings.maxSimultaneous) << c.limit;
    }
    SendCommand(host_, IDM_OPTIONS_PROGRAM);
    page = CurrentPage(ProgramOptionsSheet());
    EXPECT_EQ("7200", FieldText(page, IDC_IDLE_TIMEOUT));
    SetField(page, IDC_IDLE_TIMEOUT, "5");
    CheckDlgButton(page, IDC_AUTO_START, BST_UNCHECKED);
    ASSERT_TRUE(CloseSheetWith(host_, ProgramOptionsSheet(), IDCANCEL));
    EXPECT_EQ(7200000u, g_settings.idleTimeoutMs);
    EXPECT_EQ(1, g_settings.autoStart);
    EXPECT_EQ(1, g_settings.removeOnSuccess);
}

// The transfer options on the general page: shown, bounded, and the speed
// limit handed to the engine at once; a running download's own limit from
// its properties' speed page, without stopping it.
TEST_F(CommandTest, TransferOptionsAndADownloadsOwnSpeedLimit)
{
    SilentServer server;
    Start(false, {{server.url, 0, 0, ""}});
    SendCommand(host_, IDM_OPTIONS_PROGRAM);
    HWND page = CurrentPage(ProgramOptionsSheet());
    EXPECT_EQ("4", FieldText(page, IDC_SEGMENTS_PER_ITEM));
    EXPECT_EQ("16", FieldText(page, IDC_CONNECTIONS_AT_MOST));
    EXPECT_EQ("0", FieldText(page, IDC_SPEED_LIMIT));
    for (int id : {IDC_SEGMENTS_PER_ITEM, IDC_CONNECTIONS_AT_MOST, IDC_SPEED_LIMIT})
        EXPECT_TRUE(GetWindowLongA(GetDlgItem(page, id), GWL_STYLE) & ES_NUMBER) << id;
    SetField(page, IDC_SEGMENTS_PER_ITEM, "40");
    SetField(page, IDC_CONNECTIONS_AT_MOST, "0");
    SetField(page, IDC_SPEED_LIMIT, "2500");
    ASSERT_TRUE(CloseSheetWith(host_, ProgramOptionsSheet(), IDOK));
    EXPECT_EQ(16, g_extraSettings.segmentsPerItem);
    EXPECT_EQ(1, g_extraSettings.connectionsAtMost);
    EXPECT_EQ(2500, g_extraSettings.speedLimitKBps);
    EXPECT_EQ(2500000, GlobalRateLimit().Rate());

    SendCommand(host_, IDM_OPTIONS_PROGRAM);
    page = CurrentPage(ProgramOptionsSheet());
    SetField(page, IDC_SEGMENTS_PER_ITEM, "1");
    SetField(page, IDC_CONNECTIONS_AT_MOST, "999");
    SetField(page, IDC_SPEED_LIMIT, "");
    ASSERT_TRUE(CloseSheetWith(host_, ProgramOptionsSheet(), IDOK));
    EXPECT_EQ(1, g_extraSettings.segmentsPerItem);
    EXPECT_EQ(256, g_extraSettings.connectionsAtMost);
    EXPECT_EQ(0, g_extraSettings.speedLimitKBps);
    EXPECT_EQ(0, GlobalRateLimit().Rate());

    DownloadItem* item = FirstListItem();
    SelectRows({0});
    SendCommand(host_, IDM_DOWNLOAD_START);
    ASSERT_EQ(ItemState::Running, item->state);
    const uint32_t run = item->runTicket;
    SendCommand(host_, IDM_DOWNLOAD_PROPERTIES);
    HWND sheet = DownloadPropertiesSheet();
    ASSERT_NE(nullptr, sheet);
    PropSheet_SetCurSel(sheet, nullptr, 1);
    page = CurrentPage(sheet);
    ExpectTemplate(page, 263, 150);  // as large as the URL page
    EXPECT_EQ("0", FieldText(page, IDC_ITEM_SPEED_LIMIT));
    SetField(page, IDC_ITEM_SPEED_LIMIT, "300");
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    EXPECT_EQ(300, item->speedLimit);
    EXPECT_EQ(ItemState::Running, item->state);
    EXPECT_EQ(run, item->runTicket);

    SendCommand(host_, IDM_DOWNLOAD_PROPERTIES);
    sheet = DownloadPropertiesSheet();
    PropSheet_SetCurSel(sheet, nullptr, 1);
    EXPECT_EQ("300", FieldText(CurrentPage(sheet), IDC_ITEM_SPEED_LIMIT));
    SetField(CurrentPage(sheet), IDC_ITEM_SPEED_LIMIT, "7");
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDCANCEL));
    EXPECT_EQ(300, item->speedLimit);
}

}  // namespace
