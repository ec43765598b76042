#include "tests/ui/window_host.h"

#include <stdio.h>

#include <commctrl.h>

#include "marrowby/app/main_window.h"
#include "marrowby/app/settings.h"
#include "marrowby/app/settings_format.h"

int RecordNotice(const HostNotice* notice, void* context)
{
    auto* host = static_cast<WindowHost*>(context);
    RecordedNotice record = {notice->kind, notice->window, notice->path ? notice->path : "", "", ""};
    if (notice->kind == kNoticeMainWindowDestroyed) {
        record.settingsFile = ReadWholeFile(host->folder + "vorn.cfg");
        record.listFile = ReadWholeFile(host->listPath);
    }
    host->notices.push_back(record);
    return 0;
}

void PrepareHostFolder(WindowHost* host, const char* name)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    char folder[MAX_PATH];
    snprintf(folder, sizeof(folder), "%smarrowby-ui-%lu-%s\\", temp, GetCurrentProcessId(), name);
    CreateDirectoryA(folder, nullptr);
    for (const char* file : {"vorn.cfg", "test.wrg"})
        DeleteFileA((std::string(folder) + file).c_str());
    host->folder = folder;
    host->listPath = host->folder + "test.wrg";
    SetSettingsFolder(folder);
}

void WriteHostSettings(const WindowHost& host, bool autoStart, int32_t maxSimultaneous)
{
    ProgramSettings settings;
    SetDefaultSettings(&settings, host.folder.c_str());
    settings.autoStart = autoStart ? 1 : 0;
    settings.maxSimultaneous = maxSimultaneous;
    snprintf(settings.listPath, sizeof(settings.listPath), "%s", host.listPath.c_str());
    uint8_t bytes[kSettingsSize];
    EncodeSettings(settings, bytes);
    WriteWholeFile(host.folder + "vorn.cfg", std::string(reinterpret_cast<char*>(bytes), kSettingsSize));
}

int CreateHostWindow(WindowHost* host, bool quitOnDestroy)
{
    return CreateMainWindow(nullptr, GetModuleHandleA(nullptr), &host->window, &host->accelerators,
                            quitOnDestroy, RecordNotice, host);
}

void CloseHostWindow(WindowHost* host)
{
    if (MainWindow())
        DestroyWindow(MainWindow());
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT)
            DispatchMessageA(&msg);
    }
    SetSettingsFolder(nullptr);
    host->window = nullptr;
}

std::string ReadWholeFile(const std::string& path)
{
    std::string bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.append(buffer, got);
    fclose(file);
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int RowCount(HWND list)
{
    return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
}

std::string CellText(HWND list, int row, int column)
{
    char text[1200] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

int RowImage(HWND list, int row)
{
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return -1;
    return item.iImage;
}
