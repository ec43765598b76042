// Whether a fetched update record belongs to the installed product and how
// its version relates to the installed one; the version text; the rule that
// turns the updater's own path into the install folder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tidewell/updater/update_record.h"

enum CompareResult : int32_t {
    kCompareOffered = 0,    // newer, or nothing to compare against
    kCompareUnusable = -1,  // wrong magic, or format 1 against an installed format 2
    kCompareOtherProduct = -2,
    kCompareSameVersion = -3,
    kCompareOlderVersion = -4,
    kCompareInvalid = 1  // unknown format, or shorter than its fixed part
};

// Where the archive's entries go; chosen only by the format-2 comparison.
enum InstallFolderRule {
    kInstallFolderUnset = 0,  // the current folder
    kInstallFolderTemp = 1,   // the system's temporary folder (flag 0x80)
    kInstallFolderOwn = 2     // the updater's own folder
};

struct Comparison {
    int32_t result;
    InstallFolderRule folder;
};

// installed may hold no bytes (no information file). A fetched record is
// refused as invalid when it is shorter than the fixed part its format is
// read with (296 bytes for format 1, 370 for any other).
Comparison CompareRecords(RecordView installed, RecordView fetched);

// Capacity of a version text: "255.255.255.255" and its terminator.
constexpr size_t kVersionTextSize = 16;
// "a.b.c.d" from the packed a << 24 | b << 16 | c << 8 | d.
void FormatVersion(uint32_t version, char* out, size_t capacity);

// The folder of programPath (at most 515 characters are looked at), cut at
// its last '\' or '/' (index 0 excluded), at most 259 characters of it
// kept, with exactly one trailing '\' (a text of fewer than three characters
// keeps its end, except that "C:" becomes "C:\"). Shift-JIS aware. Returns
// 0, or 1 with out empty when the folder does not fit in capacity bytes.
int InstallFolderFromProgramPath(const char* programPath, char* out, size_t capacity);
