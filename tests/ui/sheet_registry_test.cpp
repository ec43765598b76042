// The registry of open modeless sheets and the message filter that gives them
// their keyboard interface and destroys finished ones.
#include <gtest/gtest.h>

#include <vector>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "marrowby/dialogs/sheet_registry.h"
#include "tests/ui/ui_support.h"
#include "tests/ui/ui_test_resources.h"

namespace {

HWND FakeWindow(int n)
{
    return reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1000 + n * 16));
}

std::vector<HWND> Registered(const SheetRegistry& registry)
{
    std::vector<HWND> windows;
    for (const SheetEntry* entry = registry.first; entry; entry = entry->next) windows.push_back(entry->window);
    return windows;
}

TEST(SheetRegistry, KeepsRegistrationOrderThroughRemovals)
{
    SheetRegistry registry;
    InitSheetRegistry(&registry);
    for (int i = 1; i <= 4; ++i) ASSERT_EQ(0, RegisterSheet(&registry, FakeWindow(i)));
    EXPECT_EQ(kSheetPoolSize - 4, registry.freeCount);

    EXPECT_EQ(0, UnregisterSheet(&registry, FakeWindow(2)));  // middle
    EXPECT_EQ((std::vector<HWND>{FakeWindow(1), FakeWindow(3), FakeWindow(4)}), Registered(registry));
    EXPECT_EQ(0, UnregisterSheet(&registry, FakeWindow(4)));  // last: the tail moves back
    EXPECT_EQ(0, RegisterSheet(&registry, FakeWindow(5)));
    EXPECT_EQ((std::vector<HWND>{FakeWindow(1), FakeWindow(3), FakeWindow(5)}), Registered(registry));
    EXPECT_EQ(0, UnregisterSheet(&registry, FakeWindow(1)));  // first
    EXPECT_EQ((std::vector<HWND>{FakeWindow(3), FakeWindow(5)}), Registered(registry));
    EXPECT_EQ(FakeWindow(5), registry.last->window);
    EXPECT_EQ(kSheetPoolSize - 2, registry.freeCount);

    EXPECT_EQ(0, UnregisterSheet(&registry, FakeWindow(3)));
    EXPECT_EQ(0, UnregisterSheet(&registry, FakeWindow(5)));
    EXPECT_EQ(nullptr, registry.first);
    EXPECT_EQ(nullptr, registry.last);
    EXPECT_EQ(kSheetPoolSize, registry.freeCount);
    // The emptied list takes new entries again from the start.
    EXPECT_EQ(0, RegisterSheet(&registry, FakeWindow(6)));
    EXPECT_EQ(std::vector<HWND>{FakeWindow(6)}, Registered(registry));
}

TEST(SheetRegistry, RemovesOnlyTheFirstOfTwoEqualEntries)
{
    SheetRegistry registry;
    InitSheetRegistry(&registry);
    RegisterSheet(&registry, FakeWindow(1));
    RegisterSheet(&registry, FakeWindow(2));
    RegisterSheet(&registry, FakeWindow(1));
    EXPECT_EQ(0, UnregisterSheet(&registry, FakeWindow(1)));
    EXPECT_EQ((std::vector<HWND>{FakeWindow(2), FakeWindow(1)}), Registered(registry));
}

TEST(SheetRegistry, FullPoolRefusesTheThirtyThirdWindow)
{
    SheetRegistry registry;
    InitSheetRegistry(&registry);
    for (int i = 0; i < kSheetPoolSize; ++i) ASSERT_EQ(0, RegisterSheet(&registry, FakeWindow(i)));
    EXPECT_EQ(0, registry.freeCount);
    EXPECT_EQ(1, RegisterSheet(&registry, FakeWindow(99)));
    EXPECT_EQ(2, UnregisterSheet(&registry, FakeWindow(99)));
    EXPECT_EQ(static_cast<size_t>(kSheetPoolSize), Registered(registry).size());

    // A freed entry is reused.
    EXPECT_EQ(0, UnregisterSheet(&registry, FakeWindow(7)));
    EXPECT_EQ(0, RegisterSheet(&registry, FakeWindow(99)));
    EXPECT_EQ(FakeWindow(99), registry.last->window);
    EXPECT_EQ(1, RegisterSheet(&registry, FakeWindow(100)));
}

TEST(SheetRegistry, EmptyRegistryAndUnknownWindows)
{
    SheetRegistry registry;
    InitSheetRegistry(&registry);
    EXPECT_EQ(1, UnregisterSheet(&registry, FakeWindow(1)));
    RegisterSheet(&registry, FakeWindow(1));
    EXPECT_EQ(2, UnregisterSheet(&registry, FakeWindow(2)));
    EXPECT_EQ(std::vector<HWND>{FakeWindow(1)}, Registered(registry));
    EXPECT_EQ(kSheetPoolSize - 1, registry.freeCount);

    MSG msg = {};
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_TAB;
    SheetRegistry none;
    InitSheetRegistry(&none);
    EXPECT_EQ(0, FilterSheetMessage(&none, &msg));
}

