// -lh4- to -lh7-: static Huffman codes sent per block, 510 symbols, 19
// code-length codes and 14 to 17 position codes (the method table gives
// their number and the width of their count).
#include <cstring>

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

// The symbol table with each symbol's code length beside it (the symbol in
// the low 9 bits, the length above), so that the loop needs one load per
// symbol; codes longer than the table are walked in the tree.
uint16_t g_symbolsWithLengths[1 << LZH_SYMBOL_BITS];
const uint16_t kLongCode = 0xFFFF;

void JoinSymbolLengths()
{
    const LzhTables& t = g_lzhTables;
    for (unsigned i = 0; i < (1u << LZH_SYMBOL_BITS); i++) {
        const unsigned value = t.symbolTable[i];
        g_symbolsWithLengths[i] = value < kSymbols ? uint16_t(value | t.symbolLengths[value] << 9) : kLongCode;
    }
}

void ReadBlockHead()
{
    g_blockRemaining = LzhBitsGet(16);
    ReadSmallLengths(kCodeLengthSymbols, kCodeLengthCountBits, kCodeLengthSpecial);
    ReadSymbolLengths();
    JoinSymbolLengths();
    ReadSmallLengths(g_lzhDecoder.positionCodes, g_lzhDecoder.positionCountBits, kNoSpecial);
}

// Distance code from the position table and the bits after it.
inline unsigned NextPositionCode()
{
    LzhTables& t = g_lzhTables;
    unsigned j =
        LzhLookup(t.positionTable, LZH_POSITION_BITS, g_lzhDecoder.positionCodes, t.positionLengths, &t.positionTree);
    if (j <= 1) return j;
    return (1u << (j - 1)) + LzhBitsGet(j - 1);
}

// The loop's helpers must be inlined for its locals to stay in registers.
#if defined(__GNUC__)
#define LZH_HOT inline __attribute__((always_inline))
#else
#define LZH_HOT inline
#endif

// The shared bit reader's window and count held in locals for the
// decoding loop; Store() and Load() hand them back and forth.
struct LocalBits {
    uint64_t bits;
    int count;
    bool pastEnd;  // 0xFF bytes have been supplied past the end of the file

    void Load()
    {
        bits = g_lzhBits.bits;
        count = g_lzhBits.count;
        pastEnd = g_lzhBits.padBytes != 0;
    }

    void Store() const
    {
        g_lzhBits.bits = bits;
        g_lzhBits.count = count;
    }

    bool Overrun() const { return pastEnd && uint64_t(g_lzhBits.padBytes) * 8 > uint64_t(count); }

    LZH_HOT void Advance(unsigned n)
    {
        bits <<= n;
        count -= int(n);
        if (count >= 32) return;
        LzhFile* f = g_lzhBits.file;
        if (f->bufferLen - f->bufferPos < 8) {
            Store();
            LzhBitsRefillSlowly();
            Load();
            return;
        }
        const uint8_t* p = f->buffer + f->bufferPos;
        uint64_t next = 0;
        for (int i = 0; i < 8; i++) next = next << 8 | p[i];
        const unsigned take = unsigned(64 - count) >> 3;
        bits |= next >> count;
        count += int(take * 8);
        f->bufferPos += take;
    }

    LZH_HOT unsigned Get(unsigned n)
    {
        const unsigned value = n ? unsigned(bits >> (64 - n)) : 0;
        Advance(n);
        return value;
    }

    LZH_HOT unsigned Lookup(const uint16_t* table, unsigned tableBits, unsigned n, const uint8_t* lengths,
                            const LzhTree* tree)
    {
        unsigned value = table[unsigned(bits >> 48) >> (16 - tableBits)];
        if (value < n) {
            Advance(lengths[value]);
            return value;
        }
        Store();
        value = LzhLookupLong(value, tableBits, n, lengths, tree);
        Load();
        return value;
    }
};

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
    return NextPositionCode();
}

// The frame's loop for these methods. The bit reader's state and the
// block counter are kept in locals (the dictionary's byte stores would
// otherwise make the compiler reload them after every byte) and handed
// back around anything else that reads bits. The common match, inside the
// dictionary and not cut by its end, is copied here.
void LzhStaticRun()
{
    LzhDecoderState& d = g_lzhDecoder;
    LzhTables& t = g_lzhTables;
    uint8_t* const dictionary = d.dictionary;
    const uint32_t size = d.dictionarySize;
    const uint32_t mask = d.mask;
    const unsigned bias = d.lengthBias;
    const unsigned positions = d.positionCodes;
    // The decoded count follows the fill position, and the loop ends where
    // the dictionary or the entry does (a last match may run past it).
    const uint32_t fillStart = d.fillPosition;
    const uint64_t decodedStart = d.decodedCount;
    const uint64_t left = d.originalSize - decodedStart;
    const uint32_t stop = left < size - fillStart ? fillStart + uint32_t(left) : size;
    uint32_t fill = fillStart;
    unsigned remaining = g_blockRemaining;
    LocalBits b;
    b.Load();
    while (fill < stop) {
        // Damaged data that runs on past the end of the file ends the entry.
        if (b.Overrun()) {
            d.finished = true;
            break;
        }
        if (remaining == 0) {
            b.Store();
            ReadBlockHead();
            b.Load();
            remaining = g_blockRemaining;
        }
        remaining--;
        const unsigned joined = g_symbolsWithLengths[unsigned(b.bits >> (64 - LZH_SYMBOL_BITS))];
        unsigned symbol;
        if (joined != kLongCode) {
            symbol = joined & 0x1FF;
            b.Advance(joined >> 9);
        } else {
            symbol = b.Lookup(t.symbolTable, LZH_SYMBOL_BITS, kSymbols, t.symbolLengths, &t.symbolTree);
        }
        if (symbol < 256) {
            dictionary[fill++] = uint8_t(symbol);
            continue;
        }
        const uint32_t length = symbol - bias;
        const unsigned j = b.Lookup(t.positionTable, LZH_POSITION_BITS, positions, t.positionLengths, &t.positionTree);
        const uint32_t distance = (j <= 1 ? j : (1u << (j - 1)) + b.Get(j - 1)) + 1;
        const uint32_t source = (fill - distance) & mask;
        if (length > size - fill || length > size - source) {
            d.fillPosition = fill;
            d.decodedCount = decodedStart + (fill - fillStart);
            LzhCopyMatch(source, length);
            fill = d.fillPosition;
            continue;
        }
        uint8_t* out = dictionary + fill;
        const uint8_t* in = dictionary + source;
        if ((source < fill && distance < length) || length <= 16) {
            // Overlapping (the last `distance` bytes repeat), or too short
            // to be worth a call.
            for (uint32_t i = 0; i < length; i++) out[i] = in[i];
        } else {
            // Either apart, or the source lies ahead of the target and is
            // read before it is written over.
            std::memmove(out, in, length);
        }
        fill += length;
    }
    b.Store();
    g_blockRemaining = remaining;
    d.fillPosition = fill;
    d.decodedCount = decodedStart + (fill - fillStart);
}
