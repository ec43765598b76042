// marrowby.exe [URL...] [/import FILE]: the program entry reads the command
// line itself. The start-up show command is not used: the window is always
// shown normally.
#include "marrowby/app/program_entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*showCommand*/)
{
    return ProgramEntry(instance);
}
