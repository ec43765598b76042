// Looks at a running marrowby from outside, for the soak run. Runs on the
// same desktop as marrowby's main window (class "Tessaline").
//
//   soak_probe drop URLFILE OUTFILE  drags each line of URLFILE onto the
//                                    window's list, one OLE drag and drop
//                                    each; OUTFILE then says "dropped N failed M"
//   soak_probe rows FIRST OUTFILE    writes rows FIRST.. of the list: state
//                                    icon, then the six columns, tab-separated
//   soak_probe watch OUTFILE MS FIRST  every MS milliseconds, until marrowby
//                                    ends or OUTFILE.stop exists, appends a
//                                    line: elapsed ms, handles, threads,
//                                    download worker threads, working set,
//                                    page file use, rows, and the count of
//                                    rows FIRST.. per state icon 0-5
//
// OUTFILE of drop and rows appears whole, once the work is done (the caller
// polls for it). Exit code 0, 1 when the window or the process was not
// found or a drop failed, 2 on bad arguments.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>
#include <windows.h>
#include <winternl.h>
#include <commctrl.h>
#include <ole2.h>
#include <psapi.h>
#include <tlhelp32.h>

#include "tests/ui/test_data_object.h"

namespace {

constexpr int kColumns = 6;
constexpr int kIcons = 6;
constexpr size_t kCellSize = 1200;

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
FILE* OpenResult(const std::string& path)
{
    return fopen((path + ".part").c_str(), "wb");
}

void PublishResult(FILE* file, const std::string& path)
{
    fclose(file);
    MoveFileExA((path + ".part").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

HWND ListOf(HWND main)
{
    return FindWindowExA(main, nullptr, "SysListView32", nullptr);
}

// A drop source that lets go over the target once the drag has begun.
class DropAtOnce : public IDropSource {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IDropSource) || IsEqualIID(iid, IID_IUnknown)) {
            *object = static_cast<IDropSource*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD) override
    {
        if (escape) return DRAGDROP_S_CANCEL;
        return ++asked_ >= 3 ? DRAGDROP_S_DROP : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    int asked_ = 0;
};

int DropUrls(const char* urlFile, const char* outFile)
{
    HWND main = MainWindow();
    FILE* file = fopen(urlFile, "r");
    FILE* out = OpenResult(outFile);
    if (!main || !file || !out) return 1;
    RECT rows;
    GetWindowRect(ListOf(main), &rows);
    OleInitialize(nullptr);
    int failed = 0;
    int dropped = 0;
    char line[2048];
    while (fgets(line, sizeof(line), file)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] == '\0') continue;
        SetCursorPos((rows.left + rows.right) / 2, (rows.top + rows.bottom) / 2);
        TestDataObject data(line, true);
        DropAtOnce source;
        DWORD effect = DROPEFFECT_NONE;
        HRESULT result = DoDragDrop(&data, &source, DROPEFFECT_COPY | DROPEFFECT_LINK, &effect);
        if (result != DRAGDROP_S_DROP || effect != DROPEFFECT_LINK) {
            fprintf(stderr, "soak_probe: drop of %s: result 0x%lx effect %lu\n", line,
                    static_cast<unsigned long>(result), static_cast<unsigned long>(effect));
            ++failed;
        } else {
            ++dropped;
        }
    }
    fclose(file);
    OleUninitialize();
    fprintf(out, "dropped %d failed %d\n", dropped, failed);
    PublishResult(out, outFile);
    return failed ? 1 : 0;
}

// The list control's rows live in marrowby's process: the request and the
// text buffer are placed there.
struct RemoteRow {
    HANDLE process;
    HWND list;
    char* remote;  // an LVITEMA followed by the text buffer
};

bool OpenRemote(HWND main, RemoteRow* row, DWORD* processId)
{
    row->list = ListOf(main);
    GetWindowThreadProcessId(main, processId);
    row->process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE,
                    FALSE, *processId);
    if (!row->process || !row->list) return false;
    row->remote = static_cast<char*>(
        VirtualAllocEx(row->process, nullptr, sizeof(LVITEMA) + kCellSize, MEM_COMMIT, PAGE_READWRITE));
    return row->remote != nullptr;
}

// The row's state icon, and the cell's text when text is given.
int ReadCell(const RemoteRow& row, int index, int column, char* text)
{
    LVITEMA item = {};
    item.mask = column == 0 ? (LVIF_IMAGE | LVIF_TEXT) : LVIF_TEXT;
    item.iItem = index;
    item.iSubItem = column;
    item.pszText = row.remote + sizeof(LVITEMA);
    item.cchTextMax = kCellSize;
    if (!text) item.mask = LVIF_IMAGE;
    SIZE_T moved = 0;
    WriteProcessMemory(row.process, row.remote, &item, sizeof(item), &moved);
    if (!SendMessageA(row.list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(row.remote))) return -1;
    ReadProcessMemory(row.process, row.remote, &item, sizeof(item), &moved);
    if (text) {
        ReadProcessMemory(row.process, row.remote + sizeof(LVITEMA), text, kCellSize, &moved);
        text[kCellSize - 1] = '\0';
    }
    return item.iImage;
}

