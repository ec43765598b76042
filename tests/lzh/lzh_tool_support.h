// What the archive tool tests need besides running the tools
// (tests/support/tool_run.h): host programs, file times and directories.
#pragma once

#include <cstdint>
#include <string>

// A path with the platform's separators, as the tools print them.
std::string Native(std::string path);

// True when a program of the host (such as lhasa) can be run; never on Windows.
bool HostProgramExists(const std::string& name);

// Last-write and last-access times as Windows file times.
bool FileTimes(const std::string& path, uint64_t* lastWrite, uint64_t* lastAccess);
bool SetLastWriteTime(const std::string& path, uint64_t lastWrite);

// Creates one directory (names of any bytes, such as Shift-JIS).
bool MakeDirectory(const std::string& path);
