// Expected checksums as people paste them: kinds told by length, spaces and
// prefixes, the stored form, and what is refused.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "marrowby/app/checksum_text.h"
#include "marrowby/app/list_format.h"

namespace {

std::string Stored(const char* text)
{
    Checksum checksum;
    if (ParseChecksum(text, &checksum) != kChecksumParsed) return "refused";
    char out[kChecksumTextSize];
    FormatChecksum(checksum, out, sizeof(out));
    return out;
}

TEST(ChecksumText, KindsPrefixesSpacesAndTheStoredForm)
{
    const std::string sha256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    EXPECT_EQ("sha256:" + sha256, Stored(sha256.c_str()));
    EXPECT_EQ("sha256:" + sha256, Stored(("  SHA256:" + sha256.substr(0, 10) + " " + sha256.substr(10) + " ").c_str()));
    std::string upper = sha256;
    for (char& c : upper) c = static_cast<char>(toupper(c));
    EXPECT_EQ("sha256:" + sha256, Stored(("sha256: " + upper).c_str()));
    EXPECT_EQ("sha1:da39a3ee5e6b4b0d3255bfef95601890afd80709",
              Stored("da39 a3ee 5e6b 4b0d 3255 bfef 9560 1890 afd8 0709"));
    EXPECT_EQ("md5:d41d8cd98f00b204e9800998ecf8427e", Stored("MD5:D41D8CD98F00B204E9800998ECF8427E"));
    EXPECT_EQ(Stored(Stored(sha256.c_str()).c_str()), Stored(sha256.c_str()));  // the stored form reads back

    Checksum checksum;
    EXPECT_EQ(kChecksumEmpty, ParseChecksum("   ", &checksum));
    EXPECT_EQ(kChecksumNone, checksum.kind);
    EXPECT_EQ(kChecksumNotHex, ParseChecksum(("x" + sha256.substr(1)).c_str(), &checksum));
    EXPECT_EQ(kChecksumNotHex, ParseChecksum(("crc32:" + sha256).c_str(), &checksum));
    EXPECT_EQ(kChecksumBadLength, ParseChecksum(sha256.substr(1).c_str(), &checksum));
    EXPECT_EQ(kChecksumBadLength, ParseChecksum((sha256 + "00").c_str(), &checksum));
    EXPECT_EQ(kChecksumBadLength, ParseChecksum("sha256:", &checksum));
    EXPECT_EQ(kChecksumWrongPrefix, ParseChecksum("sha1:d41d8cd98f00b204e9800998ecf8427e", &checksum));
    EXPECT_EQ(32u, ChecksumSize(kChecksumSha256));
    EXPECT_EQ(0u, ChecksumSize(kChecksumNone));
    char tiny[10];
    ASSERT_EQ(kChecksumParsed, ParseChecksum(sha256.c_str(), &checksum));
    FormatChecksum(checksum, tiny, sizeof(tiny));
    EXPECT_STREQ("", tiny);  // never cut: a cut checksum would fail every download
    EXPECT_EQ(kListKeyChecksum, MatchListKey("_checksum"));
}

// What a sheet or a list file keeps of a typed checksum: the stored form, or
// nothing at all (never the text of an earlier one, never a cut one).
TEST(ChecksumText, StoredTextReplacesWhatWasThere)
{
    char out[kChecksumTextSize] = "sha1:da39a3ee5e6b4b0d3255bfef95601890afd80709";
    EXPECT_EQ(kChecksumNotHex, StoreChecksumText(" MD5 : d41d8cd98f00b204e9800998ecf8427e", out, sizeof(out)));
    EXPECT_STREQ("", out);  // "MD5 :" is no prefix: not hexadecimal
    EXPECT_EQ(kChecksumParsed, StoreChecksumText("MD5:d41d8cd9 8f00b204 e9800998 ecf8427e", out, sizeof(out)));
    EXPECT_STREQ("md5:d41d8cd98f00b204e9800998ecf8427e", out);
    EXPECT_EQ(kChecksumWrongPrefix, StoreChecksumText("sha256:d41d8cd98f00b204e9800998ecf8427e", out, sizeof(out)));
    EXPECT_STREQ("", out);
    strcpy(out, "md5:d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(kChecksumEmpty, StoreChecksumText("", out, sizeof(out)));
    EXPECT_STREQ("", out);
    char small[kChecksumTextSize - 1] = "x";
    const std::string sha256 = "sha256:" + std::string(64, 'a');
    EXPECT_EQ(kChecksumParsed, StoreChecksumText(sha256.c_str(), small, sizeof(small)));
    EXPECT_STREQ("", small);
    EXPECT_EQ(kChecksumParsed, StoreChecksumText(sha256.c_str(), out, sizeof(out)));
    EXPECT_EQ(sha256, out);
}

}  // namespace
