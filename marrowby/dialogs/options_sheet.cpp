// The options sheet's one page, the general page (template 121).
#include "marrowby/dialogs/options_sheet.h"

#include <stdint.h>
#include <stdio.h>

#include "marrowby/app/download_list.h"
#include "marrowby/app/settings.h"
#include "marrowby/dialogs/sheet_support.h"
#include "marrowby/engine/decimal.h"
#include "marrowby/resources/resource.h"

namespace {

constexpr int kNumberFieldChars = 10;
constexpr size_t kNumberReadSize = 32;  // 31 characters are read

HWND g_sheet;

void SetNumberField(HWND page, int id, int value)
{
    char text[16];
    snprintf(text, sizeof(text), "%d", value);
    SetDlgItemTextA(page, id, text);
}

int32_t ReadNumberField(HWND page, int id)
{
    char text[kNumberReadSize];
    ReadPageField(page, id, text, sizeof(text));
    return ParseDecimal(text);  // no digits read as 0
}

void SetCheck(HWND page, int id, int32_t on)
{
    CheckDlgButton(page, id, on != 0 ? BST_CHECKED : BST_UNCHECKED);
}

int32_t IsChecked(HWND page, int id)
{
    return IsDlgButtonChecked(page, id) == BST_CHECKED ? 1 : 0;
}

// The hidden box 1012 is loaded and stored like the visible ones, so the
// removal setting keeps its value through the sheet.
void FillOptions(HWND page)
{
    LimitPageField(page, IDC_IDLE_TIMEOUT, kNumberFieldChars);
    LimitPageField(page, IDC_MAX_SIMULTANEOUS, kNumberFieldChars);
    SetNumberField(page, IDC_IDLE_TIMEOUT, static_cast<int>(g_settings.idleTimeoutMs / 1000));
    SetNumberField(page, IDC_MAX_SIMULTANEOUS, g_settings.maxSimultaneous);
    SetCheck(page, IDC_AUTO_START, g_settings.autoStart);
    SetCheck(page, IDC_REMOVE_ON_SUCCESS, g_settings.removeOnSuccess);
    SetCheck(page, IDC_BALLOON_NOTICES, g_extraSettings.balloonNotices);
    LimitPageField(page, IDC_SEGMENTS_PER_ITEM, kNumberFieldChars);
    LimitPageField(page, IDC_CONNECTIONS_AT_MOST, kNumberFieldChars);
    LimitPageField(page, IDC_SPEED_LIMIT, kNumberFieldChars);
    SetNumberField(page, IDC_SEGMENTS_PER_ITEM, g_extraSettings.segmentsPerItem);
    SetNumberField(page, IDC_CONNECTIONS_AT_MOST, g_extraSettings.connectionsAtMost);
    SetNumberField(page, IDC_SPEED_LIMIT, g_extraSettings.speedLimitKBps);
}

int32_t Bounded(int32_t entered, int32_t lowest, int32_t highest)
{
    if (entered < lowest) return lowest;
    return entered > highest ? highest : entered;
}

// The transfer options, kept within what the settings block accepts; a
// new speed limit reaches the running downloads at once.
void StoreTransferOptions(HWND page)
{
    g_extraSettings.segmentsPerItem = Bounded(ReadNumberField(page, IDC_SEGMENTS_PER_ITEM), 1, 16);
    g_extraSettings.connectionsAtMost = Bounded(ReadNumberField(page, IDC_CONNECTIONS_AT_MOST), 1, 256);
    g_extraSettings.speedLimitKBps = Bounded(ReadNumberField(page, IDC_SPEED_LIMIT), 0, 10000000);
    ApplyTransferLimits();
}

// A negative time-out means the default 60 s, at most 7,200 s are kept.
int32_t AcceptedIdleTimeoutSeconds(int32_t entered)
{
    constexpr int32_t kDefaultSeconds = 60;
    constexpr int32_t kMostSeconds = 7200;
    if (entered < 0) return kDefaultSeconds;
    return entered > kMostSeconds ? kMostSeconds : entered;
}

// A negative limit means one download at a time, at most 100 are kept.
int32_t AcceptedMaxSimultaneous(int32_t entered)
{
    constexpr int32_t kMost = 100;
    if (entered < 0) return 1;
    return entered > kMost ? kMost : entered;
}

void StoreOptions(HWND page)
{
    int32_t seconds = AcceptedIdleTimeoutSeconds(ReadNumberField(page, IDC_IDLE_TIMEOUT));
    g_settings.idleTimeoutMs = static_cast<uint32_t>(seconds) * 1000u;
    g_settings.maxSimultaneous = AcceptedMaxSimultaneous(ReadNumberField(page, IDC_MAX_SIMULTANEOUS));
    g_settings.autoStart = IsChecked(page, IDC_AUTO_START);
    g_settings.removeOnSuccess = IsChecked(page, IDC_REMOVE_ON_SUCCESS);
    g_extraSettings.balloonNotices = IsChecked(page, IDC_BALLOON_NOTICES);
    StoreTransferOptions(page);
    PressSheetButton(page, PSBTN_OK);
}

INT_PTR CALLBACK OptionsPageProc(HWND page, UINT message, WPARAM /*wParam*/, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: FillOptions(page); return TRUE;
    case WM_DESTROY: ReportSheetClosedOnce(&g_sheet); return FALSE;
    default: break;
    }
    return AnswerSheetButtons(page, message, lParam, StoreOptions);
}

}  // namespace

int ShowProgramOptionsSheet()
{
    if (g_sheet) return BringOpenSheetForward(g_sheet);
    PROPSHEETPAGEA page = MakeSheetPage(IDD_OPTIONS_PAGE, OptionsPageProc, 0);
    g_sheet = OpenModelessSheet(IDS_PROGRAM_OPTIONS, &page, 1);
    return g_sheet ? 0 : 1;
}

HWND ProgramOptionsSheet()
{
    return g_sheet;
}
