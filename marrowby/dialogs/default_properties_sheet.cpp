// The default download properties sheet: the "URL" page without URL,
// referrer and checksum edits the default folder and login, the proxy page
// the proxy.
// Each page stores only its own fields, so a page never shown changes nothing.
#include "marrowby/dialogs/download_sheets.h"

#include "marrowby/app/settings.h"
#include "marrowby/dialogs/sheet_support.h"
#include "marrowby/dialogs/url_page.h"
#include "common/bounded_text.h"
#include "marrowby/resources/resource.h"

namespace {

constexpr int kProxyFieldChars = 1152;
constexpr size_t kProxyStoredSize = 260;  // 259 characters are kept

HWND g_sheet;

void HideControls(HWND page, const int* ids, int count)
{
    for (int i = 0; i < count; ++i) ShowWindow(GetDlgItem(page, ids[i]), SW_HIDE);
}

void StoreDefaults(HWND page)
{
    UrlPageFields fields;
    ReadUrlPageFields(page, &fields);
    mw_text::Copy(g_settings.defaultFolder, fields.folder);
    mw_text::Copy(g_settings.defaultUser, fields.user);
    mw_text::Copy(g_settings.defaultPassword, fields.password);
    PressSheetButton(page, PSBTN_OK);
}

void StoreProxy(HWND page)
{
    g_settings.useProxy = IsDlgButtonChecked(page, IDC_USE_PROXY) == BST_CHECKED ? 1 : 0;
    char address[kProxyStoredSize];
    ReadPageField(page, IDC_PROXY_ADDRESS, address, sizeof(address));
    mw_text::Copy(g_settings.proxyAddress, address);
    PressSheetButton(page, PSBTN_OK);
}

INT_PTR CALLBACK DefaultsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    static const int kUrlControls[] = {
        IDC_URL,      IDC_URL_LABEL,      IDC_REFERRER, IDC_REFERRER_LABEL, IDC_CHECKSUM_LABEL,
        IDC_CHECKSUM, IDC_CHECKSUM_RESULT};
    switch (message) {
    case WM_INITDIALOG:
        HideControls(page, kUrlControls, static_cast<int>(sizeof(kUrlControls) / sizeof(kUrlControls[0])));
        LimitUrlPageFields(page);
        FillUrlPageFields(page, nullptr, nullptr, g_settings.defaultFolder, g_settings.defaultUser,
                          g_settings.defaultPassword);
        return TRUE;
    case WM_DESTROY: ReportSheetClosedOnce(&g_sheet); return FALSE;
    case WM_NOTIFY: return AnswerSheetButtons(page, message, lParam, StoreDefaults);
    default: break;
    }
    if (IsBrowseCommand(message, wParam)) {
        BrowseForSaveFolder(page);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK ProxyPageProc(HWND page, UINT message, WPARAM /*wParam*/, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        LimitPageField(page, IDC_PROXY_ADDRESS, kProxyFieldChars);
        SetDlgItemTextA(page, IDC_PROXY_ADDRESS, g_settings.proxyAddress);
        CheckDlgButton(page, IDC_USE_PROXY, g_settings.useProxy != 0 ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    case WM_DESTROY: ReportSheetClosedOnce(&g_sheet); return FALSE;
    case WM_NOTIFY: return AnswerSheetButtons(page, message, lParam, StoreProxy);
    default: return FALSE;
    }
}

}  // namespace

int ShowDefaultPropertiesSheet()
{
    if (g_sheet) return BringOpenSheetForward(g_sheet);
    PROPSHEETPAGEA pages[2] = {
        MakeSheetPage(IDD_URL_PAGE, DefaultsPageProc, 0),
        MakeSheetPage(IDD_PROXY_PAGE, ProxyPageProc, 0),
    };
    g_sheet = OpenModelessSheet(IDS_DEFAULT_PROPERTIES, pages, 2);
    return g_sheet ? 0 : 1;
}

HWND DefaultPropertiesSheet()
{
    return g_sheet;
}
