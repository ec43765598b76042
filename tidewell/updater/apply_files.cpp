#include "tidewell/updater/apply_files.h"

#include <cstdio>
#include <cstring>

#include "common/bounded_text.h"
#include "common/sjis.h"

const char kStageFolderName[] = "~tidewell-update";

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The folder without its trailing separator, as the directory calls want it.
void WithoutSeparator(const char* folder, char (&out)[kStagePathSize])
{
    mw_text::Copy(out, folder);
    size_t length = std::strlen(out);
    if (length > 1 && IsSeparator(out[length - 1])) out[length - 1] = '\0';
}

bool IsDotName(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

}  // namespace

bool SetStageFolders(const char* install, StageFolders* folders)
{
    size_t length = std::strlen(install);
    if (length >= sizeof(folders->install)) return false;
    std::memcpy(folders->install, install, length + 1);
    if (length > 0 && !IsSeparator(install[length - 1])) return false;
    int root = std::snprintf(folders->root, sizeof(folders->root), "%s%s\\", install, kStageFolderName);
    std::snprintf(folders->fresh, sizeof(folders->fresh), "%snew\\", folders->root);
    std::snprintf(folders->aside, sizeof(folders->aside), "%sold\\", folders->root);
    return root > 0 && static_cast<size_t>(root) + 4 < sizeof(folders->root);
}

void CreateFoldersAlong(const char* path, bool whole)
{
    char part[kStagePathSize];
    size_t length = mw_text::Copy(part, path);
    for (size_t i = 0; i <= length; i += (i < length ? SjisCharLength(part + i) : 1)) {
        bool end = i == length;
        if (i == 0 || !(end ? whole : IsSeparator(part[i]))) continue;
        char saved = part[i];
        part[i] = '\0';
        CreateDirectoryA(part, nullptr);  // an existing folder or a drive fails harmlessly
        part[i] = saved;
    }
}

bool RemoveTree(const char* folder)
{
    char pattern[kStagePathSize];
    if (std::snprintf(pattern, sizeof(pattern), "%s*", folder) >= static_cast<int>(sizeof(pattern))) return false;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (IsDotName(found.cFileName)) continue;
            char path[kStagePathSize];
            std::snprintf(path, sizeof(path), "%s%s", folder, found.cFileName);
            DWORD attributes = found.dwFileAttributes;
            if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                DeleteFileA(path);
            } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                RemoveDirectoryA(path);  // the link alone, not what it points at
            } else {
                mw_text::Append(path, sizeof(path), "\\");
                RemoveTree(path);
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    char self[kStagePathSize];
    WithoutSeparator(folder, self);
    RemoveDirectoryA(self);
    return GetFileAttributesA(self) == INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FILETIME FileTimeOf(unsigned long long value)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}
