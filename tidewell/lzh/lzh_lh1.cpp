// -lh1-: adaptive Huffman symbols (314, matches up to 60 bytes) with the
// fixed position code. The adaptive tree itself is shared with -lh2-.
#include "tidewell/lzh/lzh_bits.h"
#include "tidewell/lzh/lzh_decoder_internal.h"
#include "tidewell/lzh/lzh_dynamic.h"
#include "tidewell/lzh/lzh_table.h"

LzhDynamicTree g_lzhDynamic;

namespace {

enum { kLh1Symbols = 314, kLh1MaxMatch = 60, kLh1PositionCodes = 64 };

// Points the children of a node that now holds `child` back at `node`.
void Relink(int node, int child)
{
    LzhDynamicTree& t = g_lzhDynamic;
    if (child > 0)  // internal: children are nodes child and child - 1
        t.parent[child] = t.parent[child - 1] = int16_t(node);
    else
        t.leafNode[~child] = int16_t(node);
}

void UpdateSymbol(int symbol)
{
    LzhDynamicTree& t = g_lzhDynamic;
    if (t.freq[LZH_DYN_SYMBOL_ROOT] >= LZH_DYN_REBUILD_AT) LzhDynamicRebuild(LZH_DYN_SYMBOL_ROOT, t.symbolLast + 1);
    t.freq[LZH_DYN_SYMBOL_ROOT]++;
    int node = t.leafNode[symbol];
    do node = LzhDynamicIncrement(node, t.symbolLast);
    while (node != LZH_DYN_SYMBOL_ROOT);
}

}  // namespace

int LzhDynamicNewBlock(int node)
{
    LzhDynamicTree& t = g_lzhDynamic;
    // Every block holds a node, so ids never run out; the guard only keeps
    // a broken invariant inside the array.
    if (t.usedIds >= LZH_DYN_NODES) t.usedIds = LZH_DYN_NODES - 1;
    int id = t.freeIds[t.usedIds++];
    t.leader[id] = int16_t(node);
    return id;
}

void LzhDynamicStartSymbols(unsigned symbols, unsigned maxMatch)
{
    LzhDynamicTree& t = g_lzhDynamic;
    t.escape = symbols < maxMatch + 254 ? int(symbols) - 1 : -1;
    for (int i = 0; i < LZH_DYN_NODES; i++) {
        t.freeIds[i] = int16_t(i);
        t.block[i] = 0;
    }
    // Id 0 stays unused ("no block"); id 1 is the block of all leaves.
    t.usedIds = 2;
    const int last = 2 * int(symbols) - 2;
    t.symbolLast = last;
    for (int i = 0; i < int(symbols); i++) {
        int node = last - i;
        t.freq[node] = 1;
        t.child[node] = int16_t(~i);
        t.leafNode[i] = int16_t(node);
        t.block[node] = 1;
    }
    t.leader[1] = int16_t(symbols - 1);
    int pair = last;
    for (int node = int(symbols) - 2; node >= 0; node--, pair -= 2) {
        t.freq[node] = uint16_t(t.freq[pair] + t.freq[pair - 1]);
        t.child[node] = int16_t(pair);
        t.parent[pair] = t.parent[pair - 1] = int16_t(node);
        if (t.freq[node] == t.freq[node + 1]) {
            t.block[node] = t.block[node + 1];
            t.leader[t.block[node]] = int16_t(node);
        } else {
            t.block[node] = int16_t(LzhDynamicNewBlock(node));
        }
    }
}

int LzhDynamicWalk(int root)
{
    const LzhDynamicTree& t = g_lzhDynamic;
    int node = t.child[root];
    while (node > 0) {
        unsigned bit = unsigned(g_lzhBits.bits >> 63);
        LzhBitsAdvance(1);
        node = t.child[node - int(bit)];
    }
    return ~node;
}

int LzhDynamicIncrement(int node, int last)
{
    LzhDynamicTree& t = g_lzhDynamic;
    const int id = t.block[node];
    const int leader = t.leader[id];
    bool leaves = true;  // node leaves block `id` as its frequency grows
    if (leader != node) {
        int mine = t.child[node];
        int theirs = t.child[leader];
        t.child[node] = int16_t(theirs);
        t.child[leader] = int16_t(mine);
        Relink(leader, mine);
        Relink(node, theirs);
        node = leader;
    } else if (!(node < last && t.block[node + 1] == id)) {
        // Alone in its block: it keeps the block unless it joins the one above.
        leaves = false;
        if (t.freq[node] + 1 == t.freq[node - 1]) {
            t.freeIds[--t.usedIds] = int16_t(id);
            t.block[node] = t.block[node - 1];
        }
    }
    if (leaves) {
        t.leader[id]++;
        if (t.freq[node] + 1 == t.freq[node - 1])
            t.block[node] = t.block[node - 1];
        else
            t.block[node] = int16_t(LzhDynamicNewBlock(node));
    }
    t.freq[node]++;
    return t.parent[node];
}

void LzhDynamicRebuild(int first, int end)
{
    LzhDynamicTree& t = g_lzhDynamic;
    // Gather the leaves in order, halving their frequencies (rounded up),
    // and free every block.
    int gathered = first;
    for (int i = first; i < end; i++) {
        if (t.child[i] < 0) {
            t.freq[gathered] = uint16_t((t.freq[i] + 1) / 2);
            t.child[gathered] = t.child[i];
            gathered++;
        }
        if (t.leader[t.block[i]] == i) t.freeIds[--t.usedIds] = t.block[i];
    }
    // Fill from the end: each new internal node joins the pair at l, l + 1
    // and goes ahead of every unplaced leaf whose frequency is not above it.
    int j = gathered - 1;
    int i = end - 1;
    for (int l = end - 2; i >= first; l -= 2) {
        while (i >= l) {
            t.freq[i] = t.freq[j];
            t.child[i] = t.child[j];
            i--, j--;
        }
        unsigned sum = unsigned(t.freq[l]) + t.freq[l + 1];
        int k = first;
        while (k <= j && sum < t.freq[k]) k++;
        while (j >= k) {
            t.freq[i] = t.freq[j];
            t.child[i] = t.child[j];
            i--, j--;
        }
        t.freq[i] = uint16_t(sum);
        t.child[i] = int16_t(l + 1);
        i--;
    }
    int previous = -1;
    int id = 0;
    for (i = first; i < end; i++) {
        Relink(i, t.child[i]);
        if (t.freq[i] == previous)
            t.block[i] = int16_t(id);
        else
            t.block[i] = int16_t(id = LzhDynamicNewBlock(i));
        previous = t.freq[i];
    }
}

unsigned LzhDynamicNextSymbol()
{
    int symbol = LzhDynamicWalk(LZH_DYN_SYMBOL_ROOT);
    UpdateSymbol(symbol);
    if (symbol == g_lzhDynamic.escape) symbol += int(LzhBitsGet(8));
    return unsigned(symbol);
}

void LzhLh1Start()
{
    LzhTables& tables = g_lzhTables;
    LzhDynamicStartSymbols(kLh1Symbols, kLh1MaxMatch);
    LzhFixedLengthsLh1(tables.positionLengths);
    LzhBuildTable(kLh1PositionCodes, tables.positionLengths, LZH_POSITION_BITS, tables.positionTable,
                  &tables.positionTree);
    LzhFixedPositionsStart(kLh1PositionCodes);
    LzhBitsStart(g_lzhDecoder.file);
}
