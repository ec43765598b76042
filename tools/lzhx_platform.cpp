#include "tools/lzhx_platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <new>

#ifdef _WIN32

const char kLzhxSeparator = '\\';

struct LzhxOutput {
    HANDLE handle;
};

int LzhxMakeDirectory(const char* path)
{
    return CreateDirectoryA(path, nullptr) ? 0 : 1;
}

bool LzhxIsDirectory(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

LzhxOutput* LzhxCreate(const char* path)
{
    DeleteFileA(path);
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    LzhxOutput* out = new (std::nothrow) LzhxOutput{handle};
    if (!out) CloseHandle(handle);
    return out;
}

int LzhxWrite(LzhxOutput* out, const uint8_t* data, size_t length)
{
    DWORD written = 0;
    if (!WriteFile(out->handle, data, DWORD(length), &written, nullptr) || written != length) return 1;
    return 0;
}

static FILETIME ToFileTime(uint64_t value)
{
    FILETIME time;
    time.dwLowDateTime = DWORD(value & 0xFFFFFFFFu);
    time.dwHighDateTime = DWORD(value >> 32);
    return time;
}

int LzhxFinish(LzhxOutput* out, uint64_t creation, uint64_t lastAccess, uint64_t lastWrite)
{
    // A zero time leaves that time as the system set it.
    FILETIME c = ToFileTime(creation), a = ToFileTime(lastAccess), w = ToFileTime(lastWrite);
    BOOL ok = TRUE;
    if (creation || lastAccess || lastWrite)
        ok = SetFileTime(out->handle, creation ? &c : nullptr, lastAccess ? &a : nullptr, lastWrite ? &w : nullptr);
    CloseHandle(out->handle);
    delete out;
    return ok ? 0 : 1;
}

void LzhxAbandon(LzhxOutput* out)
{
    CloseHandle(out->handle);
    delete out;
}

int LzhxRemove(const char* path)
{
    return DeleteFileA(path) ? 0 : 1;
}

#else

const char kLzhxSeparator = '/';

struct LzhxOutput {
    int fd;
};

int LzhxMakeDirectory(const char* path)
{
    return mkdir(path, 0777) == 0 ? 0 : 1;
}

bool LzhxIsDirectory(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

LzhxOutput* LzhxCreate(const char* path)
{
    unlink(path);
    // O_EXCL: after the unlink nothing may stand at the path, not even a
    // link planted to send the write elsewhere.
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_NOFOLLOW, 0666);
    if (fd < 0) return nullptr;
    LzhxOutput* out = new (std::nothrow) LzhxOutput{fd};
    if (!out) close(fd);
    return out;
}

int LzhxWrite(LzhxOutput* out, const uint8_t* data, size_t length)
{
    while (length > 0) {
        ssize_t n = write(out->fd, data, length);
        if (n <= 0) return 1;
        data += n;
        length -= size_t(n);
    }
    return 0;
}

// Windows file time (100 ns since 1601) to a Unix time stamp.
static timespec ToTimespec(uint64_t value)
{
    const uint64_t kUnixEpoch = 116444736000000000ull;
    timespec time;
    if (value == 0) {
        time.tv_sec = 0;
        time.tv_nsec = UTIME_OMIT;
        return time;
    }
    int64_t ticks = int64_t(value - kUnixEpoch);  // before 1970 comes out negative
    int64_t seconds = ticks / 10000000;
    int64_t rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        seconds--;
    }
    time.tv_sec = time_t(seconds);
    time.tv_nsec = long(rest * 100);
    return time;
}

int LzhxFinish(LzhxOutput* out, uint64_t creation, uint64_t lastAccess, uint64_t lastWrite)
{
    (void)creation;  // the host keeps no settable creation time
    timespec times[2] = {ToTimespec(lastAccess), ToTimespec(lastWrite)};
    int result = 0;
    if (lastAccess || lastWrite) result = futimens(out->fd, times) == 0 ? 0 : 1;
    if (close(out->fd) != 0) result = 1;
    delete out;
    return result;
}

void LzhxAbandon(LzhxOutput* out)
{
    close(out->fd);
    delete out;
}

int LzhxRemove(const char* path)
{
    return unlink(path) == 0 ? 0 : 1;
}

#endif
