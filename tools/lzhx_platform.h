// The few file-system operations lzhx needs that differ between Windows and
// the host: directories, writing a file anew and setting its times.
#pragma once

#include <cstddef>
#include <cstdint>

// The platform's path separator.
extern const char kLzhxSeparator;

// Creates one directory; 0 created, non-zero otherwise (also when it exists).
int LzhxMakeDirectory(const char* path);

// True when path names an existing directory.
bool LzhxIsDirectory(const char* path);

struct LzhxOutput;

// Deletes any file at path and creates it anew for writing; nullptr on failure.
LzhxOutput* LzhxCreate(const char* path);

// 0 when all bytes were written.
int LzhxWrite(LzhxOutput* out, const uint8_t* data, size_t length);

// Sets the Windows file times that are non-zero (creation only where the
// platform keeps one), then closes. 0 on success.
int LzhxFinish(LzhxOutput* out, uint64_t creation, uint64_t lastAccess, uint64_t lastWrite);

// Closes without setting times (after a failure).
void LzhxAbandon(LzhxOutput* out);

// Deletes a file; 0 when it is gone.
int LzhxRemove(const char* path);
