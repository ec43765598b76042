// -lz5-: byte-oriented; a flag byte covers the next 8 items (literal or a
// 12-bit position with a 4-bit length) over a preset 4 KB dictionary.
#include <cstring>

#include "tidewell/lzh/lzh_bits.h"
#include "tidewell/lzh/lzh_decoder_internal.h"

namespace {

unsigned g_flags;      // current flag byte, shifted down as items use it
unsigned g_flagsLeft;  // items the flag byte still covers
unsigned g_storedPosition;

// Stored positions count from a ring start 18 bytes before the dictionary's
// first byte; the preset contents are laid out from there. The 18 bytes
// ahead of the byte-value runs are zeros: archives from the archiver that
// defined the method only decode to their stored CRC that way.
void PresetDictionary(uint8_t* d)
{
    std::memset(d, 0, 18);
    uint8_t* p = d + 18;
    for (unsigned value = 0; value < 256; value++, p += 13) std::memset(p, int(value), 13);
    for (unsigned value = 0; value < 256; value++) *p++ = uint8_t(value);
    for (unsigned value = 256; value-- > 0;) *p++ = uint8_t(value);
    std::memset(p, 0, 128);
    p += 128;
    std::memset(p, ' ', 110);
}

}  // namespace

void LzhLz5Start()
{
    g_flags = 0;
    g_flagsLeft = 0;
    PresetDictionary(g_lzhDecoder.dictionary);
    // Whole bytes through the bit reader: the same byte sequence, and the
    // same end-of-file handling as the other methods.
    LzhBitsStart(g_lzhDecoder.file);
}

unsigned LzhLz5NextSymbol()
{
    if (g_flagsLeft == 0) {
        g_flags = LzhBitsGet(8);
        g_flagsLeft = 8;
    }
    const unsigned literal = g_flags & 1;
    g_flags >>= 1;
    g_flagsLeft--;
    if (literal) return LzhBitsGet(8);
    const unsigned b1 = LzhBitsGet(8);
    const unsigned b2 = LzhBitsGet(8);
    g_storedPosition = b1 | (b2 & 0xF0) << 4;
    return 256 + (b2 & 0x0F);
}

unsigned LzhLz5NextPosition()
{
    return (g_lzhDecoder.fillPosition - g_storedPosition - 19) & 0xFFF;
}
