#include "tidewell/lzh/lzh_bits.h"

LzhBitReader g_lzhBits;

void LzhBitsRefillSlowly()
{
    LzhBitReader& r = g_lzhBits;
    LzhFile* f = r.file;
    while (r.count <= 56) {
        int c = LzhFileByte(f);
        if (c < 0) {
            c = 0xFF;
            if (r.padBytes < 0xFFFFFFFFu) r.padBytes++;
        }
        r.bits |= uint64_t(c) << (56 - r.count);
        r.count += 8;
    }
}

void LzhBitsStart(LzhFile* file)
{
    g_lzhBits.bits = 0;
    g_lzhBits.count = 0;
    g_lzhBits.padBytes = 0;
    g_lzhBits.file = file;
    LzhBitsRefill();
}
