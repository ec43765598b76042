#include "marrowby/app/settings_format.h"

#include <string.h>

#include <vector>

#include <gtest/gtest.h>

#include "settings_sample.h"

namespace {

std::vector<uint8_t> Encoded(const ProgramSettings& s)
{
    std::vector<uint8_t> out(kSettingsSize);
    EncodeSettings(s, out.data());
    return out;
}

uint32_t ReadLe(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(SettingsFormat, DefaultsFillTheDocumentedValues)
{
    ProgramSettings s;
    memset(&s, 0xFF, sizeof(s));
    SetDefaultSettings(&s, "C:\\Tools\\");
    EXPECT_EQ(10, s.reserved);
    EXPECT_EQ(2, s.maxSimultaneous);
    EXPECT_EQ(0, s.autoStart);
    EXPECT_EQ(0, s.removeOnSuccess);
    EXPECT_EQ(60000u, s.idleTimeoutMs);
    EXPECT_EQ(0, s.useProxy);
    EXPECT_STREQ("C:\\Tools\\default.wrg", s.listPath);
    // Everything else, magic included, is zero.
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&s);
    for (size_t i = offsetof(ProgramSettings, proxyAddress); i < offsetof(ProgramSettings, listPath); ++i) {
        ASSERT_EQ(0, bytes[i]) << "offset " << i;
    }
    for (size_t i = offsetof(ProgramSettings, listPath) + strlen(s.listPath); i < kSettingsSize; ++i) {
        ASSERT_EQ(0, bytes[i]) << "offset " << i;
    }
    EXPECT_EQ(0, memcmp(s.magic, "\0\0\0\0", 4));
}

TEST(SettingsFormat, StoredFormIsLittleEndianAtTheFixedOffsets)
{
    ProgramSettings s = FilledSettings();
    memcpy(s.magic, "XXXX", 4);
    std::vector<uint8_t> b = Encoded(s);
    EXPECT_EQ(0, memcmp(b.data(), "VORN", 4));  // forced on every write
    EXPECT_EQ(0x04, b[4]);
    EXPECT_EQ(0x01, b[7]);
    EXPECT_EQ(static_cast<uint32_t>(-7), ReadLe(b, 8));
    EXPECT_EQ(5u, ReadLe(b, 12));
    EXPECT_EQ(1u, ReadLe(b, 16));
    EXPECT_EQ(0x98, b[20]);
    EXPECT_EQ(0xFEDCBA98u, ReadLe(b, 20));
    EXPECT_EQ(77u, ReadLe(b, 24));
    EXPECT_EQ(1u, ReadLe(b, 28));
    EXPECT_EQ(0, memcmp(b.data() + 32, "proxy.example:3128", 19));
    EXPECT_EQ(0, memcmp(b.data() + 1185, "\x83\x5C\x83\x74\x83\x67", 7));
    EXPECT_EQ(0, memcmp(b.data() + 1234, "pa=ss", 6));
    EXPECT_EQ(0, memcmp(b.data() + 1283, "D:\\\x95\x5C\\dl", 8));
    EXPECT_EQ(0, memcmp(b.data() + 1547, "E:\\lists\\mine.wrg", 18));
    EXPECT_EQ(0xA5, b[kSettingsSize - 1]);  // bytes after the NUL kept
}

TEST(SettingsFormat, RoundTripKeepsEveryByte)
{
    ProgramSettings s = FilledSettings();
    std::vector<uint8_t> b = Encoded(s);
    ProgramSettings back;
    memset(&back, 0, sizeof(back));
    ASSERT_EQ(0, DecodeSettings(b.data(), b.size(), &back));
    memcpy(s.magic, "VORN", 4);
    EXPECT_EQ(0, memcmp(&s, &back, kSettingsSize));
    EXPECT_EQ(-7, back.maxSimultaneous);
    EXPECT_EQ(0xFEDCBA98u, back.idleTimeoutMs);
}

TEST(SettingsFormat, ShortOrForeignDataIsRefusedAndLeavesTheRecord)
{
    ProgramSettings s = FilledSettings();
    std::vector<uint8_t> b = Encoded(s);
    ProgramSettings target;
    memset(&target, 0x11, sizeof(target));
    EXPECT_EQ(1, DecodeSettings(b.data(), kSettingsSize - 1, &target));
    EXPECT_EQ(1, DecodeSettings(nullptr, 0, &target));
    b[3] = 'X';
    EXPECT_EQ(1, DecodeSettings(b.data(), b.size(), &target));
    b[3] = 'N';
    b[0] = 'v';  // the magic is compared exactly
    EXPECT_EQ(1, DecodeSettings(b.data(), b.size(), &target));
    for (size_t i = 0; i < sizeof(target); ++i) {
        ASSERT_EQ(0x11, reinterpret_cast<const uint8_t*>(&target)[i]);
    }
}

TEST(SettingsFormat, LongerDataUsesTheFirstRecord)
{
    ProgramSettings s = FilledSettings();
    std::vector<uint8_t> b = Encoded(s);
    b.resize(3000, 0x5A);
    ProgramSettings back;
    ASSERT_EQ(0, DecodeSettings(b.data(), b.size(), &back));
    EXPECT_STREQ("E:\\lists\\mine.wrg", back.listPath);
    EXPECT_EQ(1, back.useProxy);
}

TEST(SettingsFormat, TextsWithoutTheirNulReadAsEmpty)
{
    ProgramSettings s = FilledSettings();
    std::vector<uint8_t> b = Encoded(s);
    memset(b.data() + offsetof(ProgramSettings, proxyAddress), 'p', kProxyAddressSize);
    memset(b.data() + offsetof(ProgramSettings, listPath), 'l', kListPathSize);
    ProgramSettings back;
    ASSERT_EQ(0, DecodeSettings(b.data(), b.size(), &back));
    EXPECT_STREQ("", back.proxyAddress);
    EXPECT_STREQ("", back.listPath);
    EXPECT_STREQ(s.defaultFolder, back.defaultFolder);  // whole texts stay as they are
    // Only the first byte changes: the rest is written back as it was read.
    std::vector<uint8_t> again = Encoded(back);
    b[offsetof(ProgramSettings, proxyAddress)] = '\0';
    b[offsetof(ProgramSettings, listPath)] = '\0';
    EXPECT_EQ(b, again);
}

std::vector<uint8_t> Block(const ExtraSettings& extra)
{
    std::vector<uint8_t> out(kSettingsBlockMaxSize);
    out.resize(EncodeSettingsBlock(extra, out.data()));
    return out;
}

void PutLe(std::vector<uint8_t>* b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The hash as a reader checks it, computed here on its own: version, length,
// then the fields.
void Rehash(std::vector<uint8_t>* b)
{
    uint32_t hash = 2166136261u;
    for (size_t i = 4; i < b->size(); ++i) {
        if (i >= 12 && i < 16) continue;
        hash = (hash ^ (*b)[i]) * 16777619u;
    }
    PutLe(b, 12, hash);
}

ExtraSettings Decoded(const std::vector<uint8_t>& b, int expectedResult)
{
    ExtraSettings extra;
    memset(&extra, 0x77, sizeof(extra));
    EXPECT_EQ(expectedResult, DecodeSettingsBlock(b.data(), b.size(), &extra));
    return extra;
}

// The block after the record: a written file carries both, the record's
// reader takes the same record from it, and the block reads back.
TEST(SettingsBlock, FileWithTheBlockRoundTripsAndKeepsTheRecord)
{
    ExtraSettings extra;
    SetDefaultExtraSettings(&extra);
    EXPECT_EQ(1, extra.balloonNotices);
    EXPECT_EQ(0u, extra.laterLength);
    extra.balloonNotices = 0;
    std::vector<uint8_t> file = Encoded(FilledSettings());
    std::vector<uint8_t> block = Block(extra);
    ASSERT_GE(block.size(), kSettingsBlockHeaderSize + 4);
    EXPECT_EQ(0, memcmp(block.data(), "VRNX", 4));
    EXPECT_EQ(kSettingsBlockVersion, ReadLe(block, 4));
    EXPECT_EQ(block.size() - kSettingsBlockHeaderSize, ReadLe(block, 8));
    file.insert(file.end(), block.begin(), block.end());

    ProgramSettings record;
    ASSERT_EQ(0, DecodeSettings(file.data(), file.size(), &record));
    EXPECT_EQ(0, memcmp(&record, file.data(), kSettingsSize));
    ExtraSettings back;
    ASSERT_EQ(0, DecodeSettingsBlock(file.data() + kSettingsSize, file.size() - kSettingsSize, &back));
    EXPECT_EQ(0, back.balloonNotices);
    EXPECT_EQ(block, Block(back));
}

// No block, a cut one, one with any byte changed, or a foreign one: every
// option takes its default.
TEST(SettingsBlock, MissingCutOrGarbledBlocksGiveTheDefaults)
{
    ExtraSettings defaults;
    SetDefaultExtraSettings(&defaults);
    ExtraSettings extra = defaults;
    extra.balloonNotices = 0;
    std::vector<uint8_t> good = Block(extra);
    EXPECT_EQ(0, Decoded(good, 0).balloonNotices);

    ExtraSettings none;
    memset(&none, 0x77, sizeof(none));
    EXPECT_EQ(1, DecodeSettingsBlock(nullptr, 0, &none));
    EXPECT_EQ(0, memcmp(&defaults, &none, sizeof(none)));
    for (size_t cut = 0; cut < good.size(); ++cut) {
        std::vector<uint8_t> b(good.begin(), good.begin() + cut);
        ExtraSettings got = Decoded(b, 1);
        ASSERT_EQ(0, memcmp(&defaults, &got, sizeof(got))) << "cut at " << cut;
    }
    for (size_t at = 0; at < good.size(); ++at) {
        std::vector<uint8_t> b = good;
        b[at] ^= 0x10;
        ExtraSettings got = Decoded(b, 1);
        ASSERT_EQ(0, memcmp(&defaults, &got, sizeof(got))) << "byte " << at;
    }
    // Well-formed but impossible: version 0, a length that is not whole
    // fields, a length past the end.
    for (auto [at, value] : {std::pair<size_t, uint32_t>{4, 0}, {8, 3}, {8, 400}}) {
        std::vector<uint8_t> b = good;
        PutLe(&b, at, value);
        Rehash(&b);
        EXPECT_EQ(1, Decoded(b, 1).balloonNotices) << at << "=" << value;
    }
}

// A block from a later program: more fields than this one knows, a higher
// version. The known fields are read, a value out of bounds takes its
// default, and the unknown fields go out again with the next save. A block
// from an earlier program, without this program's fields, gives their
// defaults.
TEST(SettingsBlock, LaterAndEarlierBlocksReadTheFieldsTheyShare)
{
    ExtraSettings extra;
    SetDefaultExtraSettings(&extra);
    extra.balloonNotices = 0;
    std::vector<uint8_t> later = Block(extra);
    size_t known = later.size() - kSettingsBlockHeaderSize;
    for (uint32_t v : {0xA1A2A3A4u, 5u, 0xFFFFFFFFu}) {
        later.resize(later.size() + 4);
        PutLe(&later, later.size() - 4, v);
    }
    PutLe(&later, 4, kSettingsBlockVersion + 3);
    PutLe(&later, 8, static_cast<uint32_t>(later.size() - kSettingsBlockHeaderSize));
    Rehash(&later);
    ExtraSettings read = Decoded(later, 0);
    EXPECT_EQ(0, read.balloonNotices);
    ASSERT_EQ(12u, read.laterLength);
    std::vector<uint8_t> again = Block(read);
    ASSERT_EQ(later.size(), again.size());
    EXPECT_EQ(0, memcmp(later.data() + kSettingsBlockHeaderSize, again.data() + kSettingsBlockHeaderSize,
                        later.size() - kSettingsBlockHeaderSize));
    EXPECT_EQ(0, Decoded(again, 0).balloonNotices);

    std::vector<uint8_t> outOfBounds = later;
    PutLe(&outOfBounds, kSettingsBlockHeaderSize, 7);
    Rehash(&outOfBounds);
    EXPECT_EQ(1, Decoded(outOfBounds, 0).balloonNotices);

    std::vector<uint8_t> earlier(later.begin(), later.begin() + kSettingsBlockHeaderSize);
    PutLe(&earlier, 8, 0);
    Rehash(&earlier);
    ExtraSettings old = Decoded(earlier, 0);
    EXPECT_EQ(1, old.balloonNotices);
    EXPECT_EQ(4, old.segmentsPerItem);
    EXPECT_EQ(0, old.speedLimitKBps);
    EXPECT_EQ(16, old.connectionsAtMost);
    EXPECT_EQ(0u, old.laterLength);
    EXPECT_EQ(known, Block(old).size() - kSettingsBlockHeaderSize);
}

}  // namespace

namespace {

// The transfer options: defaults, bounds, and a block of the first version
// (the balloon option alone) that gives them their defaults.
TEST(SettingsBlock, TransferOptionsKeepTheirBounds)
{
    ExtraSettings extra;
    SetDefaultExtraSettings(&extra);
    EXPECT_EQ(4, extra.segmentsPerItem);
    EXPECT_EQ(0, extra.speedLimitKBps);
    EXPECT_EQ(16, extra.connectionsAtMost);
    extra.segmentsPerItem = 16;
    extra.speedLimitKBps = 2000;
    extra.connectionsAtMost = 1;
    std::vector<uint8_t> block = Block(extra);
    ExtraSettings back = Decoded(block, 0);
    EXPECT_EQ(16, back.segmentsPerItem);
    EXPECT_EQ(2000, back.speedLimitKBps);
    EXPECT_EQ(1, back.connectionsAtMost);

    // segments 17, a negative limit, no connection: each alone falls back.
    auto with = [&block](size_t field, uint32_t value) {
        std::vector<uint8_t> b = block;
        PutLe(&b, kSettingsBlockHeaderSize + 4 * field, value);
        Rehash(&b);
        return Decoded(b, 0);
    };
    ExtraSettings got = with(1, 17);
    EXPECT_EQ(4, got.segmentsPerItem);
    EXPECT_EQ(2000, got.speedLimitKBps);
    got = with(2, 0xFFFFFFFFu);
    EXPECT_EQ(0, got.speedLimitKBps);
    EXPECT_EQ(16, got.segmentsPerItem);
    got = with(3, 0);
    EXPECT_EQ(16, got.connectionsAtMost);
    EXPECT_EQ(2000, got.speedLimitKBps);

    std::vector<uint8_t> first = block;
    first.resize(kSettingsBlockHeaderSize + 4);
    PutLe(&first, 8, 4);
    Rehash(&first);
    ExtraSettings old = Decoded(first, 0);
    EXPECT_EQ(4, old.segmentsPerItem);
    EXPECT_EQ(16, old.connectionsAtMost);
}

}  // namespace
