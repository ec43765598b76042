#include "tidewell/lzh/lzh_bits.h"

LzhBitReader g_lzhBits;

void LzhBitsRefill()
{
    LzhBitReader& r = g_lzhBits;
    LzhFile* f = r.file;
    if (f->bufferLen - f->bufferPos >= 8) {
        // Eight bytes at once, most significant first. Bits of a byte only
        // partly taken are taken again, at the same place, next time.
        const uint8_t* p = f->buffer + f->bufferPos;
        uint64_t next = 0;
        for (int i = 0; i < 8; i++) next = next << 8 | p[i];
        const unsigned take = unsigned(64 - r.count) >> 3;
        r.bits |= next >> r.count;
        r.count += int(take * 8);
        f->bufferPos += take;
        return;
    }
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
