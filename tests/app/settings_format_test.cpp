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

}  // namespace
