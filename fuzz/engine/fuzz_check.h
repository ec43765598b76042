// Invariant checks shared by the engine's fuzz targets.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// A text field is terminated within its array.
template <size_t N>
inline void CheckTerminated(const char (&field)[N])
{
    FUZZ_CHECK(std::memchr(field, '\0', N) != nullptr);
}
