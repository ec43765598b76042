// Starts marrowby.exe on a list of many items and times it from outside:
// until every row is in its list view and the window answers, and from the
// close request until the process has saved the list and ended. Also the
// process's memory once the list is shown.
//   list_window_probe.exe MARROWBY.EXE ITEMS
// Prints "open_ms N", "close_ms N", "rows N", "memory_bytes N", and the
// process's CPU time (user and kernel) until the rows showed and from the
// close request to its end, "open_cpu_ms N" and "close_cpu_ms N": on a busy
// machine those vary far less than the times. Exit code 1 when marrowby did
// not show the rows or did not end in time.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace {

constexpr DWORD kTimeoutMs = 120000;

double Milliseconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double ProcessCpuMs(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

struct Found {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context)
{
    Found* found = reinterpret_cast<Found*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = "";
    GetClassNameA(window, name, sizeof(name));
    if (owner != found->processId || strcmp(name, "Tessaline") != 0 || !IsWindowVisible(window)) return TRUE;
    found->window = window;
    return FALSE;
}

int RowsShown(HWND window)
{
    HWND list = FindWindowExA(window, nullptr, WC_LISTVIEWA, nullptr);
    if (list == nullptr) return -1;
    DWORD_PTR rows = 0;
    if (!SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 5000, &rows)) return -1;
    return static_cast<int>(rows);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    int items = atoi(argv[2]);
    std::string program = argv[1];
    std::string folder = program.substr(0, program.find_last_of('\\') + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + program + "\"";
    double start = Milliseconds();
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &process))
        return 1;
    Found found = {process.dwProcessId, nullptr};
    int rows = -1;
    while (Milliseconds() - start < kTimeoutMs) {
        if (found.window == nullptr) EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&found));
        if (found.window != nullptr) rows = RowsShown(found.window);
        if (rows == items) break;
        Sleep(5);
    }
    // The window has drawn once it answers after its paint.
    DWORD_PTR ignored = 0;
    if (found.window != nullptr) {
        RedrawWindow(found.window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        SendMessageTimeoutA(found.window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
    }
    double opened = Milliseconds();
    double openCpu = ProcessCpuMs(process.hProcess);
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters));
    printf("rows %d\n", rows);
    printf("open_ms %.0f\n", opened - start);
    printf("memory_bytes %zu\n", static_cast<size_t>(counters.WorkingSetSize));
    printf("open_cpu_ms %.0f\n", openCpu);
    if (rows != items) {
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    double closing = Milliseconds();
    PostMessageA(found.window, WM_CLOSE, 0, 0);
    DWORD waited = WaitForSingleObject(process.hProcess, kTimeoutMs);
    double closed = Milliseconds();
    printf("close_ms %.0f\n", closed - closing);
    printf("close_cpu_ms %.0f\n", ProcessCpuMs(process.hProcess) - openCpu);
    fflush(stdout);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return waited == WAIT_OBJECT_0 ? 0 : 1;
}
