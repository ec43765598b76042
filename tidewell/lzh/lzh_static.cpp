// -lh4- and -lh5-: static Huffman codes sent per block, 510 symbols, 19
// code-length codes and 14 position codes.
#include "tidewell/lzh/lzh_bits.h"
#include "tidewell/lzh/lzh_decoder_internal.h"
#include "tidewell/lzh/lzh_table.h"

namespace {

enum {
    kSymbols = 510,
    kCodeLengthSymbols = 19,
    kPositions = 14,
    kSymbolCountBits = 9,
    kCodeLengthCountBits = 5,
    kPositionCountBits = 4,
    kCodeLengthSpecial = 3,  // after this many code-length lengths, a zero run
    kNoSpecial = -1
};

unsigned g_blockRemaining;

// Code-length code or position code lengths: `entries` lengths with a
// `countBits`-wide count; a count of 0 means one code used alone.
void ReadSmallLengths(unsigned entries, unsigned countBits, int special)
{
    LzhTables& t = g_lzhTables;
    unsigned n = LzhBitsGet(countBits);
    if (n == 0) {
        unsigned only = LzhBitsGet(countBits);
        for (unsigned i = 0; i < entries; i++)
            t.positionLengths[i] = 0;
        LzhFillTable(t.positionTable, LZH_POSITION_BITS, only);
        return;
    }
    if (n > entries)
        n = entries;
    unsigned i = 0;
    while (i < n) {
        unsigned c = LzhBitsWindow() >> 13;
        if (c == 7) {
            // Lengths of 7 and more continue in unary: one more per 1 bit.
            for (unsigned mask = 1u << 12; mask != 0 && (LzhBitsWindow() & mask); mask >>= 1)
                c++;
        }
        LzhBitsAdvance(c < 7 ? 3 : c - 3);
        t.positionLengths[i++] = uint8_t(c);
        if (int(i) == special) {
            unsigned zeros = LzhBitsGet(2);
            while (zeros-- > 0 && i < entries)
                t.positionLengths[i++] = 0;
        }
    }
    while (i < entries)
        t.positionLengths[i++] = 0;
    LzhBuildTable(entries, t.positionLengths, LZH_POSITION_BITS, t.positionTable, &t.positionTree);
}

void StoreZeros(unsigned* i, unsigned count, unsigned limit)
{
    while (count-- > 0 && *i < limit)
        g_lzhTables.symbolLengths[(*i)++] = 0;
}

// Symbol code lengths, coded with the code-length code just read.
void ReadSymbolLengths()
{
    LzhTables& t = g_lzhTables;
    unsigned n = LzhBitsGet(kSymbolCountBits);
    if (n == 0) {
        unsigned only = LzhBitsGet(kSymbolCountBits);
        for (unsigned i = 0; i < kSymbols; i++)
            t.symbolLengths[i] = 0;
        LzhFillTable(t.symbolTable, LZH_SYMBOL_BITS, only);
        return;
    }
    if (n > kSymbols)
        n = kSymbols;
    unsigned i = 0;
    while (i < n) {
        unsigned c = LzhLookup(t.positionTable, LZH_POSITION_BITS, kCodeLengthSymbols, t.positionLengths,
                               &t.positionTree);
        if (c == 0)
            StoreZeros(&i, 1, n);
        else if (c == 1)
            StoreZeros(&i, LzhBitsGet(4) + 3, n);
        else if (c == 2)
            StoreZeros(&i, LzhBitsGet(kSymbolCountBits) + 20, n);
        else
            t.symbolLengths[i++] = uint8_t(c - 2);
    }
    while (i < kSymbols)
        t.symbolLengths[i++] = 0;
    LzhBuildTable(kSymbols, t.symbolLengths, LZH_SYMBOL_BITS, t.symbolTable, &t.symbolTree);
}

void ReadBlockHead()
{
    g_blockRemaining = LzhBitsGet(16);
    ReadSmallLengths(kCodeLengthSymbols, kCodeLengthCountBits, kCodeLengthSpecial);
    ReadSymbolLengths();
    ReadSmallLengths(kPositions, kPositionCountBits, kNoSpecial);
}

}  // namespace

void LzhStaticStart()
{
    g_blockRemaining = 0;
    LzhBitsStart(g_lzhDecoder.file);
}

unsigned LzhStaticNextSymbol()
{
    if (g_blockRemaining == 0)
        ReadBlockHead();
    g_blockRemaining--;
    LzhTables& t = g_lzhTables;
    return LzhLookup(t.symbolTable, LZH_SYMBOL_BITS, kSymbols, t.symbolLengths, &t.symbolTree);
}

unsigned LzhStaticNextPosition()
{
    LzhTables& t = g_lzhTables;
    unsigned j = LzhLookup(t.positionTable, LZH_POSITION_BITS, kPositions, t.positionLengths, &t.positionTree);
    if (j == 0)
        return 0;
    return (1u << (j - 1)) + LzhBitsGet(j - 1);
}