TEST(SheetRegistry, HostNoticesRegisterAndUnregister)
{
    HostNotice opened = {kNoticeSheetOpened, FakeWindow(1), nullptr};
    HostNotice closed = {kNoticeSheetClosed, FakeWindow(1), nullptr};
    HostNotice completed = {kNoticeDownloadCompleted, FakeWindow(2), "C:\\x.bin"};
    HostNotice destroyed = {kNoticeMainWindowDestroyed, FakeWindow(3), nullptr};
    EXPECT_EQ(0, OnHostNotice(&opened, nullptr));
    EXPECT_EQ(0, OnHostNotice(&completed, nullptr));
    EXPECT_EQ(0, OnHostNotice(&destroyed, nullptr));
    EXPECT_EQ(std::vector<HWND>{FakeWindow(1)}, Registered(*ProgramSheets()));
    EXPECT_EQ(0, OnHostNotice(&closed, nullptr));
    EXPECT_EQ(nullptr, ProgramSheets()->first);
    EXPECT_EQ(kSheetPoolSize, ProgramSheets()->freeCount);
}

// A modeless dialog that behaves towards the filter as a property sheet
// does: it reports itself opened and closed to the host, has a current page
// until OK is pressed, and answers PSM_ISDIALOGMESSAGE.
struct StandInSheet {
    HWND window = nullptr;
    bool finished = false;
};

INT_PTR CALLBACK StandInProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* sheet = reinterpret_cast<StandInSheet*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
        HostNotice notice = {kNoticeSheetOpened, dialog, nullptr};
        OnHostNotice(&notice, nullptr);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) sheet->finished = true;  // like a sheet: OK ends it, nothing destroys it
        return TRUE;
    case PSM_GETCURRENTPAGEHWND:
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT,
                          sheet->finished ? 0 : reinterpret_cast<LONG_PTR>(GetDlgItem(dialog, IDC_TEST_FIRST)));
        return TRUE;
    case PSM_ISDIALOGMESSAGE:
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, IsDialogMessageA(dialog, reinterpret_cast<MSG*>(lParam)));
        return TRUE;
    case WM_DESTROY: {
        HostNotice notice = {kNoticeSheetClosed, dialog, nullptr};
        OnHostNotice(&notice, nullptr);
        sheet->window = nullptr;
        return FALSE;
    }
    default: return FALSE;
    }
}

bool OpenStandIn(StandInSheet* sheet, int x)
{
    sheet->window = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TEST_SHEET), nullptr,
                                       StandInProc, reinterpret_cast<LPARAM>(sheet));
    if (!sheet->window) return false;
    SetWindowPos(sheet->window, nullptr, x, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(sheet->window, SW_SHOW);
    return true;
}

class SheetFilter : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(nullptr, ProgramSheets()->first) << "a previous test left sheets registered";
        ASSERT_TRUE(OpenStandIn(&first_, 20));
        ASSERT_TRUE(OpenStandIn(&second_, 400));
        PumpPending();
    }
    void TearDown() override
    {
        for (StandInSheet* sheet : {&first_, &second_})
            if (sheet->window) DestroyWindow(sheet->window);
        PumpPending();
    }
    StandInSheet first_;
    StandInSheet second_;
};

TEST_F(SheetFilter, OpenSheetsRegisterInOrder)
{
    EXPECT_EQ((std::vector<HWND>{first_.window, second_.window}), Registered(*ProgramSheets()));
    // An ordinary message for some other window passes untouched.
    MSG msg = {};
    msg.hwnd = GetDesktopWindow();
    msg.message = WM_NULL;
    EXPECT_EQ(0, FilterSheetMessage(&msg));
    EXPECT_TRUE(IsWindow(first_.window));
    EXPECT_TRUE(IsWindow(second_.window));
}

TEST_F(SheetFilter, FinishedSheetIsDestroyedAndItsMessageDropped)
{
    HWND finished = second_.window;
    SendMessageA(finished, WM_COMMAND, IDOK, 0);
    // A message for no sheet: an open sheet would claim its own messages.
    MSG msg = {};
    msg.hwnd = GetDesktopWindow();
    msg.message = WM_NULL;
    EXPECT_EQ(1, FilterSheetMessage(&msg));
    EXPECT_FALSE(IsWindow(finished));
    EXPECT_EQ(std::vector<HWND>{first_.window}, Registered(*ProgramSheets()));
    // The next message is examined with the remaining sheet only.
    EXPECT_EQ(0, FilterSheetMessage(&msg));
    EXPECT_TRUE(IsWindow(first_.window));
}

