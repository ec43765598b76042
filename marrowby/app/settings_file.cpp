// The settings record in memory and in "vorn.cfg".
#include "marrowby/app/settings.h"

#include <string.h>
#include <windows.h>

#include "common/atomic_file.h"
#include "marrowby/app/list_format.h"

ProgramSettings g_settings;
ExtraSettings g_extraSettings;

namespace {

constexpr DWORD kModulePathSize = 772;
constexpr size_t kSettingsPathSize = kProgramFolderSize + sizeof("vorn.cfg");
bool g_settingsLoaded = false;
char g_settingsFolder[kProgramFolderSize];  // empty: the program folder

// Adds a backslash unless text (length bytes, with room for two more) already
// ends in a separator; a double-byte character ending in 0x5C is not one.
void EndWithSeparator(char* text, size_t length)
{
    bool separated = length > 0 && ListBaseName(text) == text + length && text[length - 1] != ':';
    if (separated) return;
    text[length] = '\\';
    text[length + 1] = '\0';
}

}  // namespace

void ProgramFolder(char* out)
{
    out[0] = '\0';
    char modulePath[kModulePathSize + 1];
    DWORD length = GetModuleFileNameA(nullptr, modulePath, kModulePathSize);
    if (length == 0 || length >= kModulePathSize) return;
    modulePath[length] = '\0';
    size_t keep = static_cast<size_t>(ListBaseName(modulePath) - modulePath);
    // A folder that does not fit is left empty rather than cut to another one.
    if (keep + 2 > kProgramFolderSize) return;
    memcpy(out, modulePath, keep);
    out[keep] = '\0';
    EndWithSeparator(out, keep);
}

void SetSettingsFolder(const char* folder)
{
    g_settingsFolder[0] = '\0';
    if (folder == nullptr || folder[0] == '\0') return;
    size_t length = strlen(folder);
    if (length + 2 > sizeof(g_settingsFolder)) return;
    memcpy(g_settingsFolder, folder, length + 1);
    EndWithSeparator(g_settingsFolder, length);
}

void SettingsFilePath(char* out, size_t capacity)
{
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

void LoadSettings()
{
    char path[kSettingsPathSize];
    SettingsFilePath(path, sizeof(path));
    uint8_t data[kSettingsSize + kSettingsBlockMaxSize];
    bool accepted = false;
    SetDefaultExtraSettings(&g_extraSettings);
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD got = 0;
        if (ReadFile(file, data, sizeof(data), &got, nullptr) && got >= kSettingsSize) {
            accepted = DecodeSettings(data, got, &g_settings) == 0;
        }
        // The block belongs to the record before it: no record, no block.
        if (accepted) DecodeSettingsBlock(data + kSettingsSize, got - kSettingsSize, &g_extraSettings);
        CloseHandle(file);
    }
    char folder[kProgramFolderSize];
    ProgramFolder(folder);
    if (!accepted) {
        SetDefaultSettings(&g_settings, folder);
    } else if (g_settings.listPath[0] == '\0') {
        // Without a list file nothing would be read now or kept at exit.
        SetDefaultListPath(&g_settings, folder);
    }
    g_settingsLoaded = true;
}

bool SettingsLoaded()
{
    return g_settingsLoaded;
}

int SaveSettings()
{
    if (!g_settingsLoaded) return 4;
    char path[kSettingsPathSize];
    SettingsFilePath(path, sizeof(path));
    AtomicFile file;
    if (BeginAtomicFile(&file, path) != 0) return 1;
    memcpy(g_settings.magic, "VORN", 4);
    uint8_t data[kSettingsSize + kSettingsBlockMaxSize];
    EncodeSettings(g_settings, data);
    size_t length = kSettingsSize + EncodeSettingsBlock(g_extraSettings, data + kSettingsSize);
    WriteAtomicFile(&file, data, length);
    int committed = CommitAtomicFile(&file);
    return committed == 4 ? 2 : committed;  // a failed replacement is a failed write
}
