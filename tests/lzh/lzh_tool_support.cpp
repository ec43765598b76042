#include "tests/lzh/lzh_tool_support.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <fcntl.h>
#endif

#include "tests/support/tool_run.h"

namespace {

const uint64_t kUnixEpoch = 116444736000000000ull;

}  // namespace

std::string Native(std::string path)
{
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
}

bool HostProgramExists(const std::string& name)
{
#ifdef _WIN32
    (void)name;
    return false;
#else
    return RunTool("sh", "-c " + Quote("command -v " + name)).status == 0;
#endif
}

bool FileTimes(const std::string& path, uint64_t* lastWrite, uint64_t* lastAccess)
{
#ifdef _WIN32
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME access, write;
    BOOL ok = GetFileTime(h, nullptr, &access, &write);
    CloseHandle(h);
    *lastWrite = uint64_t(write.dwHighDateTime) << 32 | write.dwLowDateTime;
    *lastAccess = uint64_t(access.dwHighDateTime) << 32 | access.dwLowDateTime;
    return ok != 0;
#else
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return false;
    *lastWrite = kUnixEpoch + uint64_t(info.st_mtim.tv_sec) * 10000000ull + uint64_t(info.st_mtim.tv_nsec) / 100;
    *lastAccess = kUnixEpoch + uint64_t(info.st_atim.tv_sec) * 10000000ull + uint64_t(info.st_atim.tv_nsec) / 100;
    return true;
#endif
}

bool SetLastWriteTime(const std::string& path, uint64_t lastWrite)
{
#ifdef _WIN32
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME write = {DWORD(lastWrite & 0xFFFFFFFFu), DWORD(lastWrite >> 32)};
    BOOL ok = SetFileTime(h, nullptr, nullptr, &write);
    CloseHandle(h);
    return ok != 0;
#else
    const uint64_t ticks = lastWrite - kUnixEpoch;
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(ticks / 10000000);
    times[1].tv_nsec = long(ticks % 10000000 * 100);
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
#endif
}

bool MakeDirectory(const std::string& path)
{
#ifdef _WIN32
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
#else
    return mkdir(path.c_str(), 0777) == 0;
#endif
}
