// What every resource of the test servers (the scripted server and nginx)
// holds: byte i is i % 251, so any slice of a file can be checked alone.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

inline std::string Pattern(int64_t start, size_t count)
{
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; i++) bytes[i] = static_cast<char>((start + static_cast<int64_t>(i)) % 251);
    return bytes;
}

inline std::string Pattern(size_t count)
{
    return Pattern(0, count);
}