void CloseRemote(RemoteRow* row)
{
    if (row->remote) VirtualFreeEx(row->process, row->remote, 0, MEM_RELEASE);
    if (row->process) CloseHandle(row->process);
    *row = RemoteRow();
}

int RowCount(const RemoteRow& row)
{
    return static_cast<int>(SendMessageA(row.list, LVM_GETITEMCOUNT, 0, 0));
}

int WriteRows(int first, const char* outFile)
{
    HWND main = MainWindow();
    RemoteRow row = {};
    DWORD processId = 0;
    if (!main || !OpenRemote(main, &row, &processId)) return 1;
    FILE* out = OpenResult(outFile);
    if (!out) {
        CloseRemote(&row);
        return 1;
    }
    char text[kCellSize];
    for (int i = first; i < RowCount(row); ++i) {
        int icon = ReadCell(row, i, 0, text);
        fprintf(out, "%d\t%s", icon, text);
        for (int column = 1; column < kColumns; ++column) {
            ReadCell(row, i, column, text);
            fprintf(out, "\t%s", text);
        }
        fputc('\n', out);
    }
    PublishResult(out, outFile);
    CloseRemote(&row);
    return 0;
}

// The system's handle table (GetProcessHandleCount is not answered by
// every Windows implementation): entries of the process.
struct HandleEntry {
    ULONG processId;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

int CountHandles(DWORD processId)
{
    constexpr ULONG kSystemHandleInformation = 16;
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(kSystemHandleInformation),
                                              buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<NTSTATUS>(0xC0000004L))
        buffer.resize(buffer.size() * 2);
    if (status != 0) return -1;
    ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    const HandleEntry* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(void*));
    int handles = 0;
    for (ULONG i = 0; i < count; ++i) handles += entries[i].processId == processId;
    return handles;
}

// Where a thread began: the threads that begin inside marrowby.exe, other
// than its window's thread, are the download workers (the system's own
// threads begin in its libraries).
bool StartsInside(DWORD threadId, const MODULEINFO& image)
{
    constexpr THREADINFOCLASS kThreadQuerySetWin32StartAddress = static_cast<THREADINFOCLASS>(9);
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (!thread) return false;
    void* start = nullptr;
    NTSTATUS status =
        NtQueryInformationThread(thread, kThreadQuerySetWin32StartAddress, &start, sizeof(start), nullptr);
    CloseHandle(thread);
    char* base = static_cast<char*>(image.lpBaseOfDll);
    return status == 0 && start >= base && start < base + image.SizeOfImage;
}

struct ThreadCount {
    int all;
    int workers;
};

ThreadCount CountThreads(HANDLE process, DWORD processId, DWORD windowThread)
{
    ThreadCount count = {-1, -1};
    HMODULE module = nullptr;
    DWORD needed = 0;
    MODULEINFO image = {};
    if (!EnumProcessModules(process, &module, sizeof(module), &needed) ||
        !GetModuleInformation(process, module, &image, sizeof(image)))
        return count;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return count;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    count = {0, 0};
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId) continue;
        ++count.all;
        count.workers += entry.th32ThreadID != windowThread && StartsInside(entry.th32ThreadID, image);
    }
    CloseHandle(snapshot);
    return count;
}

int Watch(const char* outFile, DWORD intervalMs, int first)
{
    HWND main = MainWindow();
    RemoteRow row = {};
    DWORD processId = 0;
    if (!main || !OpenRemote(main, &row, &processId)) return 1;
    std::string stopFile = std::string(outFile) + ".stop";
    DWORD windowThread = GetWindowThreadProcessId(main, nullptr);
    DWORD start = GetTickCount();
    while (WaitForSingleObject(row.process, intervalMs) == WAIT_TIMEOUT &&
           GetFileAttributesA(stopFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ThreadCount threads = CountThreads(row.process, processId, windowThread);
        PROCESS_MEMORY_COUNTERS_EX memory = {};
        GetProcessMemoryInfo(row.process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory));
        int icons[kIcons] = {};
        int rows = RowCount(row);
        for (int i = first; i < rows; ++i) {
            int icon = ReadCell(row, i, 0, nullptr);
            if (icon >= 0 && icon < kIcons) ++icons[icon];
        }
        FILE* out = fopen(outFile, "ab");
        if (!out) break;
        fprintf(out, "%lu %d %d %d %llu %llu %d", static_cast<unsigned long>(GetTickCount() - start),
                CountHandles(processId), threads.all, threads.workers,
                static_cast<unsigned long long>(memory.WorkingSetSize),
                static_cast<unsigned long long>(memory.PagefileUsage), rows);
        for (int icon : icons) fprintf(out, " %d", icon);
        fputc('\n', out);
        fclose(out);
    }
    CloseRemote(&row);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], "drop") == 0) return DropUrls(argv[2], argv[3]);
    if (argc == 4 && strcmp(argv[1], "rows") == 0) return WriteRows(atoi(argv[2]), argv[3]);
    if (argc == 5 && strcmp(argv[1], "watch") == 0)
        return Watch(argv[2], static_cast<DWORD>(atoi(argv[3])), atoi(argv[4]));
    fprintf(stderr, "usage: soak_probe drop URLFILE OUTFILE | rows FIRST OUTFILE | watch OUTFILE MS FIRST\n");
    return 2;
}
