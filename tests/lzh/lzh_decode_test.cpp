// Decoding entries: the dictionary frame, the stored methods and each
// compressed method on streams made for the case at hand.
#include <gtest/gtest.h>

#include <random>

#include "tests/lzh/lzh_test_support.h"
#include "tidewell/lzh/lzh_decoder.h"
#include "tidewell/lzh/lzh_decoder_internal.h"
#include "tidewell/lzh/lzh_dynamic.h"
#include "tidewell/lzh/lzh_entry_check.h"

namespace {

Bytes Pattern(size_t size)
{
    Bytes data(size);
    for (size_t i = 0; i < size; i++) data[i] = uint8_t((i * 7 + i / 251) & 0xFF);
    return data;
}

std::vector<LzItem> Literals(const Bytes& data)
{
    std::vector<LzItem> items;
    for (uint8_t b : data) items.push_back(Lit(b));
    return items;
}

// Decodes entry 1 of a one-member archive.
DecodeResult DecodeSingle(const std::string& method, const Bytes& packed, uint32_t originalSize, uint32_t chunk = 32768)
{
    std::string name = "single" + method + ".lzh";
    return DecodeEntry(SingleMemberArchive(name, method, packed, originalSize), 1, chunk);
}

// Reads entry n with a fixed chunk and returns the size of each read.
std::vector<uint32_t> ReadSizes(const std::string& path, uint32_t chunk)
{
    std::vector<uint32_t> sizes;
    LzhArchive archive = {};
    if (LzhOpen(path.c_str(), &archive) == 0 && LzhReadHeaders(&archive) == 0 && LzhSelectEntry(&archive, 1) == 0) {
        Bytes buffer(chunk);
        for (int i = 0; i < 100; i++) {
            uint32_t got = LzhRead(buffer.data(), chunk);
            sizes.push_back(got);
            if (got == 0) break;
        }
    }
    LzhClose(&archive);
    return sizes;
}

TEST(LzhStored, WholeEntryInOneLargeRead)
{
    for (const char* method : {"-lh0-", "-lz4-"}) {
        Bytes data = Pattern(20000);
        std::string path = SingleMemberArchive("stored.lzh", method, data, 20000);
        EXPECT_EQ(ReadSizes(path, 32768), (std::vector<uint32_t>{20000, 0})) << method;
        EXPECT_EQ(ReadSizes(path, 5000), (std::vector<uint32_t>{5000, 5000, 5000, 5000, 0})) << method;
        EXPECT_EQ(DecodeEntry(path, 1, 777).data, data) << method;
    }
}

TEST(LzhStored, FileEndingEarlyEndsTheEntry)
{
    // The header claims 20000 bytes but the file holds 5000 (and the end mark).
    std::string path = SingleMemberArchive("short.lzh", "-lh0-", Pattern(5000), 20000);
    std::vector<uint32_t> sizes = ReadSizes(path, 32768);
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], 5001u);
    EXPECT_EQ(sizes[1], 0u);
}

TEST(LzhFrame, EmptyEntryYieldsNothing)
{
    for (const char* method :
         {"-lh0-", "-lh1-", "-lh2-", "-lh3-", "-lh4-", "-lh5-", "-lzs-", "-lz5-", "-lz4-", "-lh6-", "-lh7-"}) {
        DecodeResult r = DecodeSingle(method, {}, 0);
        EXPECT_EQ(r.select, 0) << method;
        EXPECT_TRUE(r.data.empty()) << method;
    }
}

TEST(LzhFrame, MethodsOutsideTheTableCannotBeStarted)
{
    for (const char* method : {"-lh8-", "-lhd-", "-lzx-", "-lz7-"})
        EXPECT_EQ(DecodeSingle(method, Pattern(10), 10).select, -2) << method;
}

TEST(LzhFrame, ReadWithoutSelectedEntryReturnsNothing)
{
    std::string path = SingleMemberArchive("closed.lzh", "-lh0-", Pattern(100), 100);
    LzhArchive archive = {};
    ASSERT_EQ(LzhOpen(path.c_str(), &archive), 0);
    ASSERT_EQ(LzhReadHeaders(&archive), 0);
    ASSERT_EQ(LzhSelectEntry(&archive, 1), 0);
    uint8_t buffer[10];
    EXPECT_EQ(LzhRead(buffer, 10), 10u);
    LzhClose(&archive);  // abandons the entry with its file
    EXPECT_EQ(LzhRead(buffer, 10), 0u);
    EXPECT_EQ(LzhSelectEntry(&archive, 1), -1);
}

