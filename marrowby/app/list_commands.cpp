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
    if (WriteListFile(g_settings.listPath) != 0) ShowFileMessage(window, IDS_LIST_SAVE_FAILED, g_settings.listPath);
}

}  // namespace

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
    ClearList();  // stops every running download
    if (ReadListFile(g_settings.listPath) != 0) ShowFileMessage(window, IDS_LIST_OPEN_FAILED, g_settings.listPath);
    if (g_settings.autoStart != 0) RunScheduler();
}

void SaveList(HWND window)
{
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
    SaveList(window);
}

void ImportList(HWND window)
{
    ChosenPath chosen;
    if (!ChooseListFile(window, kImportListDialog, chosen.text, sizeof(chosen.text))) return;
    if (ImportUrlList(chosen.text) != 0) ShowFileMessage(window, IDS_LIST_OPEN_FAILED, chosen.text);
}
