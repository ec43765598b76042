// Replacing a file only once its new content is complete: the bytes go to a
// temporary file beside it, which then takes the old file's place in one
// rename. A crash, a full disk or a failed write leaves the old file as it was.
#pragma once

#include <stddef.h>
#include <windows.h>

constexpr size_t kAtomicPathSize = 780;  // a 772-byte path and ".new"

struct AtomicFile {
    HANDLE handle;
    char path[kAtomicPathSize];
    char tempPath[kAtomicPathSize];
    int writeError;  // 0, or the first failed write's result (2 or 3)
};

// Creates the temporary file "<path>.new". Returns 0, or 1 when it cannot be
// created or the file at path is read-only (nothing is changed on disk).
int BeginAtomicFile(AtomicFile* file, const char* path);

// Appends bytes. Returns 0, 2 when the write failed, 3 when it was short;
// after a failure every later write is dropped and the commit refuses.
int WriteAtomicFile(AtomicFile* file, const void* data, size_t length);

// Flushes and closes the temporary file and moves it over the target.
// Returns 0, or the first write failure (2 or 3), or 4 when the flush or the
// replacement failed. On failure the temporary file is removed and the old
// file is untouched, so a writer that met an error simply commits.
int CommitAtomicFile(AtomicFile* file);