TEST(LzhStatic, LiteralsAndMatchesOfBothDictionarySizes)
{
    std::vector<LzItem> items = Literals(BytesOf("abracadabra, "));
    items.push_back(Match(11, 13));  // "abracadabra"
    items.push_back(Match(256, 1));  // the longest match, overlapping
    items.push_back(Lit('!'));
    items.push_back(Match(3, 300));  // distance beyond what was written: spaces
    Bytes expected = Expand(items);
    for (const char* method : {"-lh4-", "-lh5-"}) {
        DecodeResult r = DecodeSingle(method, EncodeStaticBlock(items), uint32_t(expected.size()));
        EXPECT_EQ(r.data, expected) << method;
    }
}

TEST(LzhStatic, DataEndingOnADictionaryBoundary)
{
    Bytes data = Pattern(16384);
    std::string path = SingleMemberArchive("boundary.lzh", "-lh5-", EncodeStaticBlock(Literals(data)), 16384);
    EXPECT_EQ(ReadSizes(path, 8192), (std::vector<uint32_t>{8192, 8192, 0}));
    EXPECT_EQ(DecodeEntry(path, 1).data, data);
}

TEST(LzhStatic, MatchCutByTheEndOfTheDictionaryContinuesCorrectly)
{
    // Matches end 2 bytes before, exactly at, and 100 bytes past the end of
    // the first dictionary, with sources on either side of the boundary.
    for (uint32_t before : {8190u, 8192u, 8100u}) {
        std::vector<LzItem> items = Literals(Pattern(before - 50));
        items.push_back(Match(50, 4000));
        items.push_back(Match(200, 97));
        items.push_back(Match(256, 8000));
        items.push_back(Match(40, 1));
        Bytes expected = Expand(items);
        std::string path = SingleMemberArchive("cut.lzh", "-lh5-", EncodeStaticBlock(items), uint32_t(expected.size()));
        EXPECT_EQ(DecodeEntry(path, 1, 1000).data, expected) << before;
        // -lh4- wraps at 4 KB: distances must stay inside its dictionary.
        std::vector<LzItem> small = Literals(Pattern(4000));
        small.push_back(Match(200, 4096));
        small.push_back(Match(100, 3));
        Bytes smallExpected = Expand(small);
        path = SingleMemberArchive("cut4.lzh", "-lh4-", EncodeStaticBlock(small), uint32_t(smallExpected.size()));
        EXPECT_EQ(DecodeEntry(path, 1, 333).data, smallExpected);
    }
}

TEST(LzhStatic, LargeDictionariesReachBackTheirWholeWindow)
{
    struct Case {
        const char* method;
        unsigned positionCodes;
        uint32_t window;
    };
    for (const Case& c : {Case{"-lh6-", 16, 32768}, Case{"-lh7-", 17, 65536}}) {
        SCOPED_TRACE(c.method);
        // Noise nearly a window long, then the farthest distance (into the
        // spaces before the start), one just inside the noise, and matches
        // that run on across the end of the dictionary, twice.
        std::vector<LzItem> items = Literals(RandomBytes(c.window - 1000, 31));
        items.push_back(Match(256, c.window));
        items.push_back(Match(200, c.window - 300));
        while (Expand(items).size() < 2 * c.window + 700) items.push_back(Match(255, c.window - 1));
        const Bytes expected = Expand(items);
        const Bytes packed = EncodeStaticBlock(items, c.positionCodes);
        std::string path = SingleMemberArchive("large.lzh", c.method, packed, uint32_t(expected.size()));
        for (uint32_t chunk : {32768u, 1000u}) EXPECT_EQ(DecodeEntry(path, 1, chunk).data, expected) << chunk;

        // Only these entries take the large dictionary, until their archive
        // is closed; the -lh5- decoder refuses the 5-bit count of the stream.
        LzhArchive archive = {};
        ASSERT_EQ(LzhOpen(path.c_str(), &archive), 0);
        ASSERT_EQ(LzhReadHeaders(&archive), 0);
        EXPECT_EQ(g_lzhDecoder.largeDictionary, nullptr);
        ASSERT_EQ(LzhSelectEntry(&archive, 1), 0);
        EXPECT_NE(g_lzhDecoder.largeDictionary, nullptr);
        uint8_t first;
        ASSERT_EQ(LzhRead(&first, 1), 1u);
        EXPECT_EQ(g_lzhDecoder.available, c.window - 1);  // decoded a dictionary at a time
        LzhClose(&archive);
        EXPECT_EQ(g_lzhDecoder.largeDictionary, nullptr);
        path = SingleMemberArchive("large5.lzh", "-lh5-", packed, uint32_t(expected.size()));
        EXPECT_NE(DecodeEntry(path, 1).data, expected);
    }
}

