// -lh3-: static Huffman in blocks with 286 symbols and 128 position codes,
// whose lengths are sent in the block head or taken from a fixed table.
#include "tidewell/lzh/lzh_bits.h"
#include "tidewell/lzh/lzh_decoder_internal.h"
#include "tidewell/lzh/lzh_fixed_positions.h"
#include "tidewell/lzh/lzh_table.h"

namespace {

enum {
    kSymbols = 286,
    kPositions = 128,
    kExtendedSymbol = 285,  // followed by 8 bits added to it
    kSingleSymbolBits = 9,
    kSinglePositionBits = 7
};

unsigned g_blockRemaining;

// Three leading lengths of 1 cannot belong to a real code: they announce a
// block that uses one value alone.
bool ThreeOnes(const uint8_t* lengths)
{
    return lengths[0] == 1 && lengths[1] == 1 && lengths[2] == 1;
}

void ReadSymbolLengths()
{
    LzhTables& t = g_lzhTables;
    for (unsigned i = 0; i < kSymbols; i++) {
        t.symbolLengths[i] = uint8_t(LzhBitsGet(1) ? LzhBitsGet(4) + 1 : 0);
        if (i == 2 && ThreeOnes(t.symbolLengths)) {
            LzhUseSingleCode(t.symbolLengths, kSymbols, t.symbolTable, LZH_SYMBOL_BITS, LzhBitsGet(kSingleSymbolBits));
            return;
        }
    }
    LzhBuildTable(kSymbols, t.symbolLengths, LZH_SYMBOL_BITS, t.symbolTable, &t.symbolTree);
}

void ReadPositionLengths()
{
    LzhTables& t = g_lzhTables;
    for (unsigned i = 0; i < kPositions; i++) {
        t.positionLengths[i] = uint8_t(LzhBitsGet(4));
        if (i == 2 && ThreeOnes(t.positionLengths)) {
            LzhUseSingleCode(t.positionLengths, kPositions, t.positionTable, LZH_POSITION_BITS,
                             LzhBitsGet(kSinglePositionBits));
            return;
        }
    }
}

void ReadBlockHead()
{
    LzhTables& t = g_lzhTables;
    g_blockRemaining = LzhBitsGet(16);
    ReadSymbolLengths();
    if (LzhBitsGet(1))
        ReadPositionLengths();
    else
        LzhFixedLengthsLh3(t.positionLengths);
    // With every length 0 (a single-value block) this leaves the filled
    // table as it is.
    LzhBuildTable(kPositions, t.positionLengths, LZH_POSITION_BITS, t.positionTable, &t.positionTree);
}

}  // namespace

void LzhLh3Start()
{
    g_blockRemaining = 0;
    LzhFixedPositionsStart(kPositions);
    LzhBitsStart(g_lzhDecoder.file);
}

unsigned LzhLh3NextSymbol()
{
    if (g_blockRemaining == 0) ReadBlockHead();
    g_blockRemaining--;
    LzhTables& t = g_lzhTables;
    unsigned symbol = LzhLookup(t.symbolTable, LZH_SYMBOL_BITS, kSymbols, t.symbolLengths, &t.symbolTree);
    if (symbol == kExtendedSymbol) symbol += LzhBitsGet(8);
    return symbol;
}
