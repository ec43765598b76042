// Huffman code construction for the -lh5- packer: code lengths from symbol
// frequencies, limited to a maximum length, and the canonical codes the
// decoder's table build assigns to those lengths.
#pragma once

#include <cstdint>

enum { LZH_HUFFMAN_MAX_SYMBOLS = 512, LZH_HUFFMAN_MAX_LENGTH = 16 };

// Fills lengths[0..n) with a complete prefix code for the symbols of
// non-zero frequency, no code longer than maxLength (at most 16) bits;
// unused symbols get 0. With fewer than two used symbols every length is 0
// (the format sends such a code as the single value instead). Returns the
// number of used symbols.
unsigned LzhMakeCodeLengths(const uint32_t* freq, unsigned n, unsigned maxLength, uint8_t* lengths);

// Canonical codes: shorter codes first, equal lengths in symbol order.
void LzhMakeCodes(const uint8_t* lengths, unsigned n, uint16_t* codes);
