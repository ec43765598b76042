// Where a fetched file is written: its local name taken from the URL path,
// the output path in the download folder, and the share received so far.
#pragma once

#include <cstddef>
#include <cstdint>

// Name used when the URL path ends in '/' or nothing usable is left of it.
extern const char kDefaultDownloadName[];  // "dlfile"
constexpr size_t kDownloadNameSize = 256;
constexpr size_t kOutputFolderMax = 259;
constexpr size_t kOutputPathSize = 517;  // 516 characters and the terminator

// The part of a cracked URL path after its last '/' (index 0 is not
// examined), cleaned like every local file name: no folder part, no "..",
// ':' or device names, no forbidden characters. Returns 0 when the name was
// kept as it stands, 1 when it had to change.
int DownloadFileName(const char* urlPath, char* out, size_t capacity);

// folder (null or empty: none) joined to name with one backslash; the folder
// is cut at its last '\' or '/' when only spaces follow that separator.
// Returns 0, or 1 when the folder is longer than 259 characters or the path
// would not fit in capacity (at most 517) bytes; out is then empty.
int BuildOutputPath(const char* folder, const char* name, char* out, size_t capacity);

// received * 100 / total rounded down, for any 32-bit sizes; 0 without a
// total and at most 100.
uint32_t DownloadPercent(uint32_t received, uint32_t total);
