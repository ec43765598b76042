#include "marrowby/app/main_window_controls.h"

#include "marrowby/app/download_list.h"
#include "marrowby/app/main_window.h"
#include "marrowby/resources/resource.h"

namespace {

constexpr int kToolbarImageCount = 6;
constexpr int kToolbarImageWidth = 16;
constexpr int kToolbarImageHeight = 15;
constexpr int kStateImageSize = 16;
constexpr int kStateImageCount = 6;

TBBUTTON Button(int image, int command)
{
    TBBUTTON button = {};
    button.iBitmap = image;
    button.idCommand = command;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = TBSTYLE_BUTTON;
    return button;
}

TBBUTTON Separator()
{
    TBBUTTON button = {};
    button.fsStyle = TBSTYLE_SEP;
    return button;
}

struct ColumnLayout {
    int width;
    int format;
};

const ColumnLayout kColumns[kColumnCount] = {
    {96, LVCFMT_LEFT},  {72, LVCFMT_RIGHT}, {72, LVCFMT_RIGHT}, {46, LVCFMT_RIGHT}, {46, LVCFMT_RIGHT},
    {384, LVCFMT_LEFT}, {220, LVCFMT_LEFT}, {56, LVCFMT_RIGHT}, {72, LVCFMT_RIGHT}, {64, LVCFMT_RIGHT},
};

// State images in row-icon order: waiting, completed, paused, started,
// receiving, failed.
const int kStateBitmaps[kStateImageCount] = {
    IDB_STATE_WAITING, IDB_STATE_COMPLETED, IDB_STATE_PAUSED, IDB_STATE_STARTED, IDB_STATE_RECEIVING, IDB_STATE_FAILED,
};

// A heading's text margins on both sides, with room to spare.
constexpr int kHeadingMargin = 16;

// The later columns grow to show their whole heading, which is longer in
// some languages ("Progress").
int ColumnWidth(HWND list, int column, const char* heading)
{
    int width = kColumns[column].width;
    if (column < kColumnStatus) return width;
    int needed = static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(heading))) +
                 kHeadingMargin;
    return needed > width ? needed : width;
}

}  // namespace

HWND CreateMainToolbar(HWND mainWindow, HINSTANCE instance)
{
    TBBUTTON buttons[] = {
        Button(0, IDM_FILE_OPEN),      Button(1, IDM_FILE_SAVE),       Separator(),
        Button(2, IDM_DOWNLOAD_NEW),   Button(3, IDM_DOWNLOAD_DELETE), Separator(),
        Button(4, IDM_DOWNLOAD_PAUSE), Button(5, IDM_DOWNLOAD_START),
    };
    HWND toolbar = CreateToolbarEx(mainWindow, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS, kToolbarId, kToolbarImageCount,
                                   instance, IDB_TOOLBAR, buttons, sizeof(buttons) / sizeof(buttons[0]), 0, 0,
                                   kToolbarImageWidth, kToolbarImageHeight, sizeof(TBBUTTON));
    if (!toolbar) return nullptr;
    LONG_PTR style = GetWindowLongPtrA(toolbar, GWL_STYLE);
    SetWindowLongPtrA(toolbar, GWL_STYLE, style | TBSTYLE_FLAT);
    return toolbar;
}

HWND CreateMainListControl(HWND mainWindow, HINSTANCE instance)
{
    return CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                           WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_OWNERDATA, 0, 0, 0, 0, mainWindow,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListControlId)), instance, nullptr);
}

void SetUpListColumns(HWND list, const char* const headings[])
{
    DWORD extended = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    for (int i = 0; i < kColumnCount; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = kColumns[i].format;
        column.cx = ColumnWidth(list, i, headings[i]);
        column.pszText = const_cast<char*>(headings[i]);
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
}

HIMAGELIST CreateStateImages(HWND list, HINSTANCE instance)
{
    HIMAGELIST images = ImageList_Create(kStateImageSize, kStateImageSize, ILC_MASK, kStateImageCount, 0);
    if (!images) return nullptr;
    for (int id : kStateBitmaps) {
        HBITMAP bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(id));
        ImageList_AddMasked(images, bitmap, RGB(255, 255, 255));
        DeleteObject(bitmap);
    }
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    return images;
}

void LayOutMainWindow(HWND toolbar, HWND list, WPARAM sizeType, int width, int height)
{
    if (!toolbar || !list) return;  // sizes arrive while the window is still being built
    SendMessageA(toolbar, WM_SIZE, sizeType, MAKELPARAM(width, height));
    RECT bar;
    GetClientRect(toolbar, &bar);
    int top = bar.bottom;
    MoveWindow(list, 0, top + 1, width, height - top, TRUE);
}
