#include "tools/publish_pack_platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

#include <cstring>

#ifdef _WIN32

const char kPackSeparator = '\\';

bool PackIsSeparator(char c)
{
    return c == '\\' || c == '/';
}

static uint64_t FromFileTime(const FILETIME& time)
{
    return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

int PackQuery(const char* path, PackFileInfo* info)
{
    // Directories open only with backup semantics; nothing is read.
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 1;
    BY_HANDLE_FILE_INFORMATION data;
    BOOL ok = GetFileInformationByHandle(handle, &data);
    CloseHandle(handle);
    if (!ok) return 1;
    info->isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info->size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    info->creationTime = FromFileTime(data.ftCreationTime);
    info->lastAccessTime = FromFileTime(data.ftLastAccessTime);
    info->lastWriteTime = FromFileTime(data.ftLastWriteTime);
    info->volume = data.dwVolumeSerialNumber;
    info->index = uint64_t(data.nFileIndexHigh) << 32 | data.nFileIndexLow;
    return 0;
}

int PackListDirectory(const char* path, void (*found)(void* context, const char* name), void* context)
{
    char pattern[MAX_PATH + 4];
    const size_t length = std::strlen(path);
    if (length + 3 > sizeof pattern) return 1;
    std::memcpy(pattern, path, length);
    std::memcpy(pattern + length, "\\*", 3);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return 1;
    do {
        if (std::strcmp(entry.cFileName, ".") != 0 && std::strcmp(entry.cFileName, "..") != 0)
            found(context, entry.cFileName);
    } while (FindNextFileA(search, &entry));
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return complete ? 0 : 1;
}

#else

const char kPackSeparator = '/';

bool PackIsSeparator(char c)
{
    return c == '/';
}

// A Unix time stamp to a Windows file time.
static uint64_t ToFileTime(const timespec& time)
{
    const int64_t kUnixEpoch = 116444736000000000ll;
    return uint64_t(kUnixEpoch + int64_t(time.tv_sec) * 10000000 + time.tv_nsec / 100);
}

int PackQuery(const char* path, PackFileInfo* info)
{
    struct stat data;
    if (stat(path, &data) != 0) return 1;
    info->isDirectory = S_ISDIR(data.st_mode);
    info->size = uint64_t(data.st_size);
    // The host keeps no creation time: the last write stands in for it.
    info->lastWriteTime = ToFileTime(data.st_mtim);
    info->lastAccessTime = ToFileTime(data.st_atim);
    info->creationTime = info->lastWriteTime;
    info->volume = uint64_t(data.st_dev);
    info->index = uint64_t(data.st_ino);
    return 0;
}

int PackListDirectory(const char* path, void (*found)(void* context, const char* name), void* context)
{
    DIR* dir = opendir(path);
    if (!dir) return 1;
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            found(context, entry->d_name);
    }
    closedir(dir);
    return 0;
}

#endif
