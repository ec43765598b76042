#include "tidewell/lzh/lzh_huffman.h"

#include <algorithm>

namespace {

// Depth of each leaf of a Huffman tree over `weights` (ascending), built
// with two queues: the leaves in order, and the merged nodes, which are
// made in order of non-decreasing weight too.
void LeafDepths(const uint32_t* weights, unsigned used, unsigned* depths)
{
    const unsigned nodes = 2 * used - 1;
    uint64_t weight[2 * LZH_HUFFMAN_MAX_SYMBOLS];
    unsigned parent[2 * LZH_HUFFMAN_MAX_SYMBOLS];
    for (unsigned i = 0; i < used; i++) weight[i] = weights[i];
    unsigned nextLeaf = 0, nextMerged = used;
    for (unsigned made = used; made < nodes; made++) {
        unsigned pair[2];
        for (unsigned& pick : pair) {
            bool leaf = nextLeaf < used && (nextMerged >= made || weight[nextLeaf] <= weight[nextMerged]);
            pick = leaf ? nextLeaf++ : nextMerged++;
        }
        weight[made] = weight[pair[0]] + weight[pair[1]];
        parent[pair[0]] = parent[pair[1]] = made;
    }
    // Parents come after their children: walk down from the root.
    unsigned depth[2 * LZH_HUFFMAN_MAX_SYMBOLS];
    depth[nodes - 1] = 0;
    for (unsigned node = nodes - 1; node-- > 0;) depth[node] = depth[parent[node]] + 1;
    for (unsigned i = 0; i < used; i++) depths[i] = depth[i];
}

// Clamps the codes deeper than maxLength and rebalances the count of codes
// per length so that they again form a complete code. Each step turns a
// leaf above the limit into a node over itself and one clamped leaf, which
// takes exactly one 2^-maxLength unit off the over-full total.
void LimitLengths(unsigned* count, unsigned maxLength, unsigned deepest)
{
    uint64_t total = 0;  // in units of 2^-maxLength
    for (unsigned length = maxLength + 1; length <= deepest; length++) {
        count[maxLength] += count[length];
        count[length] = 0;
    }
    for (unsigned length = 1; length <= maxLength; length++) total += uint64_t(count[length]) << (maxLength - length);
    const uint64_t full = uint64_t(1) << maxLength;
    while (total > full) {
        unsigned length = maxLength - 1;
        while (length > 0 && count[length] == 0) length--;
        if (length == 0 || count[maxLength] == 0) break;  // cannot happen for a Huffman tree's depths
        count[length]--;
        count[length + 1] += 2;
        count[maxLength]--;
        total--;
    }
}

}  // namespace

unsigned LzhMakeCodeLengths(const uint32_t* freq, unsigned n, unsigned maxLength, uint8_t* lengths)
{
    uint16_t order[LZH_HUFFMAN_MAX_SYMBOLS] = {};  // only the first `used` are sorted; zeroed for the analyser
    unsigned used = 0;
    for (unsigned s = 0; s < n; s++) {
        lengths[s] = 0;
        if (freq[s] != 0) order[used++] = uint16_t(s);
    }
    if (used < 2) return used;
    // Least frequent first; equal frequencies in symbol order, so that the
    // result depends on the frequencies alone.
    std::sort(order, order + used,
              [freq](uint16_t a, uint16_t b) { return freq[a] != freq[b] ? freq[a] < freq[b] : a < b; });
    uint32_t weights[LZH_HUFFMAN_MAX_SYMBOLS];
    for (unsigned i = 0; i < used; i++) weights[i] = freq[order[i]];
    unsigned depths[LZH_HUFFMAN_MAX_SYMBOLS];
    LeafDepths(weights, used, depths);

    unsigned count[LZH_HUFFMAN_MAX_SYMBOLS + 1] = {};
    unsigned deepest = 0;
    for (unsigned i = 0; i < used; i++) {
        count[depths[i]]++;
        deepest = std::max(deepest, depths[i]);
    }
    if (deepest > maxLength) LimitLengths(count, maxLength, deepest);
    // The longest codes go to the least frequent symbols.
    unsigned next = 0;
    for (unsigned length = std::min(deepest, maxLength); length >= 1; length--)
        for (unsigned k = 0; k < count[length]; k++) lengths[order[next++]] = uint8_t(length);
    return used;
}

void LzhMakeCodes(const uint8_t* lengths, unsigned n, uint16_t* codes)
{
    unsigned count[LZH_HUFFMAN_MAX_LENGTH + 1] = {};
    for (unsigned s = 0; s < n; s++) count[lengths[s]]++;
    // First code of each length, left-aligned in 16 bits as the decoder
    // counts them, then shifted down to the code's own length.
    uint16_t start[LZH_HUFFMAN_MAX_LENGTH + 2];
    uint32_t first = 0;
    for (unsigned length = 1; length <= LZH_HUFFMAN_MAX_LENGTH; length++) {
        start[length] = uint16_t(first >> (16 - length));
        first += uint32_t(count[length]) << (16 - length);
    }
    for (unsigned s = 0; s < n; s++) codes[s] = lengths[s] ? start[lengths[s]]++ : 0;
}
