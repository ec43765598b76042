#include "tidewell/lzh/lzh_table.h"

#include "tidewell/lzh/lzh_bits.h"

LzhTables g_lzhTables;

int LzhBuildTable(unsigned n, const uint8_t* lengths, unsigned tableBits, uint16_t* table, LzhTree* tree)
{
    const unsigned tableSize = 1u << tableBits;
    const unsigned spare = 16 - tableBits;

    unsigned count[LZH_MAX_CODE_LENGTH + 1] = {};
    for (unsigned i = 0; i < n; i++)
        if (lengths[i] <= LZH_MAX_CODE_LENGTH) count[lengths[i]]++;

    // First code of each length, in 16-bit arithmetic; 17 bits of room tell
    // an over-full set from a complete one.
    uint32_t start[LZH_MAX_CODE_LENGTH + 2];
    uint32_t weight[LZH_MAX_CODE_LENGTH + 1];
    start[1] = 0;
    for (unsigned k = 1; k <= LZH_MAX_CODE_LENGTH; k++) start[k + 1] = start[k] + (count[k] << (16 - k));
    const int result = start[LZH_MAX_CODE_LENGTH + 1] > 0x10000 ? 1 : 0;
    for (unsigned k = 1; k <= LZH_MAX_CODE_LENGTH + 1; k++) start[k] &= 0xFFFF;

    for (unsigned k = 1; k <= LZH_MAX_CODE_LENGTH; k++) {
        if (k <= tableBits) {
            start[k] >>= spare;
            weight[k] = 1u << (tableBits - k);
        } else {
            weight[k] = 1u << (16 - k);
        }
    }

    // Entries past the short codes are where the long codes' trees hang.
    unsigned firstLong = start[tableBits + 1] >> spare;
    if (firstLong != 0)
        for (unsigned i = firstLong; i < tableSize; i++) table[i] = 0;

    unsigned avail = n;  // next free tree node
    const unsigned treeMask = 1u << (15 - tableBits);
    for (unsigned symbol = 0; symbol < n; symbol++) {
        const unsigned k = lengths[symbol];
        if (k == 0 || k > LZH_MAX_CODE_LENGTH) continue;
        const uint32_t code = start[k];
        start[k] = (start[k] + weight[k]) & 0xFFFF;
        if (k <= tableBits) {
            unsigned end = code + weight[k];
            if (end > tableSize) end = tableSize;  // only an over-full set gets here
            for (unsigned i = code; i < end; i++) table[i] = uint16_t(symbol);
            continue;
        }
        uint16_t* link = &table[code >> spare];
        unsigned bits = code;
        bool placed = true;
        for (unsigned depth = k - tableBits; depth != 0; depth--) {
            if (*link == 0) {
                if (avail >= LZH_TREE_NODES) {
                    placed = false;  // over-full: no room for this code
                    break;
                }
                tree->left[avail] = tree->right[avail] = 0;
                *link = uint16_t(avail++);
            }
            link = (bits & treeMask) ? &tree->right[*link] : &tree->left[*link];
            bits <<= 1;
        }
        if (placed) *link = uint16_t(symbol);
    }
    return result;
}

unsigned LzhLookupLong(unsigned value, unsigned tableBits, unsigned n, const uint8_t* lengths, const LzhTree* tree)
{
    // Walk the tree on the window bits below the table index. The walk is
    // bounded by the window, which also ends any loop that damaged tables
    // could form.
    const unsigned window = LzhBitsWindow();
    for (unsigned mask = 1u << (15 - tableBits); mask != 0; mask >>= 1) {
        value = (window & mask) ? tree->right[value] : tree->left[value];
        if (value < n) {
            unsigned length = lengths[value];
            LzhBitsAdvance(length > tableBits ? length : tableBits);
            return value;
        }
    }
    LzhBitsAdvance(16);
    return 0;
}

void LzhFillTable(uint16_t* table, unsigned tableBits, unsigned value)
{
    for (unsigned i = 0; i < (1u << tableBits); i++) table[i] = uint16_t(value);
}

void LzhUseSingleCode(uint8_t* lengths, unsigned n, uint16_t* table, unsigned tableBits, unsigned value)
{
    for (unsigned i = 0; i < n; i++) lengths[i] = 0;
    LzhFillTable(table, tableBits, value);
}
