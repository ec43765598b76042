// The new-download sheet: one "URL" page; OK appends a download. A checksum
// the page cannot read keeps the sheet open for correcting.
#include "marrowby/dialogs/download_sheets.h"

#include "marrowby/app/checksum_text.h"
#include "marrowby/app/download_list.h"
#include "marrowby/app/settings.h"
#include "marrowby/dialogs/sheet_support.h"
#include "marrowby/dialogs/url_page.h"
#include "common/bounded_text.h"
#include "marrowby/resources/resource.h"

namespace {

HWND g_sheet;

// Fills the item from the page and appends it. Returns false (the item
// freed, the message shown) when the URL is refused or memory is exhausted.
bool AppendFromPage(HWND page, DownloadItem* item)
{
    UrlPageFields fields;
    ReadUrlPageFields(page, &fields);
    UrlParts parts;
    if (!IsAcceptedDownloadUrl(fields.url, &parts) || SetItemUrl(item, fields.url) != 0) {
        FreeItem(item);
        ShowPageMessage(page, RefusedUrlMessage(fields.url));
        return false;
    }
    char checksum[kChecksumTextSize];
    StoreChecksumText(fields.checksum, checksum, sizeof(checksum));
    int stored = SetItemReferrer(item, fields.referrer) | SetItemUser(item, fields.user) |
                 SetItemPassword(item, fields.password) | SetItemFolder(item, fields.folder) |
                 SetItemChecksum(item, checksum);
    // Empty login fields take the login written into the URL; whatever stays
    // empty falls back to the default login when the download starts.
    char login[kLoginFieldChars];
    mw_text::Copy(login, parts.user);
    if (item->user[0] == '\0') stored |= SetItemUser(item, login);
    mw_text::Copy(login, parts.password);
    if (item->password[0] == '\0') stored |= SetItemPassword(item, login);
    if (stored != 0) {
        FreeItem(item);
        ShowPageMessage(page, IDS_NO_MEMORY);
        return false;
    }
    AppendItem(item);
    return true;
}

// A refused URL ends the sheet like any OK, without a download and without
// the scheduling pass.
void ApplyNewDownload(HWND page)
{
    DownloadItem* item = NewItem();
    if (!item)
        ShowPageMessage(page, IDS_NO_MEMORY);
    else if (!AppendFromPage(page, item))
        return;
    if (g_settings.autoStart != 0) RunScheduler();
    PressSheetButton(page, PSBTN_OK);
}

INT_PTR CALLBACK NewDownloadPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        LimitUrlPageFields(page);
        FillUrlPageFields(page, "http://", nullptr, g_settings.defaultFolder, nullptr, nullptr);
        return TRUE;
    case WM_DESTROY: ReportSheetClosedOnce(&g_sheet); return FALSE;
    default: break;
    }
    if (IsBrowseCommand(message, wParam)) {
        BrowseForSaveFolder(page);
        return TRUE;
    }
    if (IsSheetApply(message, lParam)) {
        int refusal = RefusedChecksumMessage(page);
        if (refusal != 0) {
            ShowPageMessage(page, refusal);
            return KeepSheetAtChecksum(page);
        }
    }
    return AnswerSheetButtons(page, message, lParam, ApplyNewDownload);
}

}  // namespace

int ShowNewDownloadSheet()
{
    if (g_sheet) return BringOpenSheetForward(g_sheet);
    PROPSHEETPAGEA page = MakeSheetPage(IDD_URL_PAGE, NewDownloadPageProc, 0);
    g_sheet = OpenModelessSheet(IDS_DOWNLOAD_PROPERTIES, &page, 1);
    return g_sheet ? 0 : 1;
}

HWND NewDownloadSheet()
{
    return g_sheet;
}
