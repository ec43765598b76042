#include "marrowby/dialogs/url_page.h"

#include <shlobj.h>
#include <string.h>

#include "marrowby/app/checksum_text.h"
#include "marrowby/app/file_checksum.h"
#include "marrowby/dialogs/sheet_support.h"
#include "marrowby/resources/resource.h"
#include "common/text_helpers.h"

namespace {

constexpr int kBrowseTitleSize = 256;
constexpr int kResultLineSize = 256;

void FillField(HWND page, int id, const char* text)
{
    if (text) SetDlgItemTextA(page, id, text);
}

}  // namespace

bool IsAcceptedDownloadUrl(const char* text, UrlParts* parts)
{
    ResetUrl(*parts);
    return ParseUrl(text, nullptr, *parts) == 0 && IsDownloadableScheme(parts->scheme);
}

int RefusedUrlMessage(const char* text)
{
    return strlen(text) > kUrlTextMax ? IDS_URL_TOO_LONG : IDS_INVALID_URL;
}

void LimitUrlPageFields(HWND page)
{
    LimitPageField(page, IDC_URL, kUrlFieldChars);
    LimitPageField(page, IDC_REFERRER, kReferrerFieldChars);
    LimitPageField(page, IDC_FOLDER, kFolderFieldChars);
    LimitPageField(page, IDC_USER, kLoginFieldChars);
    LimitPageField(page, IDC_PASSWORD, kLoginFieldChars);
    LimitPageField(page, IDC_CHECKSUM, kChecksumFieldChars);
}

void FillUrlPageFields(HWND page, const char* url, const char* referrer, const char* folder, const char* user,
                       const char* password)
{
    FillField(page, IDC_URL, url);
    FillField(page, IDC_REFERRER, referrer);
    FillField(page, IDC_FOLDER, folder);
    FillField(page, IDC_USER, user);
    FillField(page, IDC_PASSWORD, password);
}

void ReadUrlPageFields(HWND page, UrlPageFields* fields)
{
    ReadPageField(page, IDC_URL, fields->url, sizeof(fields->url));
    // A copied address often brings a space or tab along at either end.
    TrimBlanks(fields->url);
    ReadPageField(page, IDC_REFERRER, fields->referrer, sizeof(fields->referrer));
    ReadPageField(page, IDC_FOLDER, fields->folder, sizeof(fields->folder));
    ReadPageField(page, IDC_USER, fields->user, sizeof(fields->user));
    ReadPageField(page, IDC_PASSWORD, fields->password, sizeof(fields->password));
    ReadPageField(page, IDC_CHECKSUM, fields->checksum, sizeof(fields->checksum));
}

void FillChecksumField(HWND page, const char* stored, int32_t result)
{
    SetDlgItemTextA(page, IDC_CHECKSUM, stored);
    int textId = 0;
    if (result == kChecksumMatched) textId = IDS_CHECKSUM_MATCHED;
    if (result == kChecksumMismatched) textId = IDS_CHECKSUM_MISMATCHED;
    if (result == kChecksumUnreadable) textId = IDS_CHECKSUM_UNREADABLE;
    char line[kResultLineSize] = "";
    if (textId != 0 && LoadStringA(SheetInstance(), textId, line, sizeof(line)) <= 0) line[0] = '\0';
    SetDlgItemTextA(page, IDC_CHECKSUM_RESULT, line);
}

bool IsSheetApply(UINT message, LPARAM lParam)
{
    return message == WM_NOTIFY && lParam != 0 && reinterpret_cast<const NMHDR*>(lParam)->code == PSN_APPLY;
}

int RefusedChecksumMessage(HWND page)
{
    char typed[kChecksumFieldChars];
    ReadPageField(page, IDC_CHECKSUM, typed, sizeof(typed));
    Checksum checksum;
    switch (ParseChecksum(typed, &checksum)) {
    case kChecksumNotHex: return IDS_CHECKSUM_NOT_HEX;
    case kChecksumBadLength: return IDS_CHECKSUM_BAD_LENGTH;
    case kChecksumWrongPrefix: return IDS_CHECKSUM_WRONG_PREFIX;
    default: return 0;
    }
}

INT_PTR KeepSheetAtChecksum(HWND page)
{
    HWND field = GetDlgItem(page, IDC_CHECKSUM);
    SendMessageA(page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
    SendMessageA(field, EM_SETSEL, 0, -1);
    SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_INVALID_NOCHANGEPAGE);
    return TRUE;
}

int BrowseForSaveFolder(HWND page)
{
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator) return 1;
    char title[kBrowseTitleSize];
    if (LoadStringA(SheetInstance(), IDS_BROWSE_FOLDER_TITLE, title, sizeof(title)) <= 0) title[0] = '\0';
    char displayName[MAX_PATH] = "";
    BROWSEINFOA browse = {};
    browse.hwndOwner = page;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = title;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
    if (!chosen) {
        allocator->Release();
        return 2;
    }
    char path[MAX_PATH] = "";
    if (!SHGetPathFromIDListA(chosen, path)) path[0] = '\0';
    allocator->Free(chosen);
    allocator->Release();
    SetDlgItemTextA(page, IDC_FOLDER, path);
    return 0;
}

bool IsBrowseCommand(UINT message, WPARAM wParam)
{
    return message == WM_COMMAND && LOWORD(wParam) == IDC_BROWSE_FOLDER && HIWORD(wParam) == BN_CLICKED;
}
