// The decoding frame: method table, entry start, dictionary filling and
// handing out of the decoded bytes.
#include "tidewell/lzh/lzh_decoder.h"

#include <cstring>
#include <new>

#include "tidewell/lzh/lzh_bits.h"
#include "tidewell/lzh/lzh_decoder_internal.h"

LzhDecoderState g_lzhDecoder = {};

namespace {

struct LzhMethod {
    char id[6];
    unsigned dictionaryBits;
    unsigned lengthBias;  // symbol minus bias = match length
    bool stored;
    unsigned positionCodes;      // static-Huffman methods: position codes and
    unsigned positionCountBits;  // the width of their count in a block head
    LzhMethodOps ops;
};

const LzhMethodOps kStaticOps = {LzhStaticStart, LzhStaticNextSymbol, LzhStaticNextPosition, LzhStaticRun};

const LzhMethod kMethods[] = {
    {"-lh0-", 13, 253, true, 0, 0, {nullptr, nullptr, nullptr, nullptr}},
    {"-lh1-", 12, 253, false, 0, 0, {LzhLh1Start, LzhDynamicNextSymbol, LzhFixedNextPosition, nullptr}},
    {"-lh2-", 13, 253, false, 0, 0, {LzhLh2Start, LzhDynamicNextSymbol, LzhLh2NextPosition, nullptr}},
    {"-lh3-", 13, 253, false, 0, 0, {LzhLh3Start, LzhLh3NextSymbol, LzhFixedNextPosition, nullptr}},
    {"-lh4-", 12, 253, false, 14, 4, kStaticOps},
    {"-lh5-", 13, 253, false, 14, 4, kStaticOps},
    {"-lzs-", 11, 254, false, 0, 0, {LzhLzsStart, LzhLzsNextSymbol, LzhLzsNextPosition, nullptr}},
    {"-lz5-", 12, 253, false, 0, 0, {LzhLz5Start, LzhLz5NextSymbol, LzhLz5NextPosition, nullptr}},
    {"-lz4-", 13, 253, true, 0, 0, {nullptr, nullptr, nullptr, nullptr}},
    // The -lh5- decoder on larger dictionaries: a position code per
    // dictionary bit and one more, counted in 5 bits.
    {"-lh6-", 15, 253, false, 16, 5, kStaticOps},
    {"-lh7-", 16, 253, false, 17, 5, kStaticOps},
};

const int kMethodCount = int(sizeof kMethods / sizeof kMethods[0]);

int FindMethod(const char* id)
{
    for (int i = 0; i < kMethodCount; i++)
        if (std::memcmp(kMethods[i].id, id, 5) == 0) return i;
    return -1;
}

// The small dictionary is fixed storage; the large one is taken only when
// an entry needs it and kept until its archive is closed.
uint8_t* DictionaryFor(uint32_t size)
{
    LzhDecoderState& d = g_lzhDecoder;
    if (size <= LZH_SMALL_DICTIONARY) return d.smallDictionary;
    if (!d.largeDictionary) d.largeDictionary = new (std::nothrow) uint8_t[LZH_LARGE_DICTIONARY];
    return d.largeDictionary;
}

}  // namespace

bool LzhCopyMatch(uint32_t source, uint32_t length)
{
    LzhDecoderState& d = g_lzhDecoder;
    uint32_t room = d.dictionarySize - d.fillPosition;
    uint32_t now = length < room ? length : room;
    uint8_t* out = d.dictionary + d.fillPosition;
    if (source + now <= d.dictionarySize) {
        const uint8_t* in = d.dictionary + source;
        for (uint32_t i = 0; i < now; i++) out[i] = in[i];
    } else {
        for (uint32_t i = 0; i < now; i++) out[i] = d.dictionary[(source + i) & d.mask];
    }
    d.fillPosition += now;
    d.decodedCount += now;
    if (now < length) {
        d.pending = true;
        d.pendingLength = length - now;
        d.pendingSource = (source + now) & d.mask;
    }
    return d.fillPosition < d.dictionarySize;
}

