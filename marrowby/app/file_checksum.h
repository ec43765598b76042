// Checking a finished download against its expected checksum, hashed with
// the system's CNG in pieces (on the job's thread: a large file must not
// hold up the window).
#pragma once

#include <stdint.h>

enum ChecksumResult : int32_t {
    kChecksumUnchecked = 0,
    kChecksumMatched = 1,
    kChecksumMismatched = 2,
    kChecksumUnreadable = 3  // the file could not be read, or the text is no checksum
};

// expected is a stored checksum text ("sha256:..."), never empty.
ChecksumResult CheckFileChecksum(const char* path, const char* expected);
