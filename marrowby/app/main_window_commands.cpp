#include "marrowby/app/main_window_commands.h"

#include "marrowby/app/main_window.h"
#include "marrowby/dialogs/about_box.h"
#include "marrowby/resources/resource.h"

namespace {

struct ToolTip {
    UINT_PTR command;
    int text;
};

const ToolTip kToolTips[] = {
    {IDM_FILE_OPEN, IDS_TIP_OPEN},           {IDM_FILE_SAVE, IDS_TIP_SAVE},
    {IDM_DOWNLOAD_NEW, IDS_TIP_NEW_DOWNLOAD}, {IDM_DOWNLOAD_START, IDS_TIP_START},
    {IDM_DOWNLOAD_PAUSE, IDS_TIP_PAUSE},     {IDM_DOWNLOAD_DELETE, IDS_TIP_DELETE},
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

} // namespace

void OnCommand(HWND window, WORD command)
{
    switch (command) {
    case IDM_FILE_EXIT:
        DestroyWindow(window);
        break;
    case IDM_HELP_ABOUT:
        ShowAboutBox(window);
        break;
    default:
        break;
    }
}

LRESULT OnNotify(HWND /*window*/, NMHDR* header)
{
    if (header && header->code == TTN_NEEDTEXTA)
        AnswerToolTip(reinterpret_cast<NMTTDISPINFOA*>(header));
    return 0;
}
