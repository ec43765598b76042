// The properties sheet of one download: one "URL" page filled from the item;
// OK stores the fields and, unless the download runs, queues it afresh.
//
// The item must outlive the sheet's use of it. Every way an item leaves the
// list passes the list's removal observer, which closes the sheet first. While
// the page waits in a modal step (a message box inside the sheet's OK
// handling, the folder browser) the sheet cannot be destroyed under the
// common controls' code that called the page; it then only forgets the item
// and closes itself when the step returns.
#include "marrowby/dialogs/download_sheets.h"

#include <string.h>

#include "marrowby/app/download_list.h"
#include "marrowby/app/file_checksum.h"
#include "marrowby/dialogs/sheet_support.h"
#include "marrowby/dialogs/url_page.h"
#include "marrowby/engine/download_job.h"
#include "common/bounded_text.h"
#include "marrowby/engine/decimal.h"
#include "marrowby/engine/file_name_claims.h"
#include "marrowby/resources/resource.h"

namespace {

HWND g_sheet;
DownloadItem* g_item;
int g_modalSteps;  // modal steps of the page under way

void OnItemRemoved(DownloadItem* item)
{
    if (item != g_item) return;
    g_item = nullptr;
    if (g_modalSteps == 0 && g_sheet) DestroyWindow(g_sheet);  // its page reports it closed
}

void ForgetSheet()
{
    g_sheet = nullptr;
    g_item = nullptr;
    SetItemRemovalObserver(nullptr);
}

// The download goes again from the start with what was entered.
void QueueAfresh(DownloadItem* item)
{
    item->state = ItemState::Waiting;
    item->startTick = 0;
    item->downloaded = 0;
    item->size = 0;
    item->tries = 0;
    SetItemFileName(item, nullptr);
    item->checksumResult = kChecksumUnchecked;
    SetItemEntityTag(item, nullptr);
    item->lastModified = 0;
    SetItemSegments(item, nullptr);
    ReleaseFileName(item);  // a name is chosen afresh
    SetRowIcon(item->row, kIconWaiting);
}

// Whether the entered values would send the transfer elsewhere: another
// address, or another folder for its file.
bool MovesTransfer(const DownloadItem* item, const UrlPageFields& fields)
{
    char folder[kItemFolderSize];
    mw_text::Copy(folder, fields.folder);
    return strcmp(item->url, fields.url) != 0 || strcmp(item->folder, folder) != 0;
}

// A running download given another address or folder stops and starts again
// at once with the new values, from the start: the record must never name a
// file that does not hold its data.
void RestartWithNewValues(DownloadItem* item)
{
    item->job->Stop();  // its worker no longer writes the counts reset below
    QueueAfresh(item);
    item->tries = 1;
    StartItem(item->row);  // stops the old transfer first
}

void StoreFields(DownloadItem* item, const UrlPageFields& fields)
{
    SetItemUrl(item, fields.url);
    SetItemReferrer(item, fields.referrer);
    SetItemUser(item, fields.user);
    SetItemPassword(item, fields.password);
    SetItemFolder(item, fields.folder);
    char checksum[kChecksumTextSize];
    StoreChecksumText(fields.checksum, checksum, sizeof(checksum));
    SetItemChecksum(item, checksum);  // a running job may be checking its file
}

// A refused URL leaves every field of the item as it was. A running
// download keeps its transfer unless its address or folder changes; a new
// referrer or login applies from its next start.
void ApplyProperties(HWND page)
{
    UrlPageFields fields;
    ReadUrlPageFields(page, &fields);
    UrlParts parts;
    if (!g_item) {
        // Only while a modal step of this page is under way.
    } else if (!IsAcceptedDownloadUrl(fields.url, &parts)) {
        ++g_modalSteps;
        ShowPageMessage(page, RefusedUrlMessage(fields.url));
        --g_modalSteps;
    } else {
        bool moves = MovesTransfer(g_item, fields);
        StoreFields(g_item, fields);
        if (g_item->state != ItemState::Running) {
            QueueAfresh(g_item);
        } else if (moves) {
            RestartWithNewValues(g_item);
        }
        RedrawRow(g_item->row);
    }
    PressSheetButton(page, PSBTN_OK);
}

void Browse(HWND page)
{
    ++g_modalSteps;
    BrowseForSaveFolder(page);
    --g_modalSteps;
    if (!g_item) PressSheetButton(page, PSBTN_CANCEL);  // the download went meanwhile
}

// The sheet stays open for correcting the checksum, unless the download
// went while the message was shown.
INT_PTR RefuseChecksum(HWND page)
{
    ++g_modalSteps;
    ShowPageMessage(page, RefusedChecksumMessage(page));
    --g_modalSteps;
    if (!g_item) PressSheetButton(page, PSBTN_CANCEL);
    return KeepSheetAtChecksum(page);
}

INT_PTR CALLBACK PropertiesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        auto* item = reinterpret_cast<DownloadItem*>(reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
        g_item = item;
        LimitUrlPageFields(page);
        FillUrlPageFields(page, item->url, item->referrer, item->folder, item->user, item->password);
        FillChecksumField(page, item->checksum, ItemChecksumResult(item));
        return TRUE;
    }
    case WM_DESTROY:
        if (g_sheet) ReportSheetClosed(g_sheet);
        ForgetSheet();
        return FALSE;
    default: break;
    }
    if (IsBrowseCommand(message, wParam)) {
        Browse(page);
        return TRUE;
    }
    if (IsSheetApply(message, lParam) && RefusedChecksumMessage(page) != 0) return RefuseChecksum(page);
    return AnswerSheetButtons(page, message, lParam, ApplyProperties);
}

