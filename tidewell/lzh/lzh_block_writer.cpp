#include "tidewell/lzh/lzh_block_writer.h"

#include <cstring>

#include "tidewell/lzh/lzh_huffman.h"

namespace {

enum {
    kCodeLengthSymbols = 19,  // 0-2 zero runs, 3-18 lengths 1-16
    kSymbolCountBits = 9,
    kCodeLengthCountBits = 5,
    kCodeLengthSpecial = 3,  // after this many code-length lengths, a zero run
    kNoSpecial = -1
};

// One complete code: lengths, codes and how many symbols it uses.
struct Code {
    uint8_t lengths[LZH_BLOCK_SYMBOLS];
    uint16_t codes[LZH_BLOCK_SYMBOLS];
    unsigned used;
    unsigned single;  // the symbol when only one (or none) is used
};

void MakeCode(const uint32_t* freq, unsigned n, Code* code)
{
    code->used = LzhMakeCodeLengths(freq, n, LZH_HUFFMAN_MAX_LENGTH, code->lengths);
    code->single = 0;
    for (unsigned s = 0; s < n; s++)
        if (freq[s] != 0) code->single = s;
    LzhMakeCodes(code->lengths, n, code->codes);
}

inline void PutSymbol(LzhBitWriter* bits, const Code& code, unsigned symbol)
{
    if (code.used > 1)  // a code used alone costs no bits
        LzhPutBits(bits, code.codes[symbol], code.lengths[symbol]);
}

// Code lengths of the code-length code or of the position code: 3 bits up
// to 6, then 7 and more in unary ("111", one 1 per step, a closing 0).
// After `special` lengths, 2 bits say how many of the next three are 0.
void PutSmallLengths(LzhBitWriter* bits, const Code& code, unsigned entries, unsigned countBits, int special)
{
    if (code.used < 2) {
        LzhPutBits(bits, 0, countBits);
        LzhPutBits(bits, code.single, countBits);
        return;
    }
    unsigned n = entries;
    while (n > 0 && code.lengths[n - 1] == 0) n--;
    LzhPutBits(bits, n, countBits);
    unsigned i = 0;
    while (i < n) {
        const unsigned length = code.lengths[i++];
        if (length <= 6)
            LzhPutBits(bits, length, 3);
        else
            LzhPutBits(bits, (1u << (length - 3)) - 2, length - 3);
        if (int(i) == special) {
            unsigned zeros = 0;
            while (zeros < 3 && i + zeros < n && code.lengths[i + zeros] == 0) zeros++;
            LzhPutBits(bits, zeros, 2);
            i += zeros;
        }
    }
}

// The symbol lengths as code-length symbols: 0 one zero, 1 a run of 3 to
// 18 zeros (4 more bits), 2 a run of 20 or more (9 more bits), 3 and up a
// length of that minus 2.
struct LengthItems {
    uint8_t symbol[LZH_BLOCK_SYMBOLS + 1];
    uint16_t extra[LZH_BLOCK_SYMBOLS + 1];
    unsigned count;
    unsigned sent;  // symbol lengths sent (the last used symbol's number + 1)
};

void AddLengthItem(LengthItems* items, unsigned symbol, unsigned extra, uint32_t* freq)
{
    items->symbol[items->count] = uint8_t(symbol);
    items->extra[items->count++] = uint16_t(extra);
    freq[symbol]++;
}

void SymbolLengthItems(const uint8_t* lengths, LengthItems* items, uint32_t* freq)
{
    unsigned n = LZH_BLOCK_SYMBOLS;
    while (n > 0 && lengths[n - 1] == 0) n--;
    items->count = 0;
    items->sent = n;
    for (unsigned i = 0; i < n;) {
        if (lengths[i] != 0) {
            AddLengthItem(items, lengths[i++] + 2u, 0, freq);
            continue;
        }
        unsigned run = 0;
        while (i < n && lengths[i] == 0) {
            run++;
            i++;
        }
        if (run <= 2) {
            while (run--) AddLengthItem(items, 0, 0, freq);
        } else if (run <= 18) {
            AddLengthItem(items, 1, run - 3, freq);
        } else if (run == 19) {
            AddLengthItem(items, 0, 0, freq);
            AddLengthItem(items, 1, 15, freq);
        } else {
            AddLengthItem(items, 2, run - 20, freq);
        }
    }
}

void PutSymbolLengths(LzhBitWriter* bits, const LengthItems& items, const Code& lengthCode)
{
    LzhPutBits(bits, items.sent, kSymbolCountBits);
    for (unsigned i = 0; i < items.count; i++) {
        const unsigned symbol = items.symbol[i];
        PutSymbol(bits, lengthCode, symbol);
        if (symbol == 1)
            LzhPutBits(bits, items.extra[i], 4);
        else if (symbol == 2)
            LzhPutBits(bits, items.extra[i], kSymbolCountBits);
    }
}

void PutHead(LzhBlockWriter* w, const Code& symbols, const Code& positions)
{
    LzhBitWriter* bits = &w->bits;
    LzhPutBits(bits, w->count, 16);
    if (symbols.used < 2) {
        // One symbol alone: no code-length code is needed (sent as the
        // single value 0), then the symbol itself.
        LzhPutBits(bits, 0, kCodeLengthCountBits);
        LzhPutBits(bits, 0, kCodeLengthCountBits);
        LzhPutBits(bits, 0, kSymbolCountBits);
        LzhPutBits(bits, symbols.single, kSymbolCountBits);
    } else {
        LengthItems items;
        uint32_t freq[kCodeLengthSymbols] = {};
        SymbolLengthItems(symbols.lengths, &items, freq);
        Code lengthCode;
        MakeCode(freq, kCodeLengthSymbols, &lengthCode);
        PutSmallLengths(bits, lengthCode, kCodeLengthSymbols, kCodeLengthCountBits, kCodeLengthSpecial);
        PutSymbolLengths(bits, items, lengthCode);
    }
    // More than 14 position codes (-lh6-, -lh7-) are counted in 5 bits.
    PutSmallLengths(bits, positions, w->positionCodes, w->positionCodes > 14 ? 5 : 4, kNoSpecial);
}

void PutItems(LzhBlockWriter* w, const Code& symbols, const Code& positions)
{
    LzhBitWriter* bits = &w->bits;
    for (uint32_t i = 0; i < w->count; i++) {
        const unsigned symbol = w->symbols[i];
        PutSymbol(bits, symbols, symbol);
        if (symbol < 256) continue;
        const unsigned p = w->distances[i];
        const unsigned j = LzhPositionCode(p);
        PutSymbol(bits, positions, j);
        if (j > 1) LzhPutBits(bits, p - (1u << (j - 1)), j - 1);
    }
}

}  // namespace

