// Bit reader of the Huffman methods and -lzs-: a 16-bit window on the packed
// stream, most significant bit first, fed from the archive file a byte at a
// time. It reads on past the entry's packed data, and past the end of the
// file it supplies 0xFF bytes.
#pragma once

#include <cstdint>

#include "tidewell/lzh/lzh_file.h"

struct LzhBitReader {
    uint64_t bits;      // unread bits, the next one in bit 63
    int count;          // valid bits in `bits`; at least 32 between calls
    uint32_t padBytes;  // 0xFF bytes supplied after the end of the file
    LzhFile* file;
};

extern LzhBitReader g_lzhBits;

void LzhBitsStart(LzhFile* file);

// Tops up `bits` to at least 32 valid bits, byte by byte near the end of
// the buffer or the file.
void LzhBitsRefillSlowly();

inline void LzhBitsRefill()
{
    LzhBitReader& r = g_lzhBits;
    LzhFile* f = r.file;
    if (f->bufferLen - f->bufferPos < 8) {
        LzhBitsRefillSlowly();
        return;
    }
    // Eight bytes at once, most significant first. Bits of a byte only
    // partly taken are taken again, at the same place, next time.
    const uint8_t* p = f->buffer + f->bufferPos;
    uint64_t next = 0;
    for (int i = 0; i < 8; i++) next = next << 8 | p[i];
    const unsigned take = unsigned(64 - r.count) >> 3;
    r.bits |= next >> r.count;
    r.count += int(take * 8);
    f->bufferPos += take;
}

// The next 16 bits of the stream.
inline unsigned LzhBitsWindow()
{
    return unsigned(g_lzhBits.bits >> 48);
}

// Moves on by n bits, n at most 32.
inline void LzhBitsAdvance(unsigned n)
{
    g_lzhBits.bits <<= n;
    g_lzhBits.count -= int(n);
    if (g_lzhBits.count < 32) LzhBitsRefill();
}

// The next n bits as a number (n at most 16), then moves on by n.
inline unsigned LzhBitsGet(unsigned n)
{
    unsigned value = n ? unsigned(g_lzhBits.bits >> (64 - n)) : 0;
    LzhBitsAdvance(n);
    return value;
}

// True once bits beyond the end of the file have been consumed (the window
// looking ahead past the end does not count).
inline bool LzhBitsOverrun()
{
    return g_lzhBits.padBytes != 0 && uint64_t(g_lzhBits.padBytes) * 8 > uint64_t(g_lzhBits.count);
}