TEST_F(SheetFilter, FinishedSheetsAreDestroyedOneMessageAtATime)
{
    SendMessageA(first_.window, WM_COMMAND, IDOK, 0);
    SendMessageA(second_.window, WM_COMMAND, IDOK, 0);
    MSG msg = {};
    msg.message = WM_NULL;
    EXPECT_EQ(1, FilterSheetMessage(&msg));
    EXPECT_EQ(nullptr, first_.window);
    EXPECT_NE(nullptr, second_.window);
    EXPECT_EQ(1, FilterSheetMessage(&msg));
    EXPECT_EQ(nullptr, second_.window);
    EXPECT_EQ(nullptr, ProgramSheets()->first);
    EXPECT_EQ(0, FilterSheetMessage(&msg));
}

TEST_F(SheetFilter, TabMovesTheFocusInsideTheSecondSheet)
{
    HWND firstEdit = GetDlgItem(first_.window, IDC_TEST_FIRST);
    HWND secondEdit = GetDlgItem(second_.window, IDC_TEST_FIRST);
    HWND secondNext = GetDlgItem(second_.window, IDC_TEST_SECOND);
    SetForegroundWindow(second_.window);
    SetActiveWindow(second_.window);
    SetFocus(secondEdit);
    PumpPending();
    ASSERT_EQ(secondEdit, GetFocus());

    MSG msg = {};
    msg.hwnd = secondEdit;
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_TAB;
    msg.lParam = 0x000F0001;  // repeat 1, scan code of Tab
    EXPECT_EQ(2, FilterSheetMessage(&msg));
    EXPECT_EQ(secondNext, GetFocus());
    EXPECT_NE(firstEdit, GetFocus());

    // The same key for a window outside every sheet is left to the loop.
    RecordingWindow outside;
    ASSERT_TRUE(OpenRecordingWindow(&outside, WM_APP, WM_APP));
    msg.hwnd = outside.window;
    EXPECT_EQ(0, FilterSheetMessage(&msg));
    EXPECT_EQ(secondNext, GetFocus());
    CloseRecordingWindow(&outside);
}

// A real modeless property sheet: after OK it has no current page, so the
// filter destroys it, and its page's destruction unregisters it.
HWND g_realSheet;

INT_PTR CALLBACK RealPageProc(HWND page, UINT message, WPARAM /*wParam*/, LPARAM lParam)
{
    if (message == WM_DESTROY && g_realSheet) {
        HostNotice notice = {kNoticeSheetClosed, g_realSheet, nullptr};
        OnHostNotice(&notice, nullptr);
        g_realSheet = nullptr;
    }
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == PSN_APPLY) {
        SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

TEST(SheetFilterReal, ModelessPropertySheetIsDestroyedAfterOk)
{
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof(page);
    page.hInstance = GetModuleHandleA(nullptr);
    page.pszTemplate = MAKEINTRESOURCEA(IDD_TEST_SHEET);
    page.pfnDlgProc = RealPageProc;
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_MODELESS | PSH_NOAPPLYNOW | PSH_PROPSHEETPAGE;
    header.hInstance = GetModuleHandleA(nullptr);
    header.pszCaption = "real sheet";
    header.nPages = 1;
    header.ppsp = &page;
    HWND sheet = reinterpret_cast<HWND>(PropertySheetA(&header));
    ASSERT_NE(nullptr, sheet);
    g_realSheet = sheet;
    HostNotice opened = {kNoticeSheetOpened, sheet, nullptr};
    OnHostNotice(&opened, nullptr);
    PumpPending();

    MSG msg = {};
    msg.hwnd = GetDesktopWindow();
    msg.message = WM_NULL;
    EXPECT_EQ(0, FilterSheetMessage(&msg));  // open: a page is current
    msg.hwnd = sheet;
    EXPECT_EQ(2, FilterSheetMessage(&msg));  // its own messages go through the sheet
    msg.hwnd = GetDesktopWindow();
    // Run the loop as the program does: the button may act at once or
    // through a posted command, and the sheet goes with a later message.
    PropSheet_PressButton(sheet, PSBTN_OK);
    PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
    int dropped = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        int result = FilterSheetMessage(&msg);
        if (result == 1) ++dropped;
        if (result == 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    EXPECT_EQ(1, dropped);
    EXPECT_FALSE(IsWindow(sheet));
    EXPECT_EQ(nullptr, ProgramSheets()->first);
    if (IsWindow(sheet)) DestroyWindow(sheet);
}

}  // namespace
