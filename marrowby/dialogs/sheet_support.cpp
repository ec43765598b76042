#include "marrowby/dialogs/sheet_support.h"

#include "marrowby/app/download_list.h"
#include "common/sjis.h"

namespace {

constexpr int kCaptionSize = 128;
constexpr int kMessageSize = 256;

void ReportSheet(HWND sheet, int32_t kind)
{
    HostNotice notice = {kind, sheet, nullptr};
    NotifyListHost(notice);
}

// Drops a lead byte left alone at the end by a cut.
void DropPartialCharacter(char* text)
{
    size_t at = 0;
    while (text[at] != '\0') {
        if (SjisCharLength(text + at) == 1 && IsSjisLeadByte(static_cast<unsigned char>(text[at])) &&
            text[at + 1] == '\0') {
            text[at] = '\0';
            return;
        }
        at += SjisCharLength(text + at);
    }
}

}  // namespace

HINSTANCE SheetInstance()
{
    HWND owner = ListWindow();
    if (owner) return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
    return GetModuleHandleA(nullptr);
}

PROPSHEETPAGEA MakeSheetPage(int templateId, DLGPROC proc, LPARAM param)
{
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof(page);
    page.hInstance = SheetInstance();
    page.pszTemplate = MAKEINTRESOURCEA(templateId);
    page.pfnDlgProc = proc;
    page.lParam = param;
    return page;
}

HWND OpenModelessSheet(int captionId, PROPSHEETPAGEA* pages, UINT count)
{
    char caption[kCaptionSize];
    if (LoadStringA(SheetInstance(), captionId, caption, sizeof(caption)) <= 0) caption[0] = '\0';
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_MODELESS | PSH_NOAPPLYNOW | PSH_PROPSHEETPAGE;
    header.hwndParent = ListWindow();
    header.hInstance = SheetInstance();
    header.pszCaption = caption;
    header.nPages = count;
    header.ppsp = pages;
    INT_PTR created = PropertySheetA(&header);
    // A modeless sheet returns its window; failures give 0 or -1.
    if (created == 0 || created == -1) return nullptr;
    HWND sheet = reinterpret_cast<HWND>(created);
    ReportSheet(sheet, kNoticeSheetOpened);
    return sheet;
}

void ReportSheetClosed(HWND sheet)
{
    ReportSheet(sheet, kNoticeSheetClosed);
}

int BringOpenSheetForward(HWND sheet)
{
    SetForegroundWindow(sheet);
    return 1;
}

void PressSheetButton(HWND page, int button)
{
    HWND sheet = GetParent(page);
    if (sheet) PostMessageA(sheet, PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0);
}

// The notification code of a page's WM_NOTIFY, or 0 for other messages.
static UINT PageNotification(UINT message, LPARAM lParam)
{
    if (message != WM_NOTIFY || lParam == 0) return 0;
    return reinterpret_cast<const NMHDR*>(lParam)->code;
}

INT_PTR AnswerSheetButtons(HWND page, UINT message, LPARAM lParam, void (*apply)(HWND page))
{
    switch (PageNotification(message, lParam)) {
    case PSN_APPLY:
        apply(page);
        SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
        return TRUE;
    case PSN_RESET: PressSheetButton(page, PSBTN_CANCEL); return TRUE;
    default: return FALSE;
    }
}

void ReportSheetClosedOnce(HWND* sheet)
{
    if (!*sheet) return;
    ReportSheetClosed(*sheet);
    *sheet = nullptr;
}

void ShowPageMessage(HWND page, int textId)
{
    char text[kMessageSize];
    if (LoadStringA(SheetInstance(), textId, text, sizeof(text)) <= 0) text[0] = '\0';
    // The main window waits as well: closing it meanwhile would destroy the
    // sheet under the notification that shows this box.
    HWND mainWindow = ListWindow();
    bool wasEnabled = mainWindow && !EnableWindow(mainWindow, FALSE);
    MessageBoxA(page, text, nullptr, MB_OK);
    if (wasEnabled) EnableWindow(mainWindow, TRUE);
}

void ReadPageField(HWND page, int id, char* out, size_t capacity)
{
    if (capacity == 0) return;
    out[0] = '\0';
    GetDlgItemTextA(page, id, out, static_cast<int>(capacity));
    out[capacity - 1] = '\0';
    DropPartialCharacter(out);
}

void LimitPageField(HWND page, int id, int characters)
{
    SendDlgItemMessageA(page, id, EM_LIMITTEXT, static_cast<WPARAM>(characters), 0);
}
