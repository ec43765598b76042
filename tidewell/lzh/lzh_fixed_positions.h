// Position codes of -lh1- and -lh3-: a code from the 8-bit position table
// followed by 6 low bits. Their fixed code tables (64 and 128 codes) are
// kept as a start length and the code numbers where the length grows by one.
#pragma once

#include <cstdint>

// Writes `count` code lengths for the table with the given start length
// and growth points (ascending, `points` of them).
void LzhFixedLengths(unsigned count, unsigned startLength, const unsigned* growth, unsigned points, uint8_t* lengths);

// Lengths of the 64 position codes of -lh1- and the 128 of -lh3-.
void LzhFixedLengthsLh1(uint8_t* lengths);
void LzhFixedLengthsLh3(uint8_t* lengths);

// Sets how many position codes the entry's method has (64 or 128).
void LzhFixedPositionsStart(unsigned codes);

// Distance code: position code * 64 + 6 more bits.
unsigned LzhFixedNextPosition();
