// Prints how long a 10,000-item list takes to read into the list control,
// to schedule once, to write back and to delete with every row selected, and
// the memory it occupies.
//   cmake/wine-run build/win64/bin/list_bench.exe [items [repeats]]
// With repeats it only reads and clears the list that many times, for a
// profiler.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "marrowby/app/download_list.h"
#include "marrowby/app/transfer_rate.h"
#include "marrowby/app/list_file.h"
#include "marrowby/app/settings.h"

namespace {

double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    // Wine leaves PrivateUsage at 0; the working set is the next best figure.
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.WorkingSetSize;
}

// Every record is complete or paused, so the pass walks the whole chain and
// starts nothing.
std::string MakeList(int items)
{
    std::string text = "; Created by bench\r\n";
    for (int i = 0; i < items; ++i) {
        char record[512];
        snprintf(record, sizeof(record),
                 ";\r\nRefererStr=http://referrer.example/page/%d.html\r\n"
                 "StoreIn=C:\\downloads\\folder%d\\\r\n_RemoteFileSize=%d\r\n_State=%d\r\n"
                 "Url=http://files.example/archive/%d/file-%d.zip\r\n",
                 i, i % 50, 1000 + i, 1 + i % 2, i, i);
        text += record;
    }
    return text;
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (message == WM_NOTIFY && HandleListNotify(reinterpret_cast<NMHDR*>(lParam), &result)) return result;
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateHost(HWND* list)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "MarrowbyListBench";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "bench", WS_OVERLAPPEDWINDOW, 0, 0, 640, 384, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    *list = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                            WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_OWNERDATA, 0, 0, 600, 300, window,
                            nullptr, wc.hInstance, nullptr);
    for (int i = 0; i < kListColumnCount; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 80;
        column.pszText = const_cast<char*>("c");
        SendMessageA(*list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    return window;
}

double ThreadCpuMs()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// Rows of running downloads that receive 4 KB every 50 ms each, updated as
// the job reports do it (a rate sample and the row invalidated), for the
// given time. Returns the GUI thread's CPU milliseconds per second.
double RunningRowsCpu(int rows, DWORD ms)
{
    for (int i = 0; i < rows; ++i) {
        DownloadItem* item = ItemOfRow(i);
        item->state = ItemState::Running;
        item->responded = true;
        item->size = 100000000;
        item->rowIcon = kIconReceiving;
        if (!PrepareItemRun(item)) return -1;
        ResetRate(*item->rate, GetTickCount(), 0);
    }
    double cpu = ThreadCpuMs();
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        for (int i = 0; i < rows; ++i) {
            DownloadItem* item = ItemOfRow(i);
            SetItemCount(item->downloaded, item->downloaded + 4096);
            AddRateSample(*item->rate, GetTickCount(), item->downloaded);
            RedrawRow(i);
        }
        ShowOverallProgress(false);
        Pump();
        Sleep(50);
    }
    double used = ThreadCpuMs() - cpu;
    for (int i = 0; i < rows; ++i) ItemOfRow(i)->state = ItemState::Paused;
    return used * 1000.0 / ms;
}

// Only reads and clears the list, repeats times: a profiler sees nothing
// else.
int ReadRepeatedly(HWND window, HWND list, const char* path, int repeats)
{
    SetDefaultSettings(&g_settings, "");
    AttachDownloadList(window, list);
    for (int i = 0; i < repeats; ++i) {
        double t0 = Seconds();
        double cpu = ThreadCpuMs();
        ReadListFile(path);
        double t1 = Seconds();
        cpu = ThreadCpuMs() - cpu;
        ClearList();
        printf("read into list     %.1f ms, %.1f ms CPU (clear %.1f ms)\n", (t1 - t0) * 1000.0, cpu,
               (Seconds() - t1) * 1000.0);
    }
    DeleteFileA(path);
    DestroyWindow(window);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int items = argc > 1 ? atoi(argv[1]) : 10000;
    char folder[MAX_PATH];
    GetTempPathA(sizeof(folder), folder);
    std::string in = std::string(folder) + "mw_list_bench_in.wrg";
    std::string out = std::string(folder) + "mw_list_bench_out.wrg";
    std::string text = MakeList(items);
    FILE* f = fopen(in.c_str(), "wb");
    if (f == nullptr) return 1;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);

    HWND list = nullptr;
    HWND window = CreateHost(&list);
    if (window == nullptr || list == nullptr) return 1;
    if (argc > 2) return ReadRepeatedly(window, list, in.c_str(), atoi(argv[2]));
    ShowWindow(window, SW_SHOW);
    SetDefaultSettings(&g_settings, "");
    g_settings.maxSimultaneous = 2;
    AttachDownloadList(window, list);
    SetListProductString("Marrowby/0.23 ( built on Tessaline )");

    SIZE_T before = PrivateBytes();
    double t0 = Seconds();
    ReadListFile(in.c_str());
    double t1 = Seconds();
    SIZE_T after = PrivateBytes();
    RunScheduler();
    double t2 = Seconds();
    WriteListFile(out.c_str());
    double t3 = Seconds();
    // As Ctrl+A leaves them: every row selected, the last one focused.
    LVITEMA selected = {};
    selected.stateMask = LVIS_SELECTED;
    selected.state = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&selected));
    selected.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    selected.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(items - 1), reinterpret_cast<LPARAM>(&selected));
    double t4 = Seconds();
    DeleteSelected();
    double t5 = Seconds();
    ReadListFile(in.c_str());
    double t6 = Seconds();
    ClearList();
    double t7 = Seconds();

    printf("items              %d (list file %zu bytes)\n", items, text.size());
    printf("read into list     %.1f ms\n", (t1 - t0) * 1000.0);
    printf("scheduling pass    %.3f ms\n", (t2 - t1) * 1000.0);
    printf("write list file    %.1f ms\n", (t3 - t2) * 1000.0);
    printf("delete all rows    %.1f ms (every row selected, the last focused)\n", (t5 - t4) * 1000.0);
    printf("clear list         %.1f ms\n", (t7 - t6) * 1000.0);
    printf("private memory     +%.1f MB for the list (%.0f bytes an item, items are %zu)\n",
           static_cast<double>(after - before) / 1048576.0, static_cast<double>(after - before) / items,
           sizeof(DownloadItem));
    // Drawing cost: 500 running rows in a window that shows many of them,
    // with every column and with the status, progress, speed and time-left
    // columns taken off.
    MoveWindow(window, 0, 0, 1200, 1000, TRUE);
    MoveWindow(list, 0, 0, 1180, 960, TRUE);
    for (int i = 0; i < 500; ++i) AddUrl("http://files.example/running.bin", nullptr, nullptr, nullptr);
    Pump();
    double withColumns = RunningRowsCpu(500, 3000);
    for (int column = kListColumnCount - 1; column >= kColumnStatus; --column)
        SendMessageA(list, LVM_DELETECOLUMN, static_cast<WPARAM>(column), 0);
    double withoutColumns = RunningRowsCpu(500, 3000);
    printf("500 running rows   %.1f ms CPU a second on the GUI thread (%.1f without the four new columns)\n",
           withColumns, withoutColumns);
    ClearList();
    DeleteFileA(in.c_str());
    DeleteFileA(out.c_str());
    DestroyWindow(window);
    return 0;
}
