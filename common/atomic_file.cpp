// Write-then-rename replacement of a file.
#include "common/atomic_file.h"

#include <string.h>

namespace {

const char kTempSuffix[] = ".new";

}  // namespace

int BeginAtomicFile(AtomicFile* file, const char* path)
{
    file->handle = INVALID_HANDLE_VALUE;
    file->writeError = 0;
    file->path[0] = file->tempPath[0] = '\0';
    size_t length = path != nullptr ? strlen(path) : 0;
    if (length == 0 || length + sizeof(kTempSuffix) > sizeof(file->tempPath)) return 1;
    memcpy(file->path, path, length + 1);
    memcpy(file->tempPath, path, length);
    memcpy(file->tempPath + length, kTempSuffix, sizeof(kTempSuffix));
    // A read-only file is kept as it is, as Windows refuses to rename over
    // one; Wine would replace it.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return 1;
    file->handle = CreateFileA(file->tempPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return file->handle == INVALID_HANDLE_VALUE ? 1 : 0;
}

int WriteAtomicFile(AtomicFile* file, const void* data, size_t length)
{
    if (file->writeError != 0) return file->writeError;
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        DWORD chunk = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteFile(file->handle, bytes, chunk, &written, nullptr)) {
            file->writeError = 2;
            return 2;
        }
        if (written != chunk) {
            file->writeError = 3;
            return 3;
        }
        bytes += chunk;
        length -= chunk;
    }
    return 0;
}

int CommitAtomicFile(AtomicFile* file)
{
    if (file->handle == INVALID_HANDLE_VALUE) return 4;
    int result = file->writeError;
    // The data must be on the disk before the rename makes it the file.
    if (result == 0 && !FlushFileBuffers(file->handle)) result = 4;
    if (!CloseHandle(file->handle) && result == 0) result = 4;
    file->handle = INVALID_HANDLE_VALUE;
    if (result == 0 && !MoveFileExA(file->tempPath, file->path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        result = 4;
    }
    if (result != 0) DeleteFileA(file->tempPath);
    return result;
}
