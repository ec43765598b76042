// -lh2-: adaptive Huffman symbols (286, matches up to 256 bytes, escape
// symbol 285) and an adaptive position tree that gains a leaf for each
// further 64 bytes of the entry until it covers the dictionary.
#include "tidewell/lzh/lzh_bits.h"
#include "tidewell/lzh/lzh_decoder_internal.h"
#include "tidewell/lzh/lzh_dynamic.h"

namespace {

enum { kLh2Symbols = 286, kLh2MaxMatch = 256, kGrowthStep = 64 };

const int kRoot = LZH_DYN_POSITION_ROOT;
const uint16_t kHeldRootFrequency = 0xFFFF;

void UpdatePosition(int code)
{
    LzhDynamicTree& t = g_lzhDynamic;
    if (t.positionUpdates >= LZH_DYN_REBUILD_AT) {
        LzhDynamicRebuild(kRoot, t.positionLast + 1);
        t.positionUpdates = t.freq[kRoot];
        t.freq[kRoot] = kHeldRootFrequency;
        // The root no longer shares a frequency with its first child.
        if (t.block[kRoot + 1] == t.block[kRoot]) t.leader[t.block[kRoot]] = int16_t(kRoot + 1);
    }
    int node = t.leafNode[LZH_DYN_POSITION_LEAF + code];
    while (node != kRoot) node = LzhDynamicIncrement(node, t.positionLast);
    t.positionUpdates++;
}

// Splits the last (least frequent) leaf into itself and a new leaf of
// frequency 0 for `code`, then counts the new code once.
void AddPositionLeaf(int code)
{
    LzhDynamicTree& t = g_lzhDynamic;
    const int last = t.positionLast;
    const int old = last + 1;
    const int fresh = last + 2;
    t.child[old] = t.child[last];
    t.leafNode[~t.child[old]] = int16_t(old);
    t.child[fresh] = int16_t(~(LZH_DYN_POSITION_LEAF + code));
    t.child[last] = int16_t(fresh);
    t.freq[old] = t.freq[last];
    t.freq[fresh] = 0;
    t.block[old] = t.block[last];
    if (last == kRoot) {
        // From the first split on the root's frequency is held at its top.
        t.freq[kRoot] = kHeldRootFrequency;
        t.leader[t.block[kRoot]]++;
    }
    t.parent[old] = t.parent[fresh] = int16_t(last);
    t.block[fresh] = int16_t(LzhDynamicNewBlock(fresh));
    t.leafNode[LZH_DYN_POSITION_LEAF + code] = int16_t(fresh);
    t.positionLast = fresh;
    UpdatePosition(code);
}

}  // namespace

void LzhLh2Start()
{
    LzhDynamicTree& t = g_lzhDynamic;
    LzhDynamicStartSymbols(kLh2Symbols, kLh2MaxMatch);
    t.freq[kRoot] = 1;
    t.child[kRoot] = int16_t(~LZH_DYN_POSITION_LEAF);
    t.leafNode[LZH_DYN_POSITION_LEAF] = int16_t(kRoot);
    t.block[kRoot] = int16_t(LzhDynamicNewBlock(kRoot));
    t.positionLast = kRoot;
    t.positionUpdates = 0;
    t.nextGrowth = kGrowthStep;
    t.growthLimit = g_lzhDecoder.dictionarySize;
    LzhBitsStart(g_lzhDecoder.file);
}

unsigned LzhLh2NextPosition()
{
    LzhDynamicTree& t = g_lzhDynamic;
    while (g_lzhDecoder.decodedCount > t.nextGrowth) {
        AddPositionLeaf(int(t.nextGrowth / kGrowthStep));
        t.nextGrowth += kGrowthStep;
        if (t.nextGrowth >= t.growthLimit) t.nextGrowth = 0xFFFFFFFFu;  // the tree is complete
    }
    int code = LzhDynamicWalk(kRoot) - LZH_DYN_POSITION_LEAF;
    UpdatePosition(code);
    return (unsigned(code) << 6) + LzhBitsGet(6);
}