// The speed page: the download's own limit, which a running download
// follows at once.
void ApplySpeedLimit(HWND page)
{
    char text[16];
    ReadPageField(page, IDC_ITEM_SPEED_LIMIT, text, sizeof(text));
    int32_t limit = ParseDecimal(text);
    if (g_item) SetItemSpeedLimit(g_item, limit < 0 ? 0 : (limit > 10000000 ? 10000000 : limit));
}

INT_PTR CALLBACK SpeedPageProc(HWND page, UINT message, WPARAM /*wParam*/, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* item = reinterpret_cast<DownloadItem*>(reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
        LimitPageField(page, IDC_ITEM_SPEED_LIMIT, 8);
        char text[16];
        SetDlgItemTextA(page, IDC_ITEM_SPEED_LIMIT, FormatDecimal64(item->speedLimit, text, sizeof(text)));
        return TRUE;
    }
    if (message == WM_NOTIFY && lParam != 0 && reinterpret_cast<const NMHDR*>(lParam)->code == PSN_APPLY) {
        ApplySpeedLimit(page);
        SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int ShowDownloadPropertiesSheet()
{
    if (g_sheet) return BringOpenSheetForward(g_sheet);
    int row = static_cast<int>(
        SendMessageA(ListControl(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
    if (row < 0) return 0;
    DownloadItem* item = ItemOfRow(row);
    if (!item) return 2;
    PROPSHEETPAGEA pages[2] = {
        MakeSheetPage(IDD_URL_PAGE, PropertiesPageProc, reinterpret_cast<LPARAM>(item)),
        MakeSheetPage(IDD_ITEM_SPEED_PAGE, SpeedPageProc, reinterpret_cast<LPARAM>(item)),
    };
    SetItemRemovalObserver(OnItemRemoved);
    g_sheet = OpenModelessSheet(IDS_DOWNLOAD_PROPERTIES, pages, 2);
    if (!g_sheet) {
        ForgetSheet();
        return 1;
    }
    return 0;
}

HWND DownloadPropertiesSheet()
{
    return g_sheet;
}

DownloadItem* DownloadPropertiesItem()
{
    return g_item;
}