namespace {

// Decodes until the dictionary is full or the entry is complete.
void LzhFill()
{
    LzhDecoderState& d = g_lzhDecoder;
    d.available = 0;
    d.readPosition = 0;
    if (d.decodedCount >= d.originalSize) {
        d.finished = true;
        return;
    }
    d.fillPosition = 0;
    if (d.stored) {
        LzhFillStored();
        return;
    }
    bool room = true;
    if (d.pending) {
        d.pending = false;
        room = LzhCopyMatch(d.pendingSource, d.pendingLength);
    }
    if (room && d.ops.run) {
        d.ops.run();
        room = false;
    }
    while (room && d.decodedCount < d.originalSize) {
        // Damaged data that runs on past the end of the file ends the entry
        // instead of decoding the 0xFF padding for as long as it claims.
        if (LzhBitsOverrun()) {
            d.finished = true;
            break;
        }
        unsigned symbol = d.ops.nextSymbol();
        if (symbol < 256) {
            d.dictionary[d.fillPosition++] = uint8_t(symbol);
            d.decodedCount++;
            room = d.fillPosition < d.dictionarySize;
            continue;
        }
        uint32_t length = symbol - d.lengthBias;
        uint32_t position = d.ops.nextPosition();
        room = LzhCopyMatch((d.fillPosition - position - 1) & d.mask, length);
    }
    // A final match may run past the original size; those bytes are not
    // part of the entry.
    uint32_t beyond = d.decodedCount > d.originalSize ? uint32_t(d.decodedCount - d.originalSize) : 0;
    d.available = d.fillPosition - beyond;
}

}  // namespace

int LzhStartDecoder(LzhArchive* archive)
{
    LzhDecoderState& d = g_lzhDecoder;
    d.archive = nullptr;
    d.finished = true;
    d.available = 0;
    const LzhEntry* entry = archive->current;
    if (!entry) return 2;
    const int method = FindMethod(entry->method);
    if (method < 0) return 2;
    if (LzhFileSeek(&archive->file, entry->dataPosition) != 0) return 1;
    const uint32_t dictionarySize = 1u << kMethods[method].dictionaryBits;
    uint8_t* dictionary = DictionaryFor(dictionarySize);
    if (!dictionary) return 3;

    d.archive = archive;
    d.file = &archive->file;
    d.method = method;
    d.stored = kMethods[method].stored;
    d.ops = kMethods[method].ops;
    d.dictionary = dictionary;
    d.dictionarySize = dictionarySize;
    d.mask = d.dictionarySize - 1;
    d.positionCodes = kMethods[method].positionCodes;
    d.positionCountBits = kMethods[method].positionCountBits;
    std::memset(d.dictionary, ' ', d.dictionarySize);
    d.finished = false;
    d.originalSize = entry->originalSize;
    if (d.ops.start) d.ops.start();
    d.lengthBias = kMethods[method].lengthBias;
    d.fillPosition = 0;
    d.readPosition = 0;
    d.available = 0;
    d.decodedCount = 0;
    d.pending = false;
    return 0;
}

int LzhSelectEntry(LzhArchive* archive, int32_t n)
{
    LzhEntry* entry = LzhGetEntry(archive, n);
    if (!entry) return -1;
    archive->current = entry;
    return LzhStartDecoder(archive) == 0 ? 0 : -2;
}

uint32_t LzhRead(uint8_t* buffer, uint32_t length)
{
    LzhDecoderState& d = g_lzhDecoder;
    uint32_t copied = 0;
    while (copied < length) {
        if (d.available == 0) {
            if (d.finished || !d.archive) break;
            LzhFill();
            continue;
        }
        uint32_t take = length - copied < d.available ? length - copied : d.available;
        std::memcpy(buffer + copied, d.dictionary + d.readPosition, take);
        d.readPosition += take;
        d.available -= take;
        copied += take;
    }
    return copied;
}

void LzhDecoderForget(const LzhArchive* archive)
{
    LzhDecoderState& d = g_lzhDecoder;
    if (d.archive != archive && d.archive) return;
    d.archive = nullptr;
    d.file = nullptr;
    d.finished = true;
    d.available = 0;
    d.dictionary = d.smallDictionary;
    delete[] d.largeDictionary;
    d.largeDictionary = nullptr;
}
