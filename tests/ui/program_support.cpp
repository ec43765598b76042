#include "tests/ui/program_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

std::string WindowsPath(const char* name)
{
    const char* value = getenv(name);
    std::string path = value ? value : "";
    for (char& c : path)
        if (c == '/') c = '\\';
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

void MakeFolders(const std::string& path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
}

std::string FreshFolder(const std::string& path)
{
    MakeFolders(path);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((path + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return path;
}

std::string ReadWholeFile(const std::string& path)
{
    std::string bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return bytes;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, got);
    fclose(file);
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// This process's environment block with the settings added (a setting of
// the same name replaces the inherited one).
std::vector<char> EnvironmentBlock(const std::vector<std::string>& settings)
{
    std::vector<char> block;
    char* inherited = GetEnvironmentStringsA();
    for (const char* p = inherited; p && *p; p += strlen(p) + 1) {
        std::string entry = p;
        bool replaced = false;
        for (const std::string& setting : settings) {
            size_t name = setting.find('=');
            replaced = replaced || _strnicmp(entry.c_str(), setting.c_str(), name + 1) == 0;
        }
        if (!replaced) block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    }
    FreeEnvironmentStringsA(inherited);
    for (const std::string& setting : settings)
        block.insert(block.end(), setting.c_str(), setting.c_str() + setting.size() + 1);
    block.push_back('\0');
    return block;
}

}  // namespace

HANDLE Launch(const std::string& commandLine, const std::string& folder, const char* desktop, DWORD* processId,
              const std::vector<std::string>& environment)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.lpDesktop = const_cast<char*>(desktop);
    PROCESS_INFORMATION process = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    std::vector<char> block;
    if (!environment.empty()) block = EnvironmentBlock(environment);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, block.empty() ? nullptr : block.data(),
                        folder.c_str(), &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    if (processId) *processId = process.dwProcessId;
    return process.hProcess;
}

DWORD WaitForExit(HANDLE process, DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
    return code;
}

bool EnglishUserInterface()
{
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_ENGLISH;
}

const char* ScreenshotSuffix()
{
    return EnglishUserInterface() ? "-en" : "";
}

void CaptureScreen(ScreenPixels* screen)
{
    HDC display = GetDC(nullptr);
    screen->width = GetDeviceCaps(display, HORZRES);
    screen->height = GetDeviceCaps(display, VERTRES);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = screen->width;
    info.bmiHeader.biHeight = -screen->height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(display, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(display);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, screen->width, screen->height, display, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t* source = static_cast<const uint32_t*>(bits);
    screen->pixels.assign(source, source + static_cast<size_t>(screen->width) * screen->height);
    for (uint32_t& p : screen->pixels) p &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(dib);
    ReleaseDC(nullptr, display);
}
