#include "marrowby/app/main_window_commands.h"

#include "marrowby/app/download_list.h"
#include "marrowby/app/list_commands.h"
#include "marrowby/app/main_window.h"
#include "marrowby/app/row_commands.h"
#include "marrowby/app/updater_launch.h"
#include "marrowby/dialogs/about_box.h"
#include "marrowby/dialogs/download_sheets.h"
#include "marrowby/dialogs/options_sheet.h"
#include "marrowby/resources/resource.h"

namespace {

struct ToolTip {
    UINT_PTR command;
    int text;
};

const ToolTip kToolTips[] = {
    {IDM_FILE_OPEN, IDS_TIP_OPEN},       {IDM_FILE_SAVE, IDS_TIP_SAVE},       {IDM_DOWNLOAD_NEW, IDS_TIP_NEW_DOWNLOAD},
    {IDM_DOWNLOAD_START, IDS_TIP_START}, {IDM_DOWNLOAD_PAUSE, IDS_TIP_PAUSE}, {IDM_DOWNLOAD_DELETE, IDS_TIP_DELETE},
};

// The tooltip loads the text itself from the instance and string id given.
void AnswerToolTip(NMTTDISPINFOA* request)
{
    request->hinst = ProgramInstance();
    for (const ToolTip& tip : kToolTips) {
        if (request->hdr.idFrom == tip.command) {
            request->lpszText = MAKEINTRESOURCEA(tip.text);
            return;
        }
    }
}

void StartSelectedDownloads()
{
    StartSelected();
    RunScheduler();
}

}  // namespace

void OnCommand(HWND window, WORD command)
{
    switch (command) {
    case IDM_FILE_NEW: NewList(); break;
    case IDM_FILE_OPEN: OpenList(window); break;
    case IDM_FILE_SAVE: SaveList(window); break;
    case IDM_FILE_SAVE_AS: SaveListAs(window); break;
    case IDM_FILE_EXIT: DestroyWindow(window); break;
    case IDM_FILE_IMPORT: ImportList(window); break;
    case IDM_EDIT_SELECT_ALL: SelectAll(); break;
    case IDM_EDIT_PASTE: PasteAddresses(window); break;
    case IDM_ROW_OPEN: OpenSelectedFile(window); break;
    case IDM_ROW_OPEN_FOLDER: OpenSelectedFolder(window); break;
    case IDM_ROW_COPY_ADDRESS: CopySelectedAddresses(window); break;
    case IDM_ROW_RESTART: RestartSelected(window); break;
    case IDM_ROW_DELETE_WITH_FILE: DeleteSelectedWithFiles(window); break;
    case IDM_DOWNLOAD_NEW: ShowNewDownloadSheet(); break;
    case IDM_DOWNLOAD_START: StartSelectedDownloads(); break;
    case IDM_DOWNLOAD_PAUSE: PauseSelected(); break;
    case IDM_DOWNLOAD_DELETE: DeleteSelected(); break;
    case IDM_DOWNLOAD_PROPERTIES: ShowDownloadPropertiesSheet(); break;
    case IDM_OPTIONS_DEFAULT_PROPERTIES: ShowDefaultPropertiesSheet(); break;
    case IDM_OPTIONS_PROGRAM: ShowProgramOptionsSheet(); break;
    case IDM_HELP_ABOUT: ShowAboutBox(window); break;
    case IDM_HELP_UPDATE: LaunchUpdater(window); break;
    default: break;
    }
}

LRESULT OnNotify(HWND /*window*/, NMHDR* header)
{
    if (!header) return 0;
    if (header->code == TTN_NEEDTEXTA) {
        AnswerToolTip(reinterpret_cast<NMTTDISPINFOA*>(header));
        return 0;
    }
    if (header->idFrom != static_cast<UINT_PTR>(kListControlId)) return 0;
    LRESULT result = 0;
    if (HandleListNotify(header, &result)) return result;
    if (header->code == LVN_KEYDOWN && reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == VK_DELETE)
        DeleteSelected();
    else if (header->code == NM_DBLCLK)
        ShowDownloadPropertiesSheet();
    return 0;
}

void SelectAll()
{
    HWND list = ListControl();
    SetFocus(list);
    // Every row is selected in one call; only one row can hold the focus, so
    // the last row gets it, as focusing the rows one by one would leave it.
    // (Row by row takes minutes for thousands of rows.)
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    if (rows <= 0) return;
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(rows - 1), reinterpret_cast<LPARAM>(&state));
}
