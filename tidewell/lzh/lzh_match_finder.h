// Match finder of the packer: a sliding window over the input with hash
// chains of 3-byte prefixes, searched for the longest earlier match within
// the dictionary (8 KB for -lh5-, 64 KB for -lh7-).
#pragma once

#include <cstddef>
#include <cstdint>

enum {
    LZH_MATCH_DICTIONARY = 65536,  // the largest dictionary: the window keeps this much
    LZH_MATCH_MIN = 3,
    LZH_MATCH_MAX = 256,
    LZH_MATCH_HASH_BITS = 15,
    // New input the window holds beyond the dictionary before it slides.
    LZH_MATCH_WINDOW_DATA = 1 << 18,
    LZH_MATCH_WINDOW_SIZE = LZH_MATCH_DICTIONARY + LZH_MATCH_WINDOW_DATA,
    LZH_MATCH_WINDOW_SLACK = 8  // word-wise comparing may look this far past the data
};

// Positions are indices into `window`; 0 stands for none. The input starts
// at index LZH_MATCH_DICTIONARY, so every real position is above 0, and a
// slide moves the window by a multiple of the dictionary size, so that
// `prev` (indexed by position modulo the dictionary) stays in place.
struct LzhMatchFinder {
    uint32_t dictionary;  // farthest distance the decoder reaches
    uint32_t filled;      // end of the input in the window
    unsigned maxChain;    // chain links followed per search
    unsigned niceLength;  // a match this long ends the search
    uint32_t head[1u << LZH_MATCH_HASH_BITS];
    uint32_t prev[LZH_MATCH_DICTIONARY];
    uint8_t window[LZH_MATCH_WINDOW_SIZE + LZH_MATCH_WINDOW_SLACK];
};

void LzhMatchStart(LzhMatchFinder* f, uint32_t dictionary, unsigned maxChain, unsigned niceLength);

// Copies as much of the input as fits after the window's data; returns how
// many bytes were taken (0 when the window is full: slide first).
size_t LzhMatchFeed(LzhMatchFinder* f, const uint8_t* data, size_t length);

// Drops input older than the dictionary before `position` to make room;
// returns how far positions moved down (subtract it from every position
// the caller holds), 0 when nothing could move.
uint32_t LzhMatchSlide(LzhMatchFinder* f, uint32_t position);

// Enters `position` (3 bytes must follow it) into its hash chain and
// returns the previous head of that chain, where a search starts.
inline uint32_t LzhMatchInsert(LzhMatchFinder* f, uint32_t position)
{
    const uint8_t* p = f->window + position;
    const uint32_t key = (uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]) * 2654435761u;
    const uint32_t hash = key >> (32 - LZH_MATCH_HASH_BITS);
    const uint32_t first = f->head[hash];
    f->prev[position & (LZH_MATCH_DICTIONARY - 1)] = first;
    f->head[hash] = position;
    return first;
}

// Longest match for `position` longer than `better`, following the chain
// from `candidate`, at most `limit` bytes long. Returns its length (0 when
// none is longer than `better`) and its distance in *distance.
unsigned LzhMatchLongest(const LzhMatchFinder* f, uint32_t position, uint32_t candidate, unsigned better,
                         unsigned limit, unsigned* distance);
