// The settings record in memory and in "vorn.cfg".
#include "marrowby/app/settings.h"

#include <string.h>
#include <windows.h>

#include "marrowby/app/atomic_file.h"

ProgramSettings g_settings;

namespace {

constexpr DWORD kModulePathSize = 772;
bool g_settingsLoaded = false;
char g_settingsFolder[kProgramFolderSize];  // empty: the program folder

bool IsLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Length of the drive and folder part of path, up to and including its last
// separator (a separator that is the second byte of a character does not count).
size_t FolderPartLength(const char* path) {
    size_t keep = 0;
    for (size_t i = 0; path[i] != '\0'; ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsLeadByte(c) && path[i + 1] != '\0') {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/') keep = i + 1;
    }
    if (keep == 0 && path[0] != '\0' && path[1] == ':') keep = 2;
    return keep;
}

}  // namespace

void ProgramFolder(char* out) {
    out[0] = '\0';
    char modulePath[kModulePathSize + 1];
    DWORD length = GetModuleFileNameA(nullptr, modulePath, kModulePathSize);
    if (length == 0 || length >= kModulePathSize) return;
    modulePath[length] = '\0';
    size_t keep = FolderPartLength(modulePath);
    // A folder that does not fit is left empty rather than cut to another one.
    if (keep + 2 > kProgramFolderSize) return;
    memcpy(out, modulePath, keep);
    out[keep] = '\0';
    if (keep == 0 || (out[keep - 1] != '\\' && out[keep - 1] != '/')) {
        out[keep] = '\\';
        out[keep + 1] = '\0';
    }
}

void SetSettingsFolder(const char* folder) {
    g_settingsFolder[0] = '\0';
    if (folder == nullptr) return;
    size_t length = strlen(folder);
    if (length + 2 > sizeof(g_settingsFolder)) return;
    memcpy(g_settingsFolder, folder, length + 1);
    if (length > 0 && folder[length - 1] != '\\' && folder[length - 1] != '/') {
        g_settingsFolder[length] = '\\';
        g_settingsFolder[length + 1] = '\0';
    }
}

void SettingsFilePath(char* out, size_t capacity) {
    char folder[kProgramFolderSize];
    if (g_settingsFolder[0] != '\0') {
        memcpy(folder, g_settingsFolder, sizeof(folder));
    } else {
        ProgramFolder(folder);
    }
    if (capacity == 0) return;
    out[0] = '\0';
    if (strlen(folder) + sizeof("vorn.cfg") <= capacity) {
        strcpy(out, folder);
        strcat(out, "vorn.cfg");
    }
}

void LoadSettings() {
    char path[kProgramFolderSize + 16];
    SettingsFilePath(path, sizeof(path));
    uint8_t data[kSettingsSize];
    bool accepted = false;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD got = 0;
        if (ReadFile(file, data, sizeof(data), &got, nullptr) && got == sizeof(data)) {
            accepted = DecodeSettings(data, got, &g_settings) == 0;
        }
        CloseHandle(file);
    }
    if (!accepted) {
        char folder[kProgramFolderSize];
        ProgramFolder(folder);
        SetDefaultSettings(&g_settings, folder);
    }
    g_settingsLoaded = true;
}

bool SettingsLoaded() {
    return g_settingsLoaded;
}

int SaveSettings() {
    if (!g_settingsLoaded) return 4;
    char path[kProgramFolderSize + 16];
    SettingsFilePath(path, sizeof(path));
    AtomicFile file;
    if (BeginAtomicFile(&file, path) != 0) return 1;
    memcpy(g_settings.magic, "VORN", 4);
    uint8_t data[kSettingsSize];
    EncodeSettings(g_settings, data);
    int written = WriteAtomicFile(&file, data, sizeof(data));
    int committed = CommitAtomicFile(&file);
    if (written != 0) return written;
    return committed == 0 ? 0 : 2;
}
