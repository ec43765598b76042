// Holds files open without sharing, as another program may hold them:
//   hold_files READY_EVENT RELEASE_EVENT FILE...
// opens every file, sets the ready event, waits for the release event (60 s
// at most), then closes them and ends. Exit code 0, or 2 when a file or an
// event could not be opened.
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc < 4) return 2;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
    if (!ready || !release) return 2;
    HANDLE files[8];
    int held = 0;
    for (int i = 3; i < argc && held < 8; ++i) {
        files[held] = CreateFileA(argv[i], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (files[held] == INVALID_HANDLE_VALUE) return 2;
        ++held;
    }
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    for (int i = 0; i < held; ++i) CloseHandle(files[i]);
    return 0;
}
