// Bounded text copies used throughout both programs. Every copy is cut to the
// capacity of its destination and always ends in NUL.
#pragma once

#include <cstddef>
#include <cstring>

namespace mw_text {

// Copies at most srcLength bytes of src (stopping early at a NUL) into dst,
// which has room for dstSize bytes including the terminator.  Returns the
// number of bytes copied (without terminator).  dstSize 0 writes nothing.
inline size_t CopyN(char* dst, size_t dstSize, const char* src, size_t srcLength)
{
    if (dstSize == 0) return 0;
    size_t n = 0;
    if (src != nullptr) {
        while (n < srcLength && n + 1 < dstSize && src[n] != '\0') {
            dst[n] = src[n];
            ++n;
        }
    }
    dst[n] = '\0';
    return n;
}

// Copies the NUL-terminated src (null counts as empty) into dst (dstSize bytes
// including the terminator), cut to fit.
inline size_t Copy(char* dst, size_t dstSize, const char* src)
{
    return CopyN(dst, dstSize, src, static_cast<size_t>(-1));
}

// Appends src (null counts as empty) to the text in dst (dstSize bytes
// including the terminator), cut to fit. Returns the new length. A dst with
// no terminator within dstSize is left as it is.
inline size_t Append(char* dst, size_t dstSize, const char* src)
{
    size_t length = 0;
    while (length < dstSize && dst[length] != '\0') ++length;
    if (length == dstSize) return length;
    return length + Copy(dst + length, dstSize - length, src);
}

template <size_t N>
inline size_t Copy(char (&dst)[N], const char* src)
{
    return Copy(dst, N, src);
}

template <size_t N>
inline size_t CopyN(char (&dst)[N], const char* src, size_t srcLength)
{
    return CopyN(dst, N, src, srcLength);
}

}  // namespace mw_text