TEST(LzhStatic, FinalMatchRunningPastTheSizeIsCut)
{
    std::vector<LzItem> items = Literals(BytesOf("xyz"));
    items.push_back(Match(100, 3));
    Bytes expected = Expand(items);
    expected.resize(50);
    EXPECT_EQ(DecodeSingle("-lh5-", EncodeStaticBlock(items), 50).data, expected);
}

TEST(LzhStatic, SingleSymbolBlocksConsumeNoCodeBits)
{
    // Every count 0: the code-length code, the symbol code and the position
    // code each use one value alone.
    BitWriter w;
    w.Put(5, 16);  // block of 5 symbols
    w.Put(0, 5);
    w.Put(0, 5);  // code-length code: unused
    w.Put(0, 9);
    w.Put('Q', 9);  // every symbol is 'Q'
    w.Put(0, 4);
    w.Put(0, 4);  // position: unused
    EXPECT_EQ(DecodeSingle("-lh5-", w.Finish(), 5).data, BytesOf("QQQQQ"));
}

TEST(LzhStatic, OverlongCountsRunsAndLengthsStayInsideTheTables)
{
    // Symbol count 511 (one above the alphabet), zero runs of 531 from a
    // code-length code that only knows "run of 20 + 9 bits", 15 position
    // lengths (one too many) of 20 bits each: all cut to the tables' sizes.
    BitWriter w;
    w.Put(40, 16);
    w.Put(0, 5);
    w.Put(2, 5);  // every code-length lookup: a long zero run
    w.Put(511, 9);
    w.Put(511, 9);  // 531 zeros
    w.Put(15, 4);
    for (int i = 0; i < 15; i++) w.Put(0xFFFE, 17);  // 111 + thirteen 1 bits + 0: length 20
    for (int i = 0; i < 64; i++) w.Put(0x5A, 8);
    DecodeResult r = DecodeSingle("-lh5-", w.Finish(), 3000);
    EXPECT_EQ(r.select, 0);
    EXPECT_LE(r.data.size(), 3000u);
}

TEST(LzhStatic, DamagedDataEndsAtTheEndOfTheFile)
{
    // An original size of 4 GB over 64 bytes of noise: the decoder writes
    // nothing outside its tables and stops soon after the data runs out.
    std::mt19937 random(7);
    for (const char* method : {"-lh1-", "-lh2-", "-lh3-", "-lh4-", "-lh5-", "-lzs-", "-lz5-", "-lh6-", "-lh7-"}) {
        for (int round = 0; round < 20; round++) {
            Bytes noise(64);
            for (uint8_t& b : noise) b = uint8_t(random());
            DecodeResult r = DecodeSingle(method, noise, 0xFFFFFFFFu);
            EXPECT_EQ(r.select, 0);
            EXPECT_LT(r.data.size(), 64u << 20) << method;
        }
    }
}

TEST(LzhLh3, ThreeOnesMakeASingleValueBlock)
{
    BitWriter w;
    w.Put(6, 16);  // block of 6 symbols
    for (int i = 0; i < 3; i++) {
        w.Put(1, 1);
        w.Put(0, 4);  // length 1
    }
    w.Put('k', 9);  // the block's only value
    w.Put(0, 1);    // fixed position code
    w.Put(3, 16);   // next block: 3 symbols
    for (int i = 0; i < 3; i++) {
        w.Put(1, 1);
        w.Put(0, 4);
    }
    w.Put(256, 9);  // a match of 3 bytes
    w.Put(1, 1);    // position lengths follow: three ones again
    for (int i = 0; i < 3; i++) w.Put(1, 4);
    w.Put(0, 7);  // position code 0 alone
    w.Put(5, 6);  // low bits: distance 6
    w.Put(1, 6);  // distance 2
    w.Put(0, 6);  // distance 1
    Bytes expected = BytesOf("kkkkkkkkkkkkkkk");
    EXPECT_EQ(DecodeSingle("-lh3-", w.Finish(), 15).data, expected);
}

