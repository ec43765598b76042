// -lzs-: a flag bit per item, 8-bit literals, 11-bit stored positions and
// 4-bit lengths over a 2 KB dictionary.
#include "tidewell/lzh/lzh_bits.h"
#include "tidewell/lzh/lzh_decoder_internal.h"

namespace {
unsigned g_storedPosition;
}

void LzhLzsStart()
{
    LzhBitsStart(g_lzhDecoder.file);
}

unsigned LzhLzsNextSymbol()
{
    if (LzhBitsGet(1)) return LzhBitsGet(8);
    g_storedPosition = LzhBitsGet(11);
    return 256 + LzhBitsGet(4);
}

// Stored positions count from a ring start 17 bytes before the dictionary's
// first byte.
unsigned LzhLzsNextPosition()
{
    return (g_lzhDecoder.fillPosition - g_storedPosition - 18) & 0x7FF;
}
