// Adaptive Huffman trees of -lh1- and -lh2-: the symbol tree (root at node
// 0) and, for -lh2-, the position tree (root at node 628) in one node array.
// Nodes stay in order of non-increasing frequency; nodes of equal frequency
// form a block led by its lowest-numbered node.
#pragma once

#include <cstdint>

enum {
    LZH_DYN_MAX_SYMBOLS = 314,
    LZH_DYN_MAX_POSITIONS = 128,
    LZH_DYN_SYMBOL_ROOT = 0,
    LZH_DYN_POSITION_ROOT = 2 * LZH_DYN_MAX_SYMBOLS,
    LZH_DYN_NODES = LZH_DYN_POSITION_ROOT + 2 * LZH_DYN_MAX_POSITIONS,
    // Position leaves carry codes from here on, after the symbols.
    LZH_DYN_POSITION_LEAF = LZH_DYN_MAX_SYMBOLS,
    LZH_DYN_REBUILD_AT = 0x8000
};

struct LzhDynamicTree {
    uint16_t freq[LZH_DYN_NODES];
    // Internal node: the higher-numbered of its two adjacent children (a 0
    // bit selects it, a 1 bit the node below). Leaf: ~code.
    int16_t child[LZH_DYN_NODES];
    int16_t parent[LZH_DYN_NODES];
    int16_t block[LZH_DYN_NODES];    // block id of each node
    int16_t leader[LZH_DYN_NODES];   // lowest node of each block id
    int16_t freeIds[LZH_DYN_NODES];  // block ids from usedIds on are free
    int usedIds;
    int16_t leafNode[LZH_DYN_MAX_SYMBOLS + LZH_DYN_MAX_POSITIONS];
    int symbolLast;            // last node of the symbol tree
    int escape;                // symbol followed by 8 more bits, or -1
    int positionLast;          // last node of the position tree
    uint16_t positionUpdates;  // updates since the position tree's last rebuild
    uint32_t nextGrowth;       // decoded count past which a position leaf is added
    uint32_t growthLimit;
};

extern LzhDynamicTree g_lzhDynamic;

// Fresh symbol tree of `symbols` leaves of frequency 1.
void LzhDynamicStartSymbols(unsigned symbols, unsigned maxMatch);

// Walks from `root` on the bit reader's bits to a leaf; returns its code.
int LzhDynamicWalk(int root);

// Moves `node` to the lead of its block (swapping subtrees), adds 1 to the
// frequency there and returns the parent. `last` is the tree's last node.
int LzhDynamicIncrement(int node, int last);

// Rebuilds the tree in nodes [first, end) with halved leaf frequencies.
void LzhDynamicRebuild(int first, int end);

// Takes a free block id led by `node`.
int LzhDynamicNewBlock(int node);
