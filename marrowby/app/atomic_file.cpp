// Write-then-rename replacement of a file.
#include "marrowby/app/atomic_file.h"

#include <string.h>

namespace {

const char kTempSuffix[] = ".new";

void CloseAndRemoveTemp(AtomicFile* file) {
    if (file->handle != INVALID_HANDLE_VALUE) {
        CloseHandle(file->handle);
        file->handle = INVALID_HANDLE_VALUE;
    }
    DeleteFileA(file->tempPath);
}

}  // namespace

int BeginAtomicFile(AtomicFile* file, const char* path) {
    file->handle = INVALID_HANDLE_VALUE;
    file->failed = false;
    file->shortWrite = false;
    file->path[0] = file->tempPath[0] = '\0';
    size_t length = path != nullptr ? strlen(path) : 0;
    if (length == 0 || length + sizeof(kTempSuffix) > sizeof(file->tempPath)) return 1;
    memcpy(file->path, path, length + 1);
    memcpy(file->tempPath, path, length);
    memcpy(file->tempPath + length, kTempSuffix, sizeof(kTempSuffix));
    file->handle = CreateFileA(file->tempPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                               nullptr);
    return file->handle == INVALID_HANDLE_VALUE ? 1 : 0;
}

int WriteAtomicFile(AtomicFile* file, const void* data, size_t length) {
    if (file->failed) return file->shortWrite ? 3 : 2;
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        DWORD chunk = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteFile(file->handle, bytes, chunk, &written, nullptr)) {
            file->failed = true;
            return 2;
        }
        if (written != chunk) {
            file->failed = true;
            file->shortWrite = true;
            return 3;
        }
        bytes += chunk;
        length -= chunk;
    }
    return 0;
}

int CommitAtomicFile(AtomicFile* file) {
    if (file->handle == INVALID_HANDLE_VALUE) return 4;
    if (file->failed) {
        int result = file->shortWrite ? 3 : 2;
        CloseAndRemoveTemp(file);
        return result;
    }
    // The data must be on the disk before the rename makes it the file.
    BOOL flushed = FlushFileBuffers(file->handle);
    BOOL closed = CloseHandle(file->handle);
    file->handle = INVALID_HANDLE_VALUE;
    if (!flushed || !closed ||
        !MoveFileExA(file->tempPath, file->path,
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(file->tempPath);
        return 4;
    }
    return 0;
}

void AbandonAtomicFile(AtomicFile* file) {
    CloseAndRemoveTemp(file);
}
