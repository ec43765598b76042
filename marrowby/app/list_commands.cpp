#include "marrowby/app/list_commands.h"

#include <stdio.h>

#include "marrowby/app/download_list.h"
#include "marrowby/app/list_file.h"
#include "marrowby/app/list_file_dialogs.h"
#include "marrowby/app/settings.h"
#include "common/bounded_text.h"
#include "marrowby/resources/resource.h"

namespace {

constexpr size_t kFormatSize = 256;

// The chosen path of a dialog, cut to what listPath keeps (772 bytes).
struct ChosenPath {
    char text[kListPathSize];
};

void WriteListReporting(HWND window)
{
    if (ListFileRefused()) return;  // not this session's file: never written over
    if (WriteListFile(g_settings.listPath) != 0) ShowFileMessage(window, IDS_LIST_SAVE_FAILED, g_settings.listPath);
}

}  // namespace

void ShowStartupFileMessage(HINSTANCE instance, int textId, const char* path)
{
    char format[kFormatSize];
    if (LoadStringA(instance, textId, format, sizeof(format)) <= 0) format[0] = '\0';
    char text[kFormatSize + kListPathSize];
    snprintf(text, sizeof(text), format, path);
    MessageBoxA(nullptr, text, nullptr, MB_OK);
}

void ShowFileMessage(HWND window, int textId, const char* path)
{
    char format[kFormatSize];
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    if (LoadStringA(instance, textId, format, sizeof(format)) <= 0) format[0] = '\0';
    char text[kFormatSize + kListPathSize + kProgramFolderSize];
    snprintf(text, sizeof(text), format, path);
    MessageBoxA(window, text, nullptr, MB_OK);
}

void NewList()
{
    ClearList();
}

// The list shown so far is kept in its file first, as closing would keep it.
// A file that is not a list is refused: as the open list it would be
// overwritten by the next save.
void OpenList(HWND window)
{
    ChosenPath chosen;
    if (!ChooseListFile(window, kOpenListDialog, chosen.text, sizeof(chosen.text))) return;
    if (FileIsNotAList(chosen.text)) {
        ShowFileMessage(window, IDS_NOT_A_LIST_FILE, chosen.text);
        return;
    }
    WriteListReporting(window);
    mw_text::Copy(g_settings.listPath, chosen.text);
    SetListFileRefused(false);
    ClearList();  // stops every running download
    if (ReadListFile(g_settings.listPath) != 0) ShowFileMessage(window, IDS_LIST_OPEN_FAILED, g_settings.listPath);
    if (g_settings.autoStart != 0) RunScheduler();
}

void SaveList(HWND window)
{
    if (ListFileRefused()) {
        SaveListAs(window);  // only under a name the person chooses
        return;
    }
    if (SaveSettings() != 0) {
        char settingsPath[kProgramFolderSize + sizeof("vorn.cfg")];
        SettingsFilePath(settingsPath, sizeof(settingsPath));
        ShowFileMessage(window, IDS_SETTINGS_SAVE_FAILED, settingsPath);
    }
    WriteListReporting(window);
}

void SaveListAs(HWND window)
{
    ChosenPath chosen;
    if (!ChooseListFile(window, kSaveListDialog, chosen.text, sizeof(chosen.text))) return;
    mw_text::Copy(g_settings.listPath, chosen.text);
    SetListFileRefused(false);
    SaveList(window);
}

void ImportList(HWND window)
{
    ChosenPath chosen;
    if (!ChooseListFile(window, kImportListDialog, chosen.text, sizeof(chosen.text))) return;
    int imported = ImportUrlList(chosen.text);
    if (imported == 1) ShowFileMessage(window, IDS_LIST_OPEN_FAILED, chosen.text);
    if (imported == 2) ShowFileMessage(window, IDS_URL_TOO_LONG, chosen.text);
}
