#include "marrowby/app/updater_launch.h"

#include <shellapi.h>

#include "marrowby/app/settings.h"
#include "marrowby/resources/resource.h"

namespace {

constexpr int kMessageSize = 256;

}  // namespace

void LaunchUpdater(HWND window)
{
    char folder[kProgramFolderSize];
    ProgramFolder(folder);
    HINSTANCE started = ShellExecuteA(nullptr, "open", "tidewell.exe", nullptr, folder, SW_SHOWNORMAL);
    // Results above 32 mean success.
    if (reinterpret_cast<INT_PTR>(started) > 32) {
        DestroyWindow(window);
        return;
    }
    char text[kMessageSize];
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    if (LoadStringA(instance, IDS_UPDATER_FAILED, text, sizeof(text)) <= 0) text[0] = '\0';
    MessageBoxA(window, text, nullptr, MB_OK);
}
