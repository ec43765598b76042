// The files of a segmented download: the named file holds the head
// segment's bytes from byte 0 without a gap, the side file "<name>.mwpart"
// (as large as the whole file) every other segment's bytes at their own
// offsets, and "<name>.segments" how far each segment got. Once every
// segment is written the two files become the named file.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "common/safe_file_name.h"

constexpr char kSideFileSuffix[] = ".mwpart";
constexpr char kStateFileSuffix[] = ".segments";

// Room for a folder of 260 bytes with its separator, a name and a suffix.
const size_t kSegmentPathCapacity = 264 + kLocalFileNameMax + 16;

// folder (with its separator, or empty) + name + suffix.
void SegmentFilePath(char* out, size_t capacity, const char* folder, const char* name, const char* suffix);

// The file's size, or -1 when it cannot be opened.
int64_t FileSizeAt(const char* path);

// Cuts the file at size (never lengthens it). False when that fails.
bool CutFileAt(const char* path, int64_t size);

// What MergeSegmentFiles returns when stop was asked before it finished.
const DWORD kMergeStopped = ERROR_OPERATION_ABORTED;

// Makes the named file whole from the head's headEnd bytes and the side
// file's rest, copying the smaller share, then deletes the side file (the
// state file is the caller's). Returns 0, kMergeStopped, or the system's
// error code. Every step leaves files from which a later call finishes the
// work: the named file reaches total only when it is whole.
DWORD MergeSegmentFiles(const char* folder, const char* name, int64_t headEnd, int64_t total,
                        const volatile LONG* stopping);

// Deletes the side and state files of a download whose segments count no
// more. True when there was a side file.
bool DiscardSegmentFiles(const char* folder, const char* name);
