#include "tidewell/lzh/lzh_encoder.h"

#include <new>

namespace {

// Search effort, chosen on text against a peer archiver's -lh5-.
const unsigned kMaxChain = 256;
const unsigned kNiceLength = 256;
const unsigned kLazyLimit = 128;
// A 3-byte match this far back usually costs more than three literals.
const unsigned kFarForThree = 4096;
const uint32_t kBlockItems = 16384;

// Codes positions while at least `keep` bytes lie ahead of them (a full
// match and one more for the lazy step), or to the end when finishing.
void Code(LzhEncoder* e, bool finishing)
{
    LzhMatchFinder* f = &e->finder;
    const uint32_t keep = finishing ? 1 : LZH_MATCH_MAX + 1;
    while (f->filled - e->position >= keep) {
        const uint32_t here = e->position;
        const unsigned ahead = f->filled - here;
        unsigned length = 0, distance = 0;
        if (ahead >= LZH_MATCH_MIN) {
            const uint32_t chain = LzhMatchInsert(f, here);
            if (!e->pendingLiteral || e->pendingLength < e->lazyLimit) {
                const unsigned limit = ahead < LZH_MATCH_MAX ? ahead : unsigned(LZH_MATCH_MAX);
                const unsigned better = e->pendingLiteral && e->pendingLength ? e->pendingLength : LZH_MATCH_MIN - 1;
                length = LzhMatchLongest(f, here, chain, better, limit, &distance);
                if (length == LZH_MATCH_MIN && distance > kFarForThree) length = 0;
            }
        }
        if (e->pendingLiteral && e->pendingLength >= LZH_MATCH_MIN && length <= e->pendingLength) {
            // The match of the byte before wins: code it and enter the
            // positions it covers into the chains.
            const uint32_t end = here - 1 + e->pendingLength;
            LzhBlockMatch(&e->blocks, e->pendingLength, e->pendingDistance);
            for (uint32_t p = here + 1; p < end; p++)
                if (f->filled - p >= LZH_MATCH_MIN) LzhMatchInsert(f, p);
            e->position = end;
            e->pendingLiteral = false;
            e->pendingLength = 0;
            continue;
        }
        if (e->pendingLiteral) LzhBlockLiteral(&e->blocks, f->window[here - 1]);
        e->pendingLiteral = true;
        e->pendingLength = length;
        e->pendingDistance = distance;
        e->position = here + 1;
    }
    if (finishing && e->pendingLiteral) {
        LzhBlockLiteral(&e->blocks, f->window[e->position - 1]);
        e->pendingLiteral = false;
    }
}

}  // namespace

LzhEncoder* LzhEncoderCreate()
{
    return new (std::nothrow) LzhEncoder;
}

void LzhEncoderDestroy(LzhEncoder* e)
{
    delete e;
}

void LzhEncoderStart(LzhEncoder* e, LzhByteSink sink, unsigned dictionaryBits)
{
    LzhMatchStart(&e->finder, 1u << dictionaryBits, kMaxChain, kNiceLength);
    // A position code per dictionary bit and one more, at least 14.
    LzhBlockStart(&e->blocks, sink, kBlockItems, dictionaryBits < 13 ? 14 : dictionaryBits + 1);
    e->position = LZH_MATCH_DICTIONARY;
    e->pendingLiteral = false;
    e->pendingLength = 0;
    e->pendingDistance = 0;
    e->lazyLimit = kLazyLimit;
}

void LzhEncoderWrite(LzhEncoder* e, const uint8_t* data, size_t length)
{
    while (length > 0) {
        size_t taken = LzhMatchFeed(&e->finder, data, length);
        if (taken == 0) {
            Code(e, false);
            e->position -= LzhMatchSlide(&e->finder, e->position);
            continue;
        }
        data += taken;
        length -= taken;
    }
}

void LzhEncoderFinish(LzhEncoder* e)
{
    Code(e, true);
    LzhBlockFinish(&e->blocks);
}

uint64_t LzhEncoderOutput(const LzhEncoder* e)
{
    return e->blocks.bits.written;
}

bool LzhEncoderFailed(const LzhEncoder* e)
{
    return e->blocks.bits.failed;
}
