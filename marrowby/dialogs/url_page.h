// The "URL" page (template 115) that the new-download, properties and
// default properties sheets share, and the folder browser of its "..."
// button. GUI thread only.
#pragma once

#include <windows.h>

#include "marrowby/engine/url.h"

// Characters each field takes; a field stores one less (the rest is cut).
// The URL field takes one character more than a URL may have, so a longer
// one is seen and refused rather than cut.
constexpr int kUrlFieldChars = static_cast<int>(kUrlTextMax) + 2;
constexpr int kReferrerFieldChars = 1152;
constexpr int kFolderFieldChars = 260;
constexpr int kLoginFieldChars = 48;
// Room for a checksum pasted with a space between every two digits.
constexpr int kChecksumFieldChars = 160;

struct UrlPageFields {
    char url[kUrlFieldChars];
    char referrer[kReferrerFieldChars];
    char folder[kFolderFieldChars];
    char user[kLoginFieldChars];
    char password[kLoginFieldChars];
    char checksum[kChecksumFieldChars];  // as typed
};

// The one rule for a URL typed into a sheet: it parses and names a scheme
// that downloads use (http or https). parts receives the parsed URL.
bool IsAcceptedDownloadUrl(const char* text, UrlParts* parts);
// The message a refused URL gets: IDS_URL_TOO_LONG or IDS_INVALID_URL.
int RefusedUrlMessage(const char* text);

void LimitUrlPageFields(HWND page);
// Fills the five fields; a null text leaves its field as it is.
void FillUrlPageFields(HWND page, const char* url, const char* referrer, const char* folder, const char* user,
                       const char* password);
void ReadUrlPageFields(HWND page, UrlPageFields* fields);

// The checksum field and the line under it that says how the download's
// file compared with it (a ChecksumResult; nothing while unchecked).
void FillChecksumField(HWND page, const char* stored, int32_t result);
// True for the sheet's OK (PSN_APPLY).
bool IsSheetApply(UINT message, LPARAM lParam);
// The message that refuses the checksum field's text, or 0 when the field
// holds a checksum or nothing.
int RefusedChecksumMessage(HWND page);
// Answers the sheet's OK so that the sheet stays open, with the checksum
// field's text selected for correcting.
INT_PTR KeepSheetAtChecksum(HWND page);

// Shows the shell's folder browser owned by the page and writes the chosen
// folder into field 1003. Returns 0 chosen, 1 no shell allocator,
// 2 cancelled (the field is untouched).
int BrowseForSaveFolder(HWND page);

// True for the "..." button's click.
bool IsBrowseCommand(UINT message, WPARAM wParam);
