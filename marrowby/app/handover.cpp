#include "marrowby/app/handover.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "marrowby/app/download_list.h"
#include "marrowby/app/handover_payload.h"
#include "marrowby/app/list_commands.h"
#include "marrowby/app/list_file.h"
#include "marrowby/app/settings.h"
#include "marrowby/resources/resource.h"

namespace {

constexpr size_t kInstanceNameSize = 48;
constexpr DWORD kFindWindowMs = 30000;  // the first one may still be starting
constexpr DWORD kAnswerMs = 10000;

HANDLE g_instance;
std::vector<std::vector<uint8_t>> g_pending;

// "Marrowby-" and a hash of the program folder: copies in other folders have
// their own settings and lists, and run on their own.
void InstanceName(char out[kInstanceNameSize])
{
    char folder[kProgramFolderSize];
    ProgramFolder(folder);
    CharUpperBuffA(folder, static_cast<DWORD>(strlen(folder)));
    uint32_t hash = 2166136261u;
    for (const char* p = folder; *p != '\0'; ++p) hash = (hash ^ static_cast<uint8_t>(*p)) * 16777619u;
    snprintf(out, kInstanceNameSize, "Marrowby-%08X", static_cast<unsigned>(hash));
}

struct WindowSearch {
    const char* mark;
    HWND found;
};

BOOL CALLBACK FindMarkedWindow(HWND window, LPARAM lParam)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    char className[16];
    if (GetClassNameA(window, className, sizeof(className)) > 0 && strcmp(className, "Tessaline") == 0 &&
        GetPropA(window, search->mark) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

int SendPayload(HWND window, const std::vector<uint8_t>& payload)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    AllowSetForegroundWindow(processId);  // the running one comes to the front
    COPYDATASTRUCT data = {};
    data.dwData = kHandoverDataId;
    data.cbData = static_cast<DWORD>(payload.size());
    data.lpData = const_cast<uint8_t*>(payload.data());
    DWORD_PTR answer = 0;
    LRESULT sent = SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                                       kAnswerMs, &answer);
    return sent != 0 && answer == TRUE ? 1 : 2;
}

}  // namespace

void CommandLinePayload(std::vector<uint8_t>* payload)
{
    BeginHandover(payload);
    for (const CommandLineItem& item : ReadCommandLineItems(__argc, __argv)) {
        if (item.kind != kHandoverImport) {
            AddHandoverEntry(payload, item.kind, item.text);
            continue;
        }
        char path[kHandoverPathMax + 1];
        DWORD length = GetFullPathNameA(item.text, sizeof(path), path, nullptr);
        if (length > 0 && length < sizeof(path)) AddHandoverEntry(payload, kHandoverImport, path);
    }
}

int ClaimInstanceOrHandOver(const std::vector<uint8_t>& payload)
{
    char name[kInstanceNameSize];
    InstanceName(name);
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name);
    if (mutex == nullptr) return 0;  // no instance to share: run on its own
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        g_instance = mutex;
        return 0;
    }
    int result = 2;
    for (DWORD start = GetTickCount(); GetTickCount() - start < kFindWindowMs;) {
        WindowSearch search = {name, nullptr};
        EnumWindows(FindMarkedWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            result = SendPayload(search.found, payload);
            break;
        }
        // The running one ended before its window could be found: this one
        // takes over.
        DWORD waited = WaitForSingleObject(mutex, 100);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
            g_instance = mutex;
            return 0;
        }
    }
    CloseHandle(mutex);
    return result;
}

void MarkHandoverWindow(HWND mainWindow)
{
    char name[kInstanceNameSize];
    InstanceName(name);
    SetPropA(mainWindow, name, reinterpret_cast<HANDLE>(1));
}

void ReleaseProgramInstance()
{
    if (g_instance == nullptr) return;
    ReleaseMutex(g_instance);
    CloseHandle(g_instance);
    g_instance = nullptr;
}

LRESULT ReceiveHandover(HWND window, const COPYDATASTRUCT* data)
{
    if (data == nullptr || data->dwData != kHandoverDataId || data->lpData == nullptr) return FALSE;
    const uint8_t* bytes = static_cast<const uint8_t*>(data->lpData);
    if (CheckHandover(bytes, data->cbData) != 0) return FALSE;
    // The data lives only during this call, and the sender waits: it is kept
    // and applied once the sender has its answer.
    g_pending.emplace_back(bytes, bytes + data->cbData);
    PostMessageA(window, WM_HANDOVER_PENDING, 0, 0);
    return TRUE;
}

void ApplyPendingHandovers(HWND window)
{
    std::vector<std::vector<uint8_t>> pending;
    pending.swap(g_pending);
    for (const std::vector<uint8_t>& payload : pending) ApplyHandover(window, payload.data(), payload.size());
}

int ApplyHandover(HWND window, const uint8_t* data, size_t size)
{
    if (CheckHandover(data, size) != 0) return 0;
    int added = 0;
    for (size_t at = kHandoverFirstEntry; at < size;) {
        HandoverEntry entry;
        at = ReadHandoverEntry(data, size, at, &entry);
        if (!entry.usable) continue;
        if (entry.kind == kHandoverUrl) {
            if (AddUrl(entry.text, nullptr, nullptr, nullptr) == 0) ++added;
        } else {
            // As the menu's import: a list with an overlong address was
            // read all the same.
            int imported = ImportUrlList(entry.text);
            if (imported == 1) ShowFileMessage(window, IDS_LIST_OPEN_FAILED, entry.text);
            if (imported == 2) ShowFileMessage(window, IDS_URL_TOO_LONG, entry.text);
        }
    }
    if (g_settings.autoStart != 0) RunScheduler();
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    // A sheet the user was filling in comes back in front of the list, not
    // behind it.
    SetForegroundWindow(GetLastActivePopup(window));
    return added;
}

void DropPendingHandovers()
{
    g_pending.clear();
}
