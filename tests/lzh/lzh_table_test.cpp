// The table builder with its lookup, and the bit reader at the end of the file.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/lzh/lzh_test_support.h"
#include "tidewell/lzh/lzh_bits.h"
#include "tidewell/lzh/lzh_fixed_positions.h"
#include "tidewell/lzh/lzh_table.h"

namespace {

// Points the bit reader at a file holding `bits`.
struct BitSource {
    LzhFile file = {};
    explicit BitSource(const Bytes& data, const char* name = "bits.bin")
    {
        LzhFileOpen(&file, WriteScratchFile(name, data).c_str());
        LzhBitsStart(&file);
    }
    ~BitSource() { LzhFileClose(&file); }
};

// Canonical codes of `lengths`, as (code, length) per symbol.
std::vector<std::pair<uint32_t, unsigned>> CanonicalCodes(const std::vector<uint8_t>& lengths)
{
    std::vector<std::pair<uint32_t, unsigned>> codes(lengths.size());
    uint32_t code = 0;
    for (unsigned length = 1; length <= 16; length++) {
        for (size_t s = 0; s < lengths.size(); s++)
            if (lengths[s] == length) codes[s] = {code++, length};
        code <<= 1;
    }
    return codes;
}

struct TableCase {
    std::vector<uint8_t> lengths;
    unsigned tableBits;
};

// Encodes every symbol once, in order, then decodes them through the table.
void RoundTrip(const TableCase& c)
{
    static uint16_t table[4096];
    static LzhTree tree;
    const unsigned n = unsigned(c.lengths.size());
    ASSERT_EQ(LzhBuildTable(n, c.lengths.data(), c.tableBits, table, &tree), 0);
    auto codes = CanonicalCodes(c.lengths);
    BitWriter w;
    std::vector<unsigned> sent;
    for (unsigned s = 0; s < n; s++)
        if (c.lengths[s]) {
            w.Put(codes[s].first, codes[s].second);
            sent.push_back(s);
        }
    w.Put(0xA5, 8);
    BitSource source(w.Finish());
    for (unsigned s : sent) ASSERT_EQ(LzhLookup(table, c.tableBits, n, c.lengths.data(), &tree), s);
    EXPECT_EQ(LzhBitsGet(8), 0xA5u);  // exactly the code bits were used
}

TEST(LzhTable, ShortCodesOnly)
{
    RoundTrip({{2, 2, 3, 3, 3, 3}, 8});
}

TEST(LzhTable, CodesLongerThanTheTableWalkTheTree)
{
    // 1, 2, ..., 15, 16, 16: a complete code with most lengths beyond 8 bits.
    std::vector<uint8_t> lengths;
    for (uint8_t k = 1; k <= 16; k++) lengths.push_back(k);
    lengths.push_back(16);
    RoundTrip({lengths, 8});
    RoundTrip({lengths, 12});
}

TEST(LzhTable, FixedPositionTablesAreCompleteCodes)
{
    uint8_t lh1[64], lh3[128];
    LzhFixedLengthsLh1(lh1);
    LzhFixedLengthsLh3(lh3);
    EXPECT_EQ(lh1[0], 3);
    EXPECT_EQ(lh1[3], 4);
    EXPECT_EQ(lh1[4], 5);
    EXPECT_EQ(lh1[47], 7);
    EXPECT_EQ(lh1[63], 8);
    EXPECT_EQ(lh3[0], 2);
    EXPECT_EQ(lh3[1], 4);
    EXPECT_EQ(lh3[2], 4);
    EXPECT_EQ(lh3[3], 5);
    EXPECT_EQ(lh3[30], 7);
    EXPECT_EQ(lh3[31], 8);
    EXPECT_EQ(lh3[78], 9);
    EXPECT_EQ(lh3[127], 9);
    RoundTrip({std::vector<uint8_t>(lh1, lh1 + 64), 8});
    RoundTrip({std::vector<uint8_t>(lh3, lh3 + 128), 8});
}

TEST(LzhTable, OverFullAndOverlongLengthsStayInsideTheTables)
{
    // Guard zones around the table and tree catch any write outside them.
    struct Guarded {
        uint16_t before[64];
        uint16_t table[256];
        uint16_t after[64];
        LzhTree tree;
        uint16_t tail[64];
    };
    static Guarded g;
    std::memset(&g, 0xEE, sizeof g);
    // Every symbol of length 1 (hugely over-full), then lengths above 16,
    // then all 16 (a long-code tree far beyond what fits).
    std::vector<std::vector<uint8_t>> sets = {std::vector<uint8_t>(510, 1), std::vector<uint8_t>(510, 20),
                                              std::vector<uint8_t>(510, 16), std::vector<uint8_t>(128, 15)};
    for (const auto& lengths : sets) {
        LzhBuildTable(unsigned(lengths.size()), lengths.data(), 8, g.table, &g.tree);
        for (int i = 0; i < 64; i++) {
            ASSERT_EQ(g.before[i], 0xEEEE);
            ASSERT_EQ(g.after[i], 0xEEEE);
            ASSERT_EQ(g.tail[i], 0xEEEE);
        }
        for (uint16_t v : g.table) ASSERT_LT(v, LZH_TREE_NODES);
        // Whatever the bits, a lookup returns a symbol of the set.
        Bytes noise;
        for (int i = 0; i < 64; i++) noise.push_back(uint8_t(i * 37 + 11));
        BitSource source(noise);
        for (int i = 0; i < 100; i++)
            ASSERT_LT(LzhLookup(g.table, 8, unsigned(lengths.size()), lengths.data(), &g.tree), lengths.size());
    }
    EXPECT_EQ(LzhBuildTable(510, sets[0].data(), 8, g.table, &g.tree), 1);
}

TEST(LzhTable, SingleValueTableConsumesNoBits)
{
    static uint16_t table[256];
    static LzhTree tree;
    uint8_t lengths[19] = {};
    LzhFillTable(table, 8, 11);
    LzhBuildTable(19, lengths, 8, table, &tree);  // all unused: leaves the fill
    BitSource source({0x12, 0x34});
    EXPECT_EQ(LzhLookup(table, 8, 19, lengths, &tree), 11u);
    EXPECT_EQ(LzhBitsWindow(), 0x1234u);
}

TEST(LzhBits, WindowAndGetAreMostSignificantBitFirst)
{
    BitSource source({0xA5, 0x3C, 0x0F});
    EXPECT_EQ(LzhBitsWindow(), 0xA53Cu);
    EXPECT_EQ(LzhBitsGet(4), 0xAu);
    EXPECT_EQ(LzhBitsGet(8), 0x53u);
    EXPECT_EQ(LzhBitsWindow(), 0xC0FFu);  // 0xFF from past the end
    EXPECT_EQ(LzhBitsGet(12), 0xC0Fu);
}

TEST(LzhBits, PastTheEndOfTheFileReadsOnesAndReportsOverrun)
{
    BitSource source({0x81, 0x7E});
    EXPECT_FALSE(LzhBitsOverrun());  // the window looks ahead, nothing consumed yet
    EXPECT_EQ(LzhBitsGet(16), 0x817Eu);
    EXPECT_FALSE(LzhBitsOverrun());  // exactly at the end
    EXPECT_EQ(LzhBitsWindow(), 0xFFFFu);
    LzhBitsAdvance(1);
    EXPECT_TRUE(LzhBitsOverrun());
    // Reading on never blocks or fails: it keeps supplying ones.
    for (int i = 0; i < 1000; i++) ASSERT_EQ(LzhBitsGet(16), 0xFFFFu);
}

TEST(LzhBits, EmptyFile)
{
    BitSource source({}, "empty.bin");
    EXPECT_EQ(LzhBitsWindow(), 0xFFFFu);
    EXPECT_FALSE(LzhBitsOverrun());
    LzhBitsAdvance(3);
    EXPECT_TRUE(LzhBitsOverrun());
}

}  // namespace