TEST(LzhLh3, SentAndFixedCodesWithTheExtendedSymbol)
{
    // Symbol lengths of 9 for all 286 symbols (codes = symbol numbers), then
    // 128 position lengths of 7 (codes = position numbers).
    BitWriter w;
    w.Put(4, 16);
    for (int i = 0; i < 286; i++) {
        w.Put(1, 1);
        w.Put(8, 4);
    }
    w.Put(1, 1);
    for (int i = 0; i < 128; i++) w.Put(7, 4);
    w.Put('a', 9);
    w.Put('b', 9);
    w.Put(285, 9);  // match of 285 - 253 + 100 = 132 bytes
    w.Put(100, 8);
    w.Put(0, 7);  // position code 0, low bits 1: distance 2
    w.Put(1, 6);
    w.Put('c', 9);
    std::vector<LzItem> items = {Lit('a'), Lit('b'), Match(132, 2), Lit('c')};
    Bytes expected = Expand(items);
    EXPECT_EQ(DecodeSingle("-lh3-", w.Finish(), uint32_t(expected.size())).data, expected);

    // Fixed position codes of every length (2 to 9 bits; the 9-bit ones
    // lie beyond the 8-bit table), reaching back up to 8,191 bytes: 7,000
    // literals in one block, then a block whose every symbol is a 3-byte
    // match (three-ones shortcut) with the fixed table.
    struct FixedCode {
        unsigned position, code, bits;
    };
    const FixedCode fixed[] = {{0, 0, 2},    {2, 5, 4},     {5, 14, 5},    {12, 36, 6},  {30, 91, 7}, {77, 230, 8},
                               {78, 462, 9}, {100, 484, 9}, {127, 511, 9}, {31, 184, 8}, {13, 74, 7}, {1, 4, 4}};
    BitWriter f;
    std::vector<LzItem> fixedItems = Literals(Pattern(7000));
    f.Put(7000, 16);
    for (int i = 0; i < 286; i++) {
        f.Put(1, 1);
        f.Put(8, 4);
    }
    f.Put(0, 1);  // fixed position code (unused in this block)
    for (size_t i = 0; i < 7000; i++) f.Put(fixedItems[i].literal, 9);
    f.Put(uint32_t(sizeof fixed / sizeof fixed[0]), 16);
    for (int i = 0; i < 3; i++) {
        f.Put(1, 1);
        f.Put(0, 4);
    }
    f.Put(256, 9);
    f.Put(0, 1);
    unsigned low = 0;
    for (const FixedCode& c : fixed) {
        low = (low + 23) & 63;
        f.Put(c.code, c.bits);
        f.Put(low, 6);
        fixedItems.push_back(Match(3, c.position * 64 + low + 1));
    }
    Bytes fixedExpected = Expand(fixedItems);
    EXPECT_EQ(DecodeSingle("-lh3-", f.Finish(), uint32_t(fixedExpected.size())).data, fixedExpected);
}

TEST(LzhLzs, MatchAtTheStartCopiesSpaces)
{
    // m + 17 is where the copy starts; nothing written yet there but spaces.
    std::vector<LzItem> items = {Match(5, 100 + 1), Lit('x'), Match(17, 2047 + 1)};
    Bytes expected = BytesOf("     x");
    expected.insert(expected.end(), 17, ' ');
    EXPECT_EQ(DecodeSingle("-lzs-", EncodeLzs(items), uint32_t(expected.size())).data, expected);
}

TEST(LzhLzs, StoredPositionsCountFromTheRingStart)
{
    // The first byte written lands at ring position 2031 (= -17 & 0x7FF).
    std::vector<LzItem> items = Literals(BytesOf("hello"));
    items.push_back(Match(4, 2031 + 1));  // copies "hell"
    items.push_back(Match(3, 2034 + 1));  // copies "loh" from positions 3 to 5
    Bytes expected = BytesOf("hellohellloh");
    EXPECT_EQ(DecodeSingle("-lzs-", EncodeLzs(items), uint32_t(expected.size())).data, expected);
}

TEST(LzhLz5, MatchesIntoThePresetDictionary)
{
    struct Case {
        uint32_t m;
        uint32_t length;
        Bytes expected;
    };
    Bytes ascending, descending;
    for (int i = 0; i < 18; i++) {
        ascending.push_back(uint8_t(i));
        descending.push_back(uint8_t(255 - i));
    }
    const Case cases[] = {
        {0, 13, Bytes(13, 0)},  // thirteen 0 bytes at offset 18
        {13 * 65, 14, Bytes{65, 65, 65, 65, 65, 65, 65, 65, 65, 65, 65, 65, 65, 66}},
        {3328, 18, ascending},       // 0, 1, 2, ...
        {3584, 18, descending},      // 255, 254, ...
        {3840, 18, Bytes(18, 0)},    // the zero run
        {3968, 18, Bytes(18, ' ')},  // spaces up to the end
    };
    for (const Case& c : cases) {
        std::vector<LzItem> items = {Match(c.length, c.m + 1)};
        EXPECT_EQ(DecodeSingle("-lz5-", EncodeLz5(items), c.length).data, c.expected) << c.m;
    }
}

