// Shift-JIS character boundaries. Paths and lines are scanned a character
// at a time so that the second byte of a double-byte character (which may
// be 0x5C, the backslash) is never taken for a separator.
#pragma once

#include <stddef.h>

// True for a Shift-JIS lead byte (0x81-0x9F, 0xE0-0xFC).
inline bool IsSjisLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// True for a byte that can follow a lead byte (0x40-0xFC except 0x7F).
inline bool IsSjisTrailByte(unsigned char b)
{
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

// Length of the character at text: 2 for a lead byte followed by a valid
// trail byte, else 1 (a lead byte without one stands alone).
inline size_t SjisCharLength(const char* text)
{
    return IsSjisLeadByte(static_cast<unsigned char>(text[0])) && IsSjisTrailByte(static_cast<unsigned char>(text[1]))
               ? 2
               : 1;
}
