// Stands in for tidewell.exe in the test of the updater launch: writes its
// working folder and its command-line arguments, one a line, to
// "updater-started.txt" in the working folder, and ends.
#include <stdio.h>
#include <windows.h>

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR arguments, int /*show*/)
{
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(folder), folder);
    FILE* file = fopen("updater-started.txt", "wb");
    if (!file) return 1;
    fprintf(file, "%s\n%s\n", folder, arguments ? arguments : "");
    fclose(file);
    return 0;
}
