#include "marrowby/app/list_file_dialogs.h"

#include <string.h>

#include <commdlg.h>

#include "common/bounded_text.h"
#include "common/sjis.h"
#include "marrowby/resources/resource.h"

namespace {

constexpr size_t kDialogFileSize = 516;
constexpr size_t kDialogTitleSize = 256;
constexpr size_t kFilterSize = 256;
const char kListExtension[] = ".wrg";

// The string table keeps a filter as "text|pattern|...|"; the dialog wants
// NUL after each part and one more at the end. "|" can be the second byte of
// a double-byte character, so characters are stepped over whole.
void LoadFilter(HINSTANCE instance, int id, char (&filter)[kFilterSize])
{
    memset(filter, 0, sizeof(filter));
    if (LoadStringA(instance, id, filter, sizeof(filter) - 1) <= 0) return;
    for (size_t at = 0; filter[at] != '\0';) {
        size_t length = SjisCharLength(filter + at);
        if (length == 1 && filter[at] == '|') filter[at] = '\0';
        at += length;
    }
}

}  // namespace

void AddListExtension(char* path, size_t capacity, const char* fileName)
{
    if (strchr(fileName, '.')) return;
    if (strlen(path) + sizeof(kListExtension) <= capacity) mw_text::Append(path, capacity, kListExtension);
}

bool ChooseListFile(HWND owner, ListFileDialog dialog, char* path, size_t capacity)
{
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
    char filter[kFilterSize];
    LoadFilter(instance, dialog == kImportListDialog ? IDS_IMPORT_FILTER : IDS_LIST_FILTER, filter);
    char file[kDialogFileSize + sizeof(kListExtension)] = "";
    char title[kDialogTitleSize] = "";
    OPENFILENAMEA request = {};
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the classic record
    request.hwndOwner = owner;
    request.lpstrFilter = filter;
    request.nFilterIndex = 1;
    request.lpstrFile = file;
    request.nMaxFile = kDialogFileSize;
    request.lpstrFileTitle = title;
    request.nMaxFileTitle = kDialogTitleSize;
    // The current folder is where downloads without a folder of their own
    // are saved and looked for again: browsing must not move it.
    request.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (dialog == kSaveListDialog) {
        // An existing file is replaced only when the user says so. The
        // dialog adds the extension itself, so it asks about the very file
        // that is written ("mylist" writes, and asks about, "mylist.wrg").
        request.Flags |= OFN_OVERWRITEPROMPT;
        request.lpstrDefExt = kListExtension + 1;
    }
    bool chosen = dialog == kSaveListDialog ? GetSaveFileNameA(&request) : GetOpenFileNameA(&request);
    if (!chosen) return false;
    if (dialog == kSaveListDialog) AddListExtension(file, sizeof(file), title);
    mw_text::Copy(path, capacity, file);
    return true;
}
