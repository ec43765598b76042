#include "marrowby/app/row_commands.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "marrowby/app/address_scan.h"
#include "marrowby/app/download_list.h"
#include "marrowby/app/list_commands.h"
#include "marrowby/app/row_tip.h"
#include "marrowby/app/settings.h"
#include "common/bounded_text.h"
#include "marrowby/engine/path_helpers.h"
#include "marrowby/engine/segment_files.h"
#include "marrowby/resources/resource.h"

namespace {

constexpr size_t kSavedPathSize = kItemFolderSize + 1 + kItemFileNameSize;
constexpr size_t kMessageSize = 512;
constexpr int kNamesShown = 5;  // a confirmation names at most these

HINSTANCE InstanceOf(HWND window)
{
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
}

DownloadItem* FirstSelectedItem()
{
    int row = NextSelectedRow(-1);
    return row >= 0 ? ItemOfRow(row) : nullptr;
}

// The saved file's path, made whole against the current folder (an item
// without a folder saves there); false when the item has no file yet.
bool SavedPath(const DownloadItem* item, char* out, size_t capacity)
{
    if (item == nullptr || item->fileName[0] == '\0') return false;
    char path[kSavedPathSize];
    mw_text::Copy(path, item->folder);
    if (path[0] != '\0') AppendFolderSeparator(path, sizeof(path));
    mw_text::Append(path, sizeof(path), item->fileName);
    DWORD length = GetFullPathNameA(path, static_cast<DWORD>(capacity), out, nullptr);
    return length > 0 && length < capacity;
}

bool HasFinishedFile(const DownloadItem* item)
{
    return item != nullptr && item->state == ItemState::Completed && item->fileName[0] != '\0';
}

const char* ItemName(const DownloadItem* item)
{
    return item->fileName[0] != '\0' ? item->fileName : item->url;
}

// Questions and notices are titled with the program's name, not the
// system's "Error".
int ShowMessage(HWND window, const std::string& text, UINT type)
{
    char title[64];
    if (LoadStringA(InstanceOf(window), IDS_APP_TITLE, title, sizeof(title)) <= 0) title[0] = '\0';
    return MessageBoxA(window, text.c_str(), title, type);
}

int ShowMessage(HWND window, int textId, UINT type)
{
    char text[kMessageSize];
    if (LoadStringA(InstanceOf(window), textId, text, sizeof(text)) <= 0) text[0] = '\0';
    return ShowMessage(window, std::string(text), type);
}

bool Confirm(HWND window, int textId, const char* argument)
{
    char format[kMessageSize];
    if (LoadStringA(InstanceOf(window), textId, format, sizeof(format)) <= 0) format[0] = '\0';
    std::string text(format);
    size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, argument);
    return ShowMessage(window, text, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void EnableCommand(HMENU menu, UINT command, bool enabled)
{
    EnableMenuItem(menu, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

// From the keyboard the menu opens below the first selected row, or at the
// list's corner when no row is selected.
POINT KeyboardMenuPoint(int row)
{
    HWND list = ListControl();
    RECT rect = {};
    rect.left = LVIR_LABEL;
    POINT at = {0, 0};
    if (row >= 0 && SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect))) {
        at.x = rect.left;
        at.y = rect.bottom;
    }
    ClientToScreen(list, &at);
    return at;
}

bool SetClipboardText(HWND window, const std::string& text)
{
    if (!OpenClipboard(window)) return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    char* bytes = memory != nullptr ? static_cast<char*>(GlobalLock(memory)) : nullptr;
    bool set = false;
    if (bytes != nullptr) {
        memcpy(bytes, text.c_str(), text.size() + 1);
        GlobalUnlock(memory);
        set = SetClipboardData(CF_TEXT, memory) != nullptr;
    }
    if (!set && memory != nullptr) GlobalFree(memory);  // the clipboard took it only on success
    CloseClipboard();
    return set;
}

std::string ClipboardText(HWND window)
{
    std::string text;
    if (!OpenClipboard(window)) return text;
    HANDLE data = GetClipboardData(CF_TEXT);
    const char* bytes = data != nullptr ? static_cast<const char*>(GlobalLock(data)) : nullptr;
    if (bytes != nullptr) {
        size_t size = GlobalSize(data);
        const void* end = memchr(bytes, '\0', size);
        text.assign(bytes, end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - bytes) : size);
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

}  // namespace

void ShowRowMenu(HWND window, LPARAM position)
{
    HMENU bar = LoadMenuA(InstanceOf(window), MAKEINTRESOURCEA(IDR_ROW_MENU));
    if (bar == nullptr) return;
    HMENU menu = GetSubMenu(bar, 0);
    int row = NextSelectedRow(-1);
    DownloadItem* item = row >= 0 ? ItemOfRow(row) : nullptr;
    bool running = item != nullptr && item->state == ItemState::Running;
    DeleteMenu(menu, running ? IDM_DOWNLOAD_START : IDM_DOWNLOAD_PAUSE, MF_BYCOMMAND);
    EnableCommand(menu, IDM_ROW_OPEN, HasFinishedFile(item));
    EnableCommand(menu, IDM_ROW_OPEN_FOLDER, HasFinishedFile(item));
    for (UINT command : {IDM_ROW_COPY_ADDRESS, IDM_DOWNLOAD_START, IDM_DOWNLOAD_PAUSE, IDM_ROW_RESTART,
                         IDM_DOWNLOAD_PROPERTIES, IDM_DOWNLOAD_DELETE, IDM_ROW_DELETE_WITH_FILE}) {
        EnableCommand(menu, command, item != nullptr);
    }
    POINT at = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    if (position == -1) at = KeyboardMenuPoint(row);
    // A right click seldom rests long enough to show the row's tooltip, but
    // its hover time runs out while the menu is open, over the menu.
    HoldRowTip(true);
    UINT command = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, window, nullptr));
    HoldRowTip(false);
    DestroyMenu(bar);
    if (command != 0) SendMessageA(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void OpenSelectedFile(HWND window)
{
    DownloadItem* item = FirstSelectedItem();
    char path[MAX_PATH];
    if (!HasFinishedFile(item) || !SavedPath(item, path, sizeof(path))) return;
    ShellExecuteA(window, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
}

void OpenSelectedFolder(HWND window)
{
    DownloadItem* item = FirstSelectedItem();
    char path[MAX_PATH];
    if (!HasFinishedFile(item) || !SavedPath(item, path, sizeof(path))) return;
    std::string parameters = std::string("/select,\"") + path + "\"";
    ShellExecuteA(window, "open", "explorer.exe", parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

void CopySelectedAddresses(HWND window)
{
    std::string text;
    for (int row = NextSelectedRow(-1); row >= 0; row = NextSelectedRow(row)) {
        DownloadItem* item = ItemOfRow(row);
        if (item == nullptr) continue;
        if (!text.empty()) text += "\r\n";
        text += item->url;
    }
    if (!text.empty()) SetClipboardText(window, text);
}

void RestartSelected(HWND window)
{
    std::string names;
    int count = 0;
    for (int row = NextSelectedRow(-1); row >= 0; row = NextSelectedRow(row)) {
        DownloadItem* item = ItemOfRow(row);
        if (item == nullptr) continue;
        if (++count <= kNamesShown) names += std::string(count > 1 ? "\n" : "") + ItemName(item);
    }
    if (count == 0) return;
    if (count > kNamesShown) names += "\n...";
    if (!Confirm(window, IDS_CONFIRM_RESTART, names.c_str())) return;
    for (int row = NextSelectedRow(-1); row >= 0; row = NextSelectedRow(row)) {
        DownloadItem* item = ItemOfRow(row);
        if (item != nullptr) ResetItemToStart(row, item);
    }
    RunScheduler();
}

void DeleteSelectedWithFiles(HWND window)
{
    std::vector<std::string> paths;
    int count = 0;
    for (int row = NextSelectedRow(-1); row >= 0; row = NextSelectedRow(row)) {
        ++count;
        char path[MAX_PATH];
        if (SavedPath(ItemOfRow(row), path, sizeof(path))) paths.emplace_back(path);
    }
    if (count == 0) return;
    char number[16];
    snprintf(number, sizeof(number), "%d", count);
    if (!Confirm(window, IDS_CONFIRM_DELETE_FILES, number)) return;
    DeleteSelected();  // stops the downloads: their files are closed
    std::string failed;
    for (const std::string& path : paths) {
        // An unfinished segmented download also has a side file as large as
        // the download and a state file beside the named one.
        for (const char* suffix : {"", kSideFileSuffix, kStateFileSuffix}) {
            char file[kSegmentPathCapacity];
            SegmentFilePath(file, sizeof(file), "", path.c_str(), suffix);
            if (DeleteFileA(file) || GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES) continue;
            if (!failed.empty()) failed += "\n";
            failed += file;
        }
    }
    if (!failed.empty()) ShowFileMessage(window, IDS_FILE_NOT_DELETED, failed.c_str());
}

int AddAddressesInText(const char* text, size_t length)
{
    int added = 0;
    size_t end = strnlen(text, length);
    size_t start = 0;
    size_t count = 0;
    for (size_t from = 0; NextAddress(text, end, from, &start, &count); from = start + count) {
        if (AddUrl(std::string(text + start, count).c_str(), nullptr, nullptr, nullptr) == 0) ++added;
    }
    return added;
}

int PasteAddresses(HWND window)
{
    std::string text = ClipboardText(window);
    int added = AddAddressesInText(text.data(), text.size());
    // Otherwise a key press that seems to do nothing.
    if (added == 0) ShowMessage(window, IDS_PASTE_NO_ADDRESS, MB_OK | MB_ICONINFORMATION);
    if (added > 0 && g_settings.autoStart != 0) RunScheduler();
    return added;
}
