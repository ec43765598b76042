// Base64 encoding (RFC 4648 alphabet, "=" padding, no line breaks).
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes EncodeBase64 needs for `length` input bytes, terminator included.
constexpr size_t Base64EncodedSize(size_t length)
{
    return (length + 2) / 3 * 4 + 1;
}

// Encodes length bytes of input into output and terminates it.
// Returns 0, or kHttpOutputTooSmall (output then empty when capacity allows)
// when outputCapacity is below Base64EncodedSize(length).
int32_t EncodeBase64(char* output, size_t outputCapacity, const void* input, size_t length);
