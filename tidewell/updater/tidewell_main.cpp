// tidewell.exe: the command line holds up to three quoted arguments; the
// start-up show command is not used.
#include <windows.h>

#include "tidewell/updater/updater_startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR commandLine, int /*showCommand*/)
{
    return RunUpdater(instance, commandLine);
}
