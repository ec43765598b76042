// wm_close: asks a running marrowby to close, as the close box would.
//
//   wm_close [process-id [window-class]]
//
// Posts WM_CLOSE to every top-level window of the class (default
// "Tessaline", marrowby's main window) that belongs to the process (0 or
// none: any process) on the caller's desktop. Exit code 0 when at least one
// window was asked, 1 when none was found, 2 on a bad argument.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

namespace {

struct Search {
    DWORD processId;
    const char* windowClass;
    int posted;
};

BOOL CALLBACK CloseMatching(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    char name[256] = "";
    GetClassNameA(window, name, sizeof(name));
    if (strcmp(name, search->windowClass) != 0) return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->processId != 0 && owner != search->processId) return TRUE;
    if (PostMessageA(window, WM_CLOSE, 0, 0)) ++search->posted;
    return TRUE;
}

}  // namespace

int main(int argc, char** argv)
{
    Search search = {0, "Tessaline", 0};
    if (argc > 1) {
        char* end = nullptr;
        unsigned long id = strtoul(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0') {
            fprintf(stderr, "usage: wm_close [process-id [window-class]]\n");
            return 2;
        }
        search.processId = static_cast<DWORD>(id);
    }
    if (argc > 2) search.windowClass = argv[2];
    EnumWindows(CloseMatching, reinterpret_cast<LPARAM>(&search));
    if (search.posted == 0) {
        fprintf(stderr, "wm_close: no window of class %s found\n", search.windowClass);
        return 1;
    }
    return 0;
}
