#include "tidewell/updater/confirm_dialog.h"

#include "common/bounded_text.h"
#include "tidewell/resources/resource.h"
#include "tidewell/updater/version_compare.h"

namespace {

constexpr int kStringSize = 256;
constexpr DWORD kProgramPathSize = 516;
constexpr int kNotesBufferSize = 65000;

// The notes in the ANSI code page, for the dialog's edit control.
char g_notes[kNotesBufferSize];

void SetVersionText(HWND dialog, int control, RecordView record, HINSTANCE instance)
{
    char text[kStringSize];
    if (RecordPresent(record)) {
        FormatVersion(RecordVersion(record), text, sizeof(text));
    } else if (LoadStringA(instance, IDS_VERSION_UNKNOWN, text, kStringSize) <= 0) {
        text[0] = '\0';
    }
    SetDlgItemTextA(dialog, control, text);
}

void ShowDialogMessage(HWND dialog, HINSTANCE instance, int id)
{
    char text[kStringSize];
    if (LoadStringA(instance, id, text, kStringSize) <= 0) text[0] = '\0';
    MessageBoxA(dialog, text, nullptr, MB_OK);
}

// UTF-16LE notes into the ANSI code page; an empty text when they do not fit.
void SetNotes(HWND dialog, RecordView fetched, HINSTANCE instance)
{
    uint32_t offset = RecordNotesOffset(fetched);
    uint32_t units = 0;
    RecordNotes(fetched, offset, &units);
    g_notes[0] = '\0';
    if (units > 0) {
        // The record buffer comes from the heap and the offset is even, so
        // the text is suitably aligned for the conversion.
        const wchar_t* notes = reinterpret_cast<const wchar_t*>(fetched.bytes + offset);
        int length = WideCharToMultiByte(CP_ACP, 0, notes, static_cast<int>(units), g_notes, kNotesBufferSize - 1,
                                         nullptr, nullptr);
        if (length <= 0) {
            g_notes[0] = '\0';
            ShowDialogMessage(dialog, instance, IDS_NOTES_CONVERSION_FAILED);
        } else {
            g_notes[length] = '\0';
        }
    }
    SetDlgItemTextA(dialog, IDC_CONFIRM_NOTES, g_notes);
}

bool ArchiveOffered(RecordView fetched)
{
    uint32_t offset = RecordArchiveUrlOffset(fetched);
    return offset < fetched.size && fetched.bytes[offset] != 0;
}

int TitleOf(int32_t comparison)
{
    if (comparison == kCompareSameVersion) return IDS_TITLE_CURRENT;
    if (comparison == kCompareOlderVersion) return IDS_TITLE_OLDER;
    return IDS_TITLE_NEWER;
}

// The dialog's default id and the buttons' looks change together.
void MakeDefaultButton(HWND dialog, int id, int previous)
{
    SendMessageA(dialog, DM_SETDEFID, static_cast<WPARAM>(id), 0);
    SendDlgItemMessageA(dialog, previous, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SendDlgItemMessageA(dialog, id, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

void StartDialog(HWND dialog, UpdaterContext* context)
{
    RecordView fetched = FetchedRecord(*context);
    SetVersionText(dialog, IDC_CONFIRM_INSTALLED_VERSION, InstalledRecord(*context), context->instance);
    SetVersionText(dialog, IDC_CONFIRM_NEW_VERSION, fetched, context->instance);
    SetNotes(dialog, fetched, context->instance);
    if (!ArchiveOffered(fetched)) EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    char title[kStringSize];
    if (LoadStringA(context->instance, TitleOf(context->comparison), title, kStringSize) <= 0) title[0] = '\0';
    SetDlgItemTextA(dialog, IDC_CONFIRM_TITLE, title);
    // The focus goes to a button rather than the notes, whose text the
    // dialog would otherwise show selected. For a version that is not newer
    // Enter must not reinstall or go back: Cancel is the default then.
    HWND accept = GetDlgItem(dialog, IDOK);
    bool offerUpdate = IsWindowEnabled(accept) && context->comparison == kCompareOffered;
    if (!offerUpdate) MakeDefaultButton(dialog, IDCANCEL, IDOK);
    SetFocus(offerUpdate ? accept : GetDlgItem(dialog, IDCANCEL));
}

INT_PTR CALLBACK ConfirmProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        StartDialog(dialog, reinterpret_cast<UpdaterContext*>(lParam));
        return FALSE;  // the focus is set
    case WM_COMMAND:
        // Return may still send IDOK while the button is disabled.
        if (LOWORD(wParam) == IDOK && IsWindowEnabled(GetDlgItem(dialog, IDOK)))
            EndDialog(dialog, 0);
        else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}

void SetInstallFolder(UpdaterContext* context, InstallFolderRule rule)
{
    if (rule == kInstallFolderTemp) {
        DWORD length = GetTempPathA(kFolderSize, context->installFolder);
        if (length == 0 || length >= kFolderSize) context->installFolder[0] = '\0';
    } else if (rule == kInstallFolderOwn) {
        OwnInstallFolder(context->installFolder, kFolderSize);
    }
}

}  // namespace

void OwnInstallFolder(char* out, size_t capacity)
{
    char path[kProgramPathSize];
    DWORD length = GetModuleFileNameA(nullptr, path, kProgramPathSize);
    if (length == 0 || length >= kProgramPathSize) path[0] = '\0';
    InstallFolderFromProgramPath(path, out, capacity);
}

int32_t CompareUpdate(UpdaterContext* context)
{
    Comparison comparison = CompareRecords(InstalledRecord(*context), FetchedRecord(*context));
    SetInstallFolder(context, comparison.folder);
    return comparison.result;
}

int ConfirmUpdate(HWND owner, UpdaterContext* context)
{
    INT_PTR result = DialogBoxParamA(context->instance, MAKEINTRESOURCEA(IDD_CONFIRM), owner, ConfirmProc,
                                     reinterpret_cast<LPARAM>(context));
    return result == 0 ? 0 : 1;
}
