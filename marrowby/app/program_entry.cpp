#include "marrowby/app/program_entry.h"

#include <winsock2.h>
#include <ole2.h>
#include <commctrl.h>

#include "marrowby/app/handover.h"
#include "marrowby/app/handover_payload.h"
#include "marrowby/app/main_window.h"
#include "marrowby/dialogs/about_box.h"
#include "marrowby/dialogs/sheet_registry.h"
#include "marrowby/resources/resource.h"

namespace {

constexpr int kMessageSize = 256;

// Start-up failures are reported before any window exists: no owner.
void ShowStartupFailure(HINSTANCE instance, int textId)
{
    char text[kMessageSize];
    if (LoadStringA(instance, textId, text, kMessageSize) <= 0) text[0] = '\0';
    MessageBoxA(nullptr, text, nullptr, MB_OK);
}

// Only exactly version 2.0 counts, as the sockets code is written for it.
bool StartWinsock()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 0), &data) != 0) return false;
    if (data.wVersion != MAKEWORD(2, 0)) {
        WSACleanup();
        return false;
    }
    return true;
}

}  // namespace

void ProcessLoopMessage(MSG* message, HWND mainWindow, HACCEL accelerators)
{
    // The filter destroys a finished sheet with whatever message comes next,
    // which is often not the sheet's own: a download's report would be lost
    // with it. Only messages for windows that went with the sheet are
    // dropped; any other is offered to the remaining sheets and handled.
    int filtered;
    while ((filtered = FilterSheetMessage(message)) == 1) {
        if (message->hwnd != nullptr && !IsWindow(message->hwnd)) return;
    }
    if (filtered == 2 || HandleAboutBoxMessage(message)) return;
    // A key that makes a command still reaches its window (Ctrl+A selects
    // all rows and is also a key press in the list control).
    TranslateAcceleratorA(mainWindow, accelerators, message);
    TranslateMessage(message);
    DispatchMessageA(message);
}

int RunMessageLoop(HWND mainWindow, HACCEL accelerators)
{
    MSG message = {};
    // GetMessage gives -1 on an error, which ends the loop like WM_QUIT.
    while (GetMessageA(&message, nullptr, 0, 0) > 0) ProcessLoopMessage(&message, mainWindow, accelerators);
    return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}

namespace {

// Between Winsock's start and its clean-up: the main window and its loop.
// The program's own command line goes the way of a hand-over.
int RunMainWindow(HINSTANCE instance, const std::vector<uint8_t>& commandLine)
{
    HWND mainWindow = nullptr;
    HACCEL accelerators = nullptr;
    if (CreateMainWindow(nullptr, instance, &mainWindow, &accelerators, true, OnHostNotice, nullptr) != 0) {
        ShowStartupFailure(instance, IDS_INIT_FAILED);
        return 0;
    }
    ShowWindow(mainWindow, SW_SHOWNORMAL);
    MarkHandoverWindow(mainWindow);
    if (commandLine.size() > kHandoverFirstEntry) ApplyHandover(mainWindow, commandLine.data(), commandLine.size());
    return RunMessageLoop(mainWindow, accelerators);
}

}  // namespace

// A second start in the same program folder hands its command line to the
// running program and ends: exit code 0 when it was taken, else 1.
int ProgramEntry(HINSTANCE instance)
{
    std::vector<uint8_t> commandLine;
    CommandLinePayload(&commandLine);
    int claimed = ClaimInstanceOrHandOver(commandLine);
    if (claimed != 0) return claimed == 1 ? 0 : 1;
    CoInitialize(nullptr);
    OleInitialize(nullptr);
    InitCommonControls();
    int exitCode = 0;
    if (StartWinsock()) {
        exitCode = RunMainWindow(instance, commandLine);
        WSACleanup();
    } else {
        ShowStartupFailure(instance, IDS_WINSOCK_FAILED);
    }
    OleUninitialize();
    CoUninitialize();
    ReleaseProgramInstance();
    return exitCode;
}
