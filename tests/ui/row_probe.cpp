// Looks at a running marrowby's rows and tooltips from outside; runs on the
// same desktop as its main window (class "Tessaline"). The caller moves the
// pointer itself (xdotool), so the list sees real mouse input.
//
//   row_probe rows OUTFILE        one line per row: its index, a screen
//                                 point inside its first column, and the
//                                 status column's text, tab-separated
//   row_probe tip MS OUTFILE      waits up to MS for a visible tooltip of
//                                 marrowby's; "tip TEXT" and its screen
//                                 rectangle "rect L T R B", or "none"
//   row_probe gone MS OUTFILE     waits up to MS until none is visible;
//                                 "gone", or "tip TEXT" of the one left
//
// Texts are in the ANSI code page. OUTFILE appears whole once written (the
// caller polls for it). Exit code 0, 1 when the window was not found, 2 on
// bad arguments.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>
#include <windows.h>
#include <commctrl.h>

namespace {

constexpr int kStatusColumn = 6;
constexpr size_t kCellSize = 1024;
constexpr int kFirstColumnInset = 40;

HWND MainWindow()
{
    for (int i = 0; i < 100; ++i) {
        HWND window = FindWindowA("Tessaline", nullptr);
        if (window) return window;
        Sleep(100);
    }
    return nullptr;
}

// Written beside, then moved into place whole.
void Publish(const std::string& text, const std::string& path)
{
    FILE* file = fopen((path + ".part").c_str(), "wb");
    if (!file) return;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
    MoveFileExA((path + ".part").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Requests to the list control carry pointers: they point into a block
// placed in marrowby's process.
struct Remote {
    HANDLE process = nullptr;
    HWND list = nullptr;
    char* block = nullptr;  // an LVITEMA (or a RECT), then the text buffer
};

bool OpenRemote(HWND main, Remote* remote)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    remote->list = FindWindowExA(main, nullptr, "SysListView32", nullptr);
    remote->process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!remote->process || !remote->list) return false;
    remote->block = static_cast<char*>(
        VirtualAllocEx(remote->process, nullptr, sizeof(LVITEMA) + kCellSize, MEM_COMMIT, PAGE_READWRITE));
    return remote->block != nullptr;
}

void CloseRemote(Remote* remote)
{
    if (remote->block) VirtualFreeEx(remote->process, remote->block, 0, MEM_RELEASE);
    if (remote->process) CloseHandle(remote->process);
}

std::string CellText(const Remote& remote, int row, int column)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = remote.block + sizeof(LVITEMA);
    item.cchTextMax = kCellSize;
    SIZE_T moved = 0;
    WriteProcessMemory(remote.process, remote.block, &item, sizeof(item), &moved);
    if (!SendMessageA(remote.list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.block))) return "";
    char text[kCellSize] = "";
    ReadProcessMemory(remote.process, remote.block + sizeof(LVITEMA), text, sizeof(text), &moved);
    text[kCellSize - 1] = '\0';
    return text;
}

// A point in the row's first column, in screen coordinates; false when the
// row is not in view.
bool RowPoint(const Remote& remote, int row, POINT* point)
{
    RECT rect = {};
    rect.left = LVIR_BOUNDS;
    SIZE_T moved = 0;
    WriteProcessMemory(remote.process, remote.block, &rect, sizeof(rect), &moved);
    if (!SendMessageA(remote.list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(remote.block))) return false;
    ReadProcessMemory(remote.process, remote.block, &rect, sizeof(rect), &moved);
    RECT client = {};
    GetClientRect(remote.list, &client);
    point->x = rect.left + kFirstColumnInset;
    point->y = (rect.top + rect.bottom) / 2;
    if (!PtInRect(&client, *point)) return false;
    return ClientToScreen(remote.list, point) != FALSE;
}

int WriteRows(const std::string& outFile)
{
    HWND main = MainWindow();
    Remote remote;
    if (!main || !OpenRemote(main, &remote)) {
        CloseRemote(&remote);
        return 1;
    }
    std::string text;
    int rows = static_cast<int>(SendMessageA(remote.list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        POINT point = {-1, -1};
        RowPoint(remote, row, &point);
        char head[64];
        snprintf(head, sizeof(head), "%d\t%ld\t%ld\t", row, static_cast<long>(point.x), static_cast<long>(point.y));
        text += head + CellText(remote, row, kStatusColumn) + "\n";
    }
    CloseRemote(&remote);
    Publish(text, outFile);
    return 0;
}

struct TipSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTip(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<TipSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = "";
    GetClassNameA(window, name, sizeof(name));
    if (owner == search->processId && strcmp(name, TOOLTIPS_CLASSA) == 0 && IsWindowVisible(window))
        search->found.push_back(window);
    return TRUE;
}

HWND VisibleTip(DWORD processId)
{
    TipSearch search = {processId, {}};
    EnumWindows(CollectTip, reinterpret_cast<LPARAM>(&search));
    return search.found.empty() ? nullptr : search.found[0];
}

std::string TipLine(HWND tip)
{
    char text[kCellSize] = "";
    DWORD_PTR length = 0;
    SendMessageTimeoutA(tip, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &length);
    text[kCellSize - 1] = '\0';
    RECT rect = {};
    GetWindowRect(tip, &rect);
    char place[96];
    snprintf(place, sizeof(place), "\nrect %ld %ld %ld %ld\n", static_cast<long>(rect.left),
             static_cast<long>(rect.top), static_cast<long>(rect.right), static_cast<long>(rect.bottom));
    return std::string("tip ") + text + place;
}

// Waits until a tooltip is visible (wanted) or none is, up to ms.
int WatchTip(bool wanted, DWORD ms, const std::string& outFile)
{
    HWND main = MainWindow();
    if (!main) return 1;
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    HWND tip = nullptr;
    for (DWORD start = GetTickCount();; Sleep(50)) {
        tip = VisibleTip(processId);
        if ((tip != nullptr) == wanted || GetTickCount() - start > ms) break;
    }
    if (tip != nullptr)
        Publish(TipLine(tip), outFile);
    else
        Publish(wanted ? "none\n" : "gone\n", outFile);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "rows") == 0) return WriteRows(argv[2]);
    if (argc == 4 && strcmp(argv[1], "tip") == 0) return WatchTip(true, static_cast<DWORD>(atoi(argv[2])), argv[3]);
    if (argc == 4 && strcmp(argv[1], "gone") == 0) return WatchTip(false, static_cast<DWORD>(atoi(argv[2])), argv[3]);
    fprintf(stderr, "usage: row_probe rows OUTFILE | tip MS OUTFILE | gone MS OUTFILE\n");
    return 2;
}
