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
//   row_probe menu MS OUTFILE     waits up to MS for a visible pop-up menu
//                                 of marrowby's; "menu" and "rect L T R B",
//                                 or "none"
//   row_probe size W H OUTFILE    sizes the main window W by H pixels (as a
//                                 drag of its frame would); "sized"
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

struct WindowSearch {
    DWORD processId;
    const char* windowClass;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = "";
    GetClassNameA(window, name, sizeof(name));
    if (owner == search->processId && strcmp(name, search->windowClass) == 0 && IsWindowVisible(window))
        search->found.push_back(window);
    return TRUE;
}

HWND VisibleWindow(DWORD processId, const char* windowClass)
{
    WindowSearch search = {processId, windowClass, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found.empty() ? nullptr : search.found[0];
}

std::string RectLine(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    char line[96];
    snprintf(line, sizeof(line), "rect %ld %ld %ld %ld\n", static_cast<long>(rect.left), static_cast<long>(rect.top),
             static_cast<long>(rect.right), static_cast<long>(rect.bottom));
    return line;
}

std::string TipLines(HWND tip)
{
    char text[kCellSize] = "";
    DWORD_PTR length = 0;
    SendMessageTimeoutA(tip, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &length);
    text[kCellSize - 1] = '\0';
    return std::string("tip ") + text + "\n" + RectLine(tip);
}

// Waits until a window of the class is visible (wanted) or none is, up to ms.
HWND WatchWindow(DWORD processId, const char* windowClass, bool wanted, DWORD ms)
{
    for (DWORD start = GetTickCount();; Sleep(50)) {
        HWND window = VisibleWindow(processId, windowClass);
        if ((window != nullptr) == wanted || GetTickCount() - start > ms) return window;
    }
}

int Watch(const char* what, DWORD ms, const std::string& outFile)
{
    HWND main = MainWindow();
    if (!main) return 1;
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    if (strcmp(what, "menu") == 0) {
        HWND menu = WatchWindow(processId, "#32768", true, ms);
        Publish(menu ? "menu\n" + RectLine(menu) : "none\n", outFile);
        return 0;
    }
    bool wanted = strcmp(what, "tip") == 0;
    HWND tip = WatchWindow(processId, TOOLTIPS_CLASSA, wanted, ms);
    Publish(tip ? TipLines(tip) : wanted ? "none\n" : "gone\n", outFile);
    return 0;
}

int SizeMain(int width, int height, const std::string& outFile)
{
    HWND main = MainWindow();
    if (!main || !SetWindowPos(main, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
        return 1;
    Publish("sized\n", outFile);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* command = argc > 1 ? argv[1] : "";
    if (argc == 3 && strcmp(command, "rows") == 0) return WriteRows(argv[2]);
    bool watch = strcmp(command, "tip") == 0 || strcmp(command, "gone") == 0 || strcmp(command, "menu") == 0;
    if (argc == 4 && watch) return Watch(command, static_cast<DWORD>(atoi(argv[2])), argv[3]);
    if (argc == 5 && strcmp(command, "size") == 0) return SizeMain(atoi(argv[2]), atoi(argv[3]), argv[4]);
    fprintf(stderr, "usage: row_probe rows OUTFILE | tip|gone|menu MS OUTFILE | size W H OUTFILE\n");
    return 2;
}
