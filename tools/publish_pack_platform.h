// The file-system queries of `pack` that differ between Windows and the
// host: what a path is (with its times and identity) and a directory's
// entries.
#pragma once

#include <cstdint>

// The platform's path separator.
extern const char kPackSeparator;

// True for a byte that separates path components on this platform.
bool PackIsSeparator(char c);

struct PackFileInfo {
    bool isDirectory;
    uint64_t size;
    // Windows file times (100 ns since 1601-01-01 UTC); 0 when unknown.
    uint64_t creationTime;
    uint64_t lastAccessTime;
    uint64_t lastWriteTime;
    // Together they tell one file from another, whatever the path.
    uint64_t volume;
    uint64_t index;
};

// 0 described, 1 there is nothing at path (or it cannot be examined).
int PackQuery(const char* path, PackFileInfo* info);

// Calls found(context, name) for every entry of the directory other than
// "." and "..": 0 listed, 1 it cannot be listed.
int PackListDirectory(const char* path, void (*found)(void* context, const char* name), void* context);
