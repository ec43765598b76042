#include "tidewell/lzh/lzh_fixed_positions.h"

#include "tidewell/lzh/lzh_bits.h"
#include "tidewell/lzh/lzh_table.h"

namespace {
unsigned g_positionCodes = 128;
}

void LzhFixedLengths(unsigned count, unsigned startLength, const unsigned* growth, unsigned points, uint8_t* lengths)
{
    unsigned length = startLength;
    unsigned next = 0;
    for (unsigned code = 0; code < count; code++) {
        while (next < points && growth[next] == code) {
            length++;
            next++;
        }
        lengths[code] = uint8_t(length);
    }
}

void LzhFixedLengthsLh1(uint8_t* lengths)
{
    static const unsigned growth[] = {1, 4, 12, 24, 48};
    LzhFixedLengths(64, 3, growth, 5, lengths);
}

void LzhFixedLengthsLh3(uint8_t* lengths)
{
    static const unsigned growth[] = {1, 1, 3, 6, 13, 31, 78};
    LzhFixedLengths(128, 2, growth, 7, lengths);
}

void LzhFixedPositionsStart(unsigned codes)
{
    g_positionCodes = codes;
}

unsigned LzhFixedNextPosition()
{
    LzhTables& t = g_lzhTables;
    unsigned code = LzhLookup(t.positionTable, LZH_POSITION_BITS, g_positionCodes, t.positionLengths, &t.positionTree);
    return (code << 6) + LzhBitsGet(6);
}
