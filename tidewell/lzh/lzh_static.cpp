// -lh4- to -lh7-: static Huffman codes sent per block, 510 symbols, 19
// code-length codes and 14 to 17 position codes (the method table gives
// their number and the width of their count).
#include "tidewell/lzh/lzh_bits.h"
#include "tidewell/lzh/lzh_decoder_internal.h"
#include "tidewell/lzh/lzh_table.h"

namespace {

enum {
    kSymbols = 510,
    kCodeLengthSymbols = 19,
    kSymbolCountBits = 9,
    kCodeLengthCountBits = 5,
    kCodeLengthSpecial = 3,  // after this many code-length lengths, a zero run
    kNoSpecial = -1
};

unsigned g_blockRemaining;

// One of the two decoding tables a block head fills.
struct CodeSet {
    uint8_t* lengths;
    uint16_t* table;
    unsigned tableBits;
    LzhTree* tree;
};

const CodeSet kSymbolCode = {g_lzhTables.symbolLengths, g_lzhTables.symbolTable, LZH_SYMBOL_BITS,
                             &g_lzhTables.symbolTree};
// The code-length code and the position code take turns in these.
const CodeSet kPositionCode = {g_lzhTables.positionLengths, g_lzhTables.positionTable, LZH_POSITION_BITS,
                               &g_lzhTables.positionTree};

// Reads the `countBits`-wide count of the lengths that follow, at most
// `entries`. A count of 0 sends one code used alone instead: it is set up
// at once and 0 is returned.
unsigned ReadLengthCount(const CodeSet& code, unsigned entries, unsigned countBits)
{
    unsigned n = LzhBitsGet(countBits);
    if (n == 0) {
        LzhUseSingleCode(code.lengths, entries, code.table, code.tableBits, LzhBitsGet(countBits));
        return 0;
    }
    return n < entries ? n : entries;
}

void StoreZeros(uint8_t* lengths, unsigned* i, unsigned count, unsigned limit)
{
    while (count-- > 0 && *i < limit) lengths[(*i)++] = 0;
}

// Clears the lengths from `i` on and builds the table.
void BuildCode(const CodeSet& code, unsigned i, unsigned entries)
{
    for (; i < entries; i++) code.lengths[i] = 0;
    LzhBuildTable(entries, code.lengths, code.tableBits, code.table, code.tree);
}

// Code-length code or position code lengths.
void ReadSmallLengths(unsigned entries, unsigned countBits, int special)
{
    uint8_t* lengths = kPositionCode.lengths;
    unsigned n = ReadLengthCount(kPositionCode, entries, countBits);
    if (n == 0) return;
    unsigned i = 0;
    while (i < n) {
        unsigned c = LzhBitsWindow() >> 13;
        if (c == 7) {
            // Lengths of 7 and more continue in unary: one more per 1 bit.
            for (unsigned mask = 1u << 12; mask != 0 && (LzhBitsWindow() & mask); mask >>= 1) c++;
        }
        LzhBitsAdvance(c < 7 ? 3 : c - 3);
        lengths[i++] = uint8_t(c);
        if (int(i) == special) StoreZeros(lengths, &i, LzhBitsGet(2), entries);
    }
    BuildCode(kPositionCode, i, entries);
}

// Symbol code lengths, coded with the code-length code just read.
void ReadSymbolLengths()
{
    LzhTables& t = g_lzhTables;
    unsigned n = ReadLengthCount(kSymbolCode, kSymbols, kSymbolCountBits);
    if (n == 0) return;
    unsigned i = 0;
    while (i < n) {
        unsigned c =
            LzhLookup(t.positionTable, LZH_POSITION_BITS, kCodeLengthSymbols, t.positionLengths, &t.positionTree);
        if (c == 0)
            StoreZeros(t.symbolLengths, &i, 1, n);
        else if (c == 1)
            StoreZeros(t.symbolLengths, &i, LzhBitsGet(4) + 3, n);
        else if (c == 2)
            StoreZeros(t.symbolLengths, &i, LzhBitsGet(kSymbolCountBits) + 20, n);
        else
            t.symbolLengths[i++] = uint8_t(c - 2);
    }
    BuildCode(kSymbolCode, i, kSymbols);
}

void ReadBlockHead()
{
    g_blockRemaining = LzhBitsGet(16);
    ReadSmallLengths(kCodeLengthSymbols, kCodeLengthCountBits, kCodeLengthSpecial);
    ReadSymbolLengths();
    ReadSmallLengths(g_lzhDecoder.positionCodes, g_lzhDecoder.positionCountBits, kNoSpecial);
}

}  // namespace

void LzhStaticStart()
{
    g_blockRemaining = 0;
    LzhBitsStart(g_lzhDecoder.file);
}

unsigned LzhStaticNextSymbol()
{
    if (g_blockRemaining == 0) ReadBlockHead();
    g_blockRemaining--;
    LzhTables& t = g_lzhTables;
    return LzhLookup(t.symbolTable, LZH_SYMBOL_BITS, kSymbols, t.symbolLengths, &t.symbolTree);
}

unsigned LzhStaticNextPosition()
{
    LzhTables& t = g_lzhTables;
    unsigned j =
        LzhLookup(t.positionTable, LZH_POSITION_BITS, g_lzhDecoder.positionCodes, t.positionLengths, &t.positionTree);
    if (j == 0) return 0;
    return (1u << (j - 1)) + LzhBitsGet(j - 1);
}