void LzhBlockStart(LzhBlockWriter* w, LzhByteSink sink, uint32_t itemLimit, unsigned positionCodes)
{
    w->positionCodes = positionCodes;
    LzhBitWriterStart(&w->bits, sink);
    w->itemLimit = itemLimit == 0 || itemLimit > LZH_BLOCK_MAX_ITEMS ? uint32_t(LZH_BLOCK_MAX_ITEMS) : itemLimit;
    w->count = 0;
    std::memset(w->symbolFreq, 0, sizeof w->symbolFreq);
    std::memset(w->positionFreq, 0, sizeof w->positionFreq);
}

void LzhBlockFlush(LzhBlockWriter* w)
{
    if (w->count == 0) return;
    Code symbols, positions;
    MakeCode(w->symbolFreq, LZH_BLOCK_SYMBOLS, &symbols);
    MakeCode(w->positionFreq, w->positionCodes, &positions);
    PutHead(w, symbols, positions);
    PutItems(w, symbols, positions);
    w->count = 0;
    std::memset(w->symbolFreq, 0, sizeof w->symbolFreq);
    std::memset(w->positionFreq, 0, sizeof w->positionFreq);
}

void LzhBlockFinish(LzhBlockWriter* w)
{
    LzhBlockFlush(w);
    LzhBitWriterFinish(&w->bits);
}