TEST(LzhLz5, PresetStartsWithEighteenZerosThatMatchTheStoredCrc)
{
    // Flag byte 0, then a match at position 0xFEE of length 18: with an
    // empty history it copies the 18 bytes ahead of the byte-value runs.
    TestMember m;
    m.method = "-lz5-";
    m.name = "zeros.bin";
    m.packed = {0x00, 0xEE, 0xFF};
    m.originalSize = 18;
    m.dataCrc = Crc16(Bytes(18, 0));
    std::string path = WriteScratchFile("lz5zeros.lzh", WithEndMark(Member(2, m)));
    LzhArchive archive = {};
    ASSERT_EQ(LzhOpen(path.c_str(), &archive), 0);
    ASSERT_EQ(LzhReadHeaders(&archive), 0);
    ASSERT_EQ(LzhSelectEntry(&archive, 1), 0);
    LzhEntryCheck check;
    LzhCheckStart(&check, LzhGetEntry(&archive, 1));
    Bytes data = ReadSelectedEntry(7);
    LzhCheckAdd(&check, data.data(), uint32_t(data.size()));
    EXPECT_EQ(data, Bytes(18, 0));
    EXPECT_EQ(LzhCheckFinish(&check), LZH_CHECK_OK);
    LzhClose(&archive);
}

TEST(LzhLz5, LiteralsFlagsAndRingPositions)
{
    // Ring position 4078 (= -18 & 0xFFF) holds the first byte written.
    std::vector<LzItem> items = Literals(BytesOf("0123456789"));  // two flag bytes
    items.push_back(Match(10, 4078 + 1));
    items.push_back(Match(18, 4078 + 1));
    Bytes expected = BytesOf("0123456789012345678901234567890123456789");
    expected.resize(38);
    EXPECT_EQ(DecodeSingle("-lz5-", EncodeLz5(items), 38).data, expected);
}

// Checks the adaptive tree's order and links.
void ExpectSoundTree(int root, int last)
{
    const LzhDynamicTree& t = g_lzhDynamic;
    for (int node = root + 1; node <= last; node++) {
        if (node > root + 1) {
            ASSERT_GE(t.freq[node - 1], t.freq[node]) << node;
        }
        ASSERT_EQ(t.leader[t.block[node]] <= node, true) << node;
        int child = t.child[node];
        if (child >= 0) {
            ASSERT_EQ(t.parent[child], node);
            ASSERT_EQ(t.parent[child - 1], node);
        } else {
            ASSERT_EQ(t.leafNode[~child], node);
        }
    }
}

TEST(LzhLh2, PositionTreeGrowsEvery64BytesUpToTheDictionary)
{
    std::mt19937 random(3);
    for (uint32_t size : {100u, 1000u, 5000u, 30000u}) {
        Bytes noise(size);
        for (uint8_t& b : noise) b = uint8_t(random());
        DecodeResult r = DecodeSingle("-lh2-", noise, size);
        ASSERT_EQ(r.data.size(), size);
        const LzhDynamicTree& t = g_lzhDynamic;
        int leaves = (t.positionLast - LZH_DYN_POSITION_ROOT) / 2 + 1;
        // A leaf for each multiple of 64 passed before the last match ...
        EXPECT_LE(leaves, int((size + 63) / 64)) << size;
        EXPECT_LE(leaves, 128);
        if (size > 8192 + 1000) {
            EXPECT_EQ(leaves, 128);  // ... until the dictionary is covered
        } else {
            EXPECT_GE(leaves, int(size / 64) - 8) << size;
        }
        ExpectSoundTree(LZH_DYN_POSITION_ROOT, t.positionLast);
        ExpectSoundTree(LZH_DYN_SYMBOL_ROOT, t.symbolLast);
    }
}

TEST(LzhLh1, AdaptiveTreeStaysSoundThroughRebuilds)
{
    // Over 0x8000 symbols push the root's frequency to its rebuild point.
    std::mt19937 random(5);
    Bytes noise(150000);
    for (uint8_t& b : noise) b = uint8_t(random() & random());  // skewed bits, skewed symbols
    DecodeResult r = DecodeSingle("-lh1-", noise, 500000);
    EXPECT_EQ(r.data.size(), 500000u);
    ExpectSoundTree(LZH_DYN_SYMBOL_ROOT, g_lzhDynamic.symbolLast);
    EXPECT_EQ(g_lzhDynamic.symbolLast, 2 * 314 - 2);
    EXPECT_EQ(g_lzhDynamic.escape, -1);
}

}  // namespace
