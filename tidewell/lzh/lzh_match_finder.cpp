#include "tidewell/lzh/lzh_match_finder.h"

#include <cstring>

namespace {

// Bytes equal at a and b, up to limit; compared eight at a time.
inline unsigned MatchLength(const uint8_t* a, const uint8_t* b, unsigned limit)
{
    unsigned length = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    while (length + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, a + length, 8);
        std::memcpy(&y, b + length, 8);
        if (x != y) return length + unsigned(__builtin_ctzll(x ^ y)) / 8;
        length += 8;
    }
#endif
    while (length < limit && a[length] == b[length]) length++;
    return length;
}

}  // namespace

void LzhMatchStart(LzhMatchFinder* f, uint32_t dictionary, unsigned maxChain, unsigned niceLength)
{
    f->dictionary = dictionary;
    f->filled = LZH_MATCH_DICTIONARY;
    f->maxChain = maxChain;
    f->niceLength = niceLength;
    std::memset(f->head, 0, sizeof f->head);
    std::memset(f->prev, 0, sizeof f->prev);
}

size_t LzhMatchFeed(LzhMatchFinder* f, const uint8_t* data, size_t length)
{
    const size_t room = LZH_MATCH_WINDOW_SIZE - f->filled;
    const size_t take = length < room ? length : room;
    std::memcpy(f->window + f->filled, data, take);
    f->filled += uint32_t(take);
    return take;
}

uint32_t LzhMatchSlide(LzhMatchFinder* f, uint32_t position)
{
    const uint32_t shift = (position - LZH_MATCH_DICTIONARY) & ~uint32_t(LZH_MATCH_DICTIONARY - 1);
    if (shift == 0) return 0;
    std::memmove(f->window, f->window + shift, f->filled - shift);
    f->filled -= shift;
    // Positions that fall off the window become "none".
    for (uint32_t& p : f->head) p = p > shift ? p - shift : 0;
    for (uint32_t& p : f->prev) p = p > shift ? p - shift : 0;
    return shift;
}

unsigned LzhMatchLongest(const LzhMatchFinder* f, uint32_t position, uint32_t candidate, unsigned better,
                         unsigned limit, unsigned* distance)
{
    if (better >= limit) return 0;
    const uint8_t* here = f->window + position;
    const uint32_t lowest = position - f->dictionary;
    unsigned best = better, bestDistance = 0;
    for (unsigned chain = f->maxChain; chain > 0 && candidate != 0 && candidate >= lowest; chain--) {
        const uint8_t* there = f->window + candidate;
        // The byte that would make the match longer than the best decides
        // most candidates at once.
        if (there[best] == here[best] && there[0] == here[0] && there[1] == here[1]) {
            const unsigned length = MatchLength(here, there, limit);
            if (length > best) {
                best = length;
                bestDistance = position - candidate;
                if (length >= f->niceLength || length >= limit) break;
            }
        }
        // The ring of links holds newer positions where older ones were:
        // a link that does not lead back in time ends the chain.
        const uint32_t next = f->prev[candidate & (LZH_MATCH_DICTIONARY - 1)];
        if (next >= candidate) break;
        candidate = next;
    }
    *distance = bestDistance;
    return bestDistance ? best : 0;
}
