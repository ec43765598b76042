// Helpers of the tests that run a program as a user does: Windows paths from
// the test environment, fresh folders, files, starting and awaiting a
// process, and the pixels of the screen.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>
#include <windows.h>

// The environment variable's path (Z:/...) with backslashes and one
// trailing backslash.
std::string WindowsPath(const char* name);
// Creates every folder of path (which ends in a backslash).
void MakeFolders(const std::string& path);
// The folder path, created, with the files of an earlier run deleted.
std::string FreshFolder(const std::string& path);

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Starts a program in folder; desktop null means the caller's own desktop.
// environment: extra NAME=value settings on top of this process's own.
HANDLE Launch(const std::string& commandLine, const std::string& folder, const char* desktop,
              DWORD* processId = nullptr, const std::vector<std::string>& environment = {});
// The exit code, or STILL_ACTIVE when the process did not end in time.
DWORD WaitForExit(HANDLE process, DWORD timeoutMs);

// True when the user's interface language is English (the English prefix).
bool EnglishUserInterface();
// "-en" there, else "": marks the screenshots of the English runs.
const char* ScreenshotSuffix();

// The whole screen of the caller's desktop, rows from the top.
struct ScreenPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB
};
void CaptureScreen(ScreenPixels* screen);
