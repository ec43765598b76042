// Checks of SafeLocalFileName shared by the engine's fuzz targets: the
// result is always a safe name, terminated within its capacity, and a safe
// name is left as it is.
#pragma once

#include <cstring>

#include "fuzz_check.h"
#include "common/safe_file_name.h"
#include "common/sjis.h"

// Outside double-byte characters no byte is a separator, forbidden or a
// control character; the name does not end in a dot or a space.
inline void CheckSafe(const char* name)
{
    const size_t length = std::strlen(name);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (IsSjisLeadByte(c)) {
            FUZZ_CHECK(i + 1 < length && IsSjisTrailByte(static_cast<unsigned char>(name[i + 1])));
            ++i;
            continue;
        }
        FUZZ_CHECK(c >= 0x20 && c != 0x7F);
        FUZZ_CHECK(std::strchr("<>:\"/\\|?*", c) == nullptr);
    }
    if (length > 0) FUZZ_CHECK(name[length - 1] != '.' && name[length - 1] != ' ');
}

inline void CheckSafeLocalFileName(const char* received)
{
    static const size_t kCapacities[] = {1, 2, 3, 4, 5, 11, 65, 300};
    for (size_t capacity : kCapacities) {
        char out[301];
        std::memset(out, 0x7A, sizeof out);
        const int result = SafeLocalFileName(received, out, capacity);
        FUZZ_CHECK(result == 0 || result == 1);
        FUZZ_CHECK(std::memchr(out, '\0', capacity) != nullptr);
        FUZZ_CHECK(out[capacity] == 0x7A);  // nothing written beyond the capacity
        CheckSafe(out);
        FUZZ_CHECK(std::strlen(out) <= kLocalFileNameMax);
        if (capacity >= 2) FUZZ_CHECK(out[0] != '\0');
        FUZZ_CHECK((result == 0) == (std::strcmp(out, received) == 0));

        // A safe name stays as it is.
        char again[301];
        FUZZ_CHECK(SafeLocalFileName(out, again, capacity) == 0 || out[0] == '\0');
        if (out[0] != '\0') FUZZ_CHECK(std::strcmp(out, again) == 0);
    }
}
