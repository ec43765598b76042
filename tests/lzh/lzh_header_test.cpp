// Archive reading: the header search, the three header levels with their
// extended headers, the name rules, the entry list and closing.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/lzh/lzh_test_support.h"
#include "tests/support/testenv.h"
#include "tidewell/lzh/lzh_archive.h"
#include "tidewell/lzh/lzh_decoder.h"

namespace {

struct OpenArchive {
    LzhArchive archive = {};
    int open = -1;
    int headers = -1;
    explicit OpenArchive(const std::string& path)
    {
        open = LzhOpen(path.c_str(), &archive);
        if (open == 0) headers = LzhReadHeaders(&archive);
    }
    ~OpenArchive() { LzhClose(&archive); }
    const LzhEntry* Entry(int n) { return LzhGetEntry(&archive, n); }
};

TEST(LzhHeader, PositionsOfTheThreeLevels)
{
    // Five-byte names: level 0 data at P + 29, level 1 at P + 32, level 2
    // (one name header of S = 8) at P + 34; each next header follows the data.
    TestMember m = StoredMember("a.txt", "0123456789");
    Bytes archive = Concat({Member(0, m), Member(1, m), Member(2, m)});
    OpenArchive a(WriteScratchFile("levels.lzh", WithEndMark(archive)));
    ASSERT_EQ(a.open, 0);
    ASSERT_EQ(a.headers, 0);
    ASSERT_EQ(a.archive.count, 3);
    EXPECT_EQ(a.Entry(1)->dataPosition, 29u);
    EXPECT_EQ(a.Entry(2)->dataPosition, 39u + 32u);
    EXPECT_EQ(a.Entry(3)->dataPosition, 39u + 42u + 34u);
    for (int n = 1; n <= 3; n++) {
        EXPECT_EQ(a.Entry(n)->packedLength, 10u) << n;
        EXPECT_EQ(a.Entry(n)->originalSize, 10u) << n;
        EXPECT_STREQ(a.Entry(n)->method, "-lh0-");
    }
    EXPECT_EQ(Level0Header(m)[0], 27);
    EXPECT_EQ(Level1Header(m)[0], 30);
}

TEST(LzhHeader, LevelOneExtendedHeadersAreTakenOutOfThePackedSize)
{
    TestMember m = StoredMember("readme.txt", "hello");
    m.directory = "doc\xFF";
    m.windowsTimes = true;
    m.times[0] = 0x01D0000000000001ull;  // creation
    m.times[1] = 0x01D0000000000003ull;  // last write
    m.times[2] = 0x01D0000000000002ull;  // last access
    OpenArchive a(WriteScratchFile("level1ext.lzh", WithEndMark(Member(1, m))));
    ASSERT_EQ(a.headers, 0);
    const LzhEntry* e = a.Entry(1);
    EXPECT_STREQ(e->name, "README.TXT");
    EXPECT_STREQ(e->directory, "doc\\");
    EXPECT_EQ(e->packedLength, 5u);
    EXPECT_EQ(e->creationTime, 0x01D0000000000001ull);
    EXPECT_EQ(e->lastAccessTime, 0x01D0000000000002ull);
    EXPECT_EQ(e->lastWriteTime, 0x01D0000000000003ull);
    Bytes data = Member(1, m);
    EXPECT_EQ(e->dataPosition, data.size() - 5);
}

TEST(LzhHeader, NameRulesOfEachLevel)
{
    Bytes archive =
        Concat({Member(0, StoredMember("DIR\\sub\\file.txt", "x")), Member(1, StoredMember("mixed\\Case.c", "y")),
                Member(2, StoredMember("Read Me.txt", "z"))});
    OpenArchive a(WriteScratchFile("names.lzh", WithEndMark(archive)));
    ASSERT_EQ(a.headers, 0);
    EXPECT_STREQ(a.Entry(1)->name, "FILE.TXT");  // level 0: last component, upper case
    EXPECT_STREQ(a.Entry(1)->directory, "");
    EXPECT_STREQ(a.Entry(2)->name, "MIXED\\CASE.C");  // level 1: no stripping
    EXPECT_STREQ(a.Entry(3)->name, "Read Me.txt");    // level 2: as stored
    EXPECT_EQ(a.Entry(1)->creationTime | a.Entry(1)->lastAccessTime | a.Entry(1)->lastWriteTime, 0u);
}

TEST(LzhHeader, UpperCasingAndLevelZeroSeparatorsPassOverShiftJisSecondBytes)
{
    // Second bytes in the a-z range and 0x5C stay as they are (a lead byte
    // at the end of a name has none); ASCII letters are upper-cased.
    Bytes archive = Concat({Member(1, StoredMember("\x83\x61\xE0\x7Bz\xE4.txt", "x")),
                            Member(0, StoredMember("\x83\x5C\x83\x74\\\x95\x5C\x83\x65s.txt", "y")),
                            Member(1, StoredMember("a\x95\x5C\x81", "z"))});
    OpenArchive a(WriteScratchFile("sjis.lzh", WithEndMark(archive)));
    ASSERT_EQ(a.headers, 0);
    EXPECT_STREQ(a.Entry(1)->name, "\x83\x61\xE0\x7BZ\xE4.TXT");
    EXPECT_STREQ(a.Entry(2)->name, "\x95\x5C\x83\x65S.TXT");  // only the real separator cuts
    EXPECT_STREQ(a.Entry(3)->name, "A\x95\x5C\x81");
}

TEST(LzhHeader, CommonNameLimitIs101Bytes)
{
    OpenArchive ok(WriteScratchFile("name101.lzh", WithEndMark(Member(1, StoredMember(std::string(101, 'n'), "x")))));
    EXPECT_EQ(ok.headers, 0);
    EXPECT_EQ(std::strlen(ok.Entry(1)->name), 101u);
    OpenArchive bad(WriteScratchFile("name102.lzh", WithEndMark(Member(1, StoredMember(std::string(102, 'n'), "x")))));
    EXPECT_EQ(bad.headers, 2);
}

TEST(LzhHeader, ExtendedTextLimitIs240Bytes)
{
    OpenArchive ok(WriteScratchFile("ext240.lzh", WithEndMark(Member(2, StoredMember(std::string(240, 'n'), "x")))));
    EXPECT_EQ(ok.headers, 0);
    EXPECT_EQ(std::strlen(ok.Entry(1)->name), 240u);
    OpenArchive bad(WriteScratchFile("ext241.lzh", WithEndMark(Member(2, StoredMember(std::string(241, 'n'), "x")))));
    EXPECT_EQ(bad.headers, 2);
}

TEST(LzhHeader, PaddedLevelTwoHeaderDataStartAtItsTotalLength)
{
    // Five padding bytes after the extended headers, counted in the total
    // length at offsets 0 and 1.
    TestMember m = StoredMember("pad.txt", "padded data");
    Bytes header = Level2Header(m);
    const size_t unpadded = header.size();
    header.insert(header.end(), {0xEE, 0xEE, 0xEE, 0xEE, 0xEE});
    header[0] = uint8_t(header.size());
    Bytes member = Concat({header, m.packed});
    TestMember next = StoredMember("next.txt", "next");
    Bytes archive = WithEndMark(Concat({member, Member(2, next)}));
    OpenArchive a(WriteScratchFile("padded.lzh", archive));
    ASSERT_EQ(a.headers, 0);
    ASSERT_EQ(a.archive.count, 2);
    EXPECT_EQ(a.Entry(1)->dataPosition, unpadded + 5);
    EXPECT_EQ(a.Entry(2)->dataPosition, member.size() + Level2Header(next).size());
    ASSERT_EQ(LzhSelectEntry(&a.archive, 1), 0);
    EXPECT_EQ(ReadSelectedEntry(100), BytesOf("padded data"));

    // A total length that ends inside the extended headers is malformed.
    header[0] = uint8_t(unpadded - 1);
    OpenArchive bad(WriteScratchFile("short-total.lzh", WithEndMark(Concat({header, m.packed}))));
    EXPECT_EQ(bad.headers, 2);
}

TEST(LzhHeader, DataCrcOfEachLevelIsKept)
{
    TestMember m = StoredMember("crc.txt", "123456789");
    OpenArchive a(WriteScratchFile("crcs.lzh", WithEndMark(Concat({Member(0, m), Member(1, m), Member(2, m)}))));
    ASSERT_EQ(a.headers, 0);
    for (int n = 1; n <= 3; n++) EXPECT_EQ(a.Entry(n)->dataCrc, 0xBB3D) << n;
    // A level-0 header too short to hold the CRC after its name.
    Bytes cut = Member(0, m);
    cut[0] = uint8_t(cut[0] - 1);
    OpenArchive bad(WriteScratchFile("crc-cut.lzh", WithEndMark(cut)));
    EXPECT_EQ(bad.headers, 2);
}

TEST(LzhHeader, LevelTwoWithoutNameHeaderHasEmptyName)
{
    TestMember m = StoredMember("", "x");
    Bytes member = Member(2, m);  // a name header of S = 3 holds no bytes
    OpenArchive a(WriteScratchFile("noname.lzh", WithEndMark(member)));
    ASSERT_EQ(a.headers, 0);
    EXPECT_STREQ(a.Entry(1)->name, "");
}

// A level-2 header whose first extended header has the given size field.
Bytes LevelTwoWithFirstSize(uint16_t size)
{
    Bytes h = Level2Header(StoredMember("a", "x"));
    h[24] = uint8_t(size);
    h[25] = uint8_t(size >> 8);
    h.push_back('x');
    h.insert(h.end(), 300, 0);
    return h;
}

TEST(LzhHeader, ExtendedSizesTooSmallForTheirTypeAreRefused)
{
    for (uint16_t size : {1, 2}) {
        OpenArchive a(WriteScratchFile("extsmall.lzh", LevelTwoWithFirstSize(size)));
        EXPECT_EQ(a.headers, 2) << size;
    }
}

TEST(LzhHeader, ExtendedChainThatWrapsAroundIsRefused)
{
    // Two headers of 0x8000 would bring a 16-bit sum back to the start and
    // walk the same chain forever.
    Bytes h = Level2Header(StoredMember("a", "x"));
    h.resize(24);
    h.push_back(0x00);
    h.push_back(0x80);
    h.resize(24 + 0x8000, 0x41);
    h.resize(24 + 0x8000 + 2);
    h[24 + 0x8000] = 0x00;
    h[24 + 0x8001] = 0x80;
    h.insert(h.end(), 16, 0);
    OpenArchive a(WriteScratchFile("extwrap.lzh", h));
    EXPECT_EQ(a.headers, 2);
}

TEST(LzhHeader, LevelOneExtendedHeadersLargerThanThePackedSizeAreRefused)
{
    TestMember m = StoredMember("a.txt", "");
    m.directory = "dir\xFF";
    Bytes h = Member(1, m);
    h[7] = 1;  // packed size 1, below the 9-byte directory header
    OpenArchive a(WriteScratchFile("extbig.lzh", WithEndMark(h)));
    EXPECT_EQ(a.headers, 2);
}

TEST(LzhHeader, EndMarkAtTheFirstHeaderGivesNoEntries)
{
    Bytes file = {0x00, 0x00, '-', 'l', 'h', '5', '-', 0, 0, 0};
    OpenArchive a(WriteScratchFile("empty.lzh", file));
    EXPECT_EQ(a.open, 0);
    EXPECT_EQ(a.headers, 0);
    EXPECT_EQ(a.archive.count, 0);
    EXPECT_EQ(a.archive.first, nullptr);
    EXPECT_EQ(a.archive.last, nullptr);
    EXPECT_EQ(a.Entry(1), nullptr);
    EXPECT_EQ(a.Entry(0), nullptr);
}

TEST(LzhHeader, LevelTwoHeaderOfAMultipleOf256BytesReadsAsTheEndMark)
{
    // 26 fixed bytes + a name header of 3 + 227 bytes = 256: low byte 0.
    Bytes member = Member(2, StoredMember(std::string(227, 'n'), "x"));
    ASSERT_EQ(member[0], 0);
    ASSERT_EQ(member[1], 1);
    OpenArchive a(WriteScratchFile("len256.lzh", WithEndMark(member)));
    EXPECT_EQ(a.open, 0);
    EXPECT_EQ(a.headers, 0);
    EXPECT_EQ(a.archive.count, 0);
}

TEST(LzhHeader, ArchiveEndingWithTheFileReadsComplete)
{
    // No end mark: the file ends right where the next header would begin.
    OpenArchive a(WriteScratchFile("nomark.lzh", Member(2, StoredMember("a.txt", "abc"))));
    EXPECT_EQ(a.headers, 0);
    EXPECT_EQ(a.archive.count, 1);
}

TEST(LzhHeader, CutShortArchivesAreMalformed)
{
    Bytes full = WithEndMark(Member(1, StoredMember("a.txt", "0123456789")));
    // Cut inside the data (the next header would lie past the end) and
    // inside the header.
    for (size_t keep : {full.size() - 3, size_t(20), size_t(28)}) {
        OpenArchive a(WriteScratchFile("cut.lzh", Bytes(full.begin(), full.begin() + long(keep))));
        EXPECT_EQ(a.open, 0) << keep;
        EXPECT_EQ(a.headers, 2) << keep;
    }
}

TEST(LzhHeader, UnknownMethodReadsButCannotBeSelected)
{
    TestMember m = StoredMember("a.txt", "abc");
    m.method = "-lz9-";
    OpenArchive a(WriteScratchFile("lz9.lzh", WithEndMark(Member(1, m))));
    EXPECT_EQ(a.open, 0);
    EXPECT_EQ(a.headers, 0);
    EXPECT_EQ(LzhSelectEntry(&a.archive, 1), -2);
    EXPECT_EQ(LzhSelectEntry(&a.archive, 2), -1);
    EXPECT_EQ(LzhSelectEntry(&a.archive, 0), -1);
}

Bytes Prefixed(size_t junk, const Bytes& archive)
{
    Bytes file(junk, 'x');
    file.insert(file.end(), archive.begin(), archive.end());
    return file;
}

TEST(LzhSearch, FindsHeadersWithinTheBudget)
{
    Bytes archive = WithEndMark(Member(0, StoredMember("a.txt", "abc")));
    // The method id's hyphen sits at junk + 2: found up to offset 2049.
    for (size_t junk : {size_t(0), size_t(1), size_t(100), size_t(2047)}) {
        OpenArchive a(WriteScratchFile("search.lzh", Prefixed(junk, archive)));
        EXPECT_EQ(a.open, 0) << junk;
        EXPECT_EQ(a.headers, 0) << junk;
        ASSERT_EQ(a.archive.count, 1) << junk;
        EXPECT_EQ(a.Entry(1)->dataPosition, junk + 29) << junk;
    }
    OpenArchive late(WriteScratchFile("search.lzh", Prefixed(2048, archive)));
    EXPECT_EQ(late.open, 2);
}

TEST(LzhSearch, HyphenInsideAFailedTryStartsTheNextOne)
{
    // A 23-byte level-0 name makes the header size byte a hyphen; with the
    // checksum byte forced to '-' or 'l' the search meets "---lh0-" or
    // "-l-lh0-", whose failed tries end on the real id's hyphen.
    for (char checksum : {'-', 'l'}) {
        Bytes member = Member(0, StoredMember(std::string(23, 'n'), "abc"));
        ASSERT_EQ(member[0], '-');
        member[1] = uint8_t(checksum);
        OpenArchive a(WriteScratchFile("retry.lzh", WithEndMark(Concat({BytesOf("xx"), member}))));
        EXPECT_EQ(a.open, 0) << checksum;
        EXPECT_EQ(a.headers, 0) << checksum;
        ASSERT_EQ(a.archive.count, 1) << checksum;
        EXPECT_EQ(a.Entry(1)->dataPosition, 2u + 47u) << checksum;
    }
}

TEST(LzhSearch, MissingFileAndNoHeader)
{
    LzhArchive a = {};
    EXPECT_EQ(LzhOpen((ScratchDir("lzh") + "/does-not-exist.lzh").c_str(), &a), 1);
    LzhClose(&a);
    EXPECT_STREQ(a.path, "closed");
    LzhClose(&a);  // twice does no harm
    EXPECT_STREQ(a.path, "closed");

    LzhArchive b = {};
    EXPECT_EQ(LzhOpen(WriteScratchFile("plain.txt", BytesOf("just text - l h no header")).c_str(), &b), 2);
    LzhClose(&b);
    EXPECT_EQ(b.file.handle, nullptr);
}

TEST(LzhList, EntriesByNumberInArchiveOrder)
{
    std::vector<std::pair<std::string, Bytes>> files;
    files.reserve(5);
    for (int i = 0; i < 5; i++) files.push_back({"f" + std::to_string(i), Bytes(size_t(i), uint8_t('a' + i))});
    OpenArchive a(WriteScratchFile("list.lzh", StoredArchive(2, files)));
    ASSERT_EQ(a.headers, 0);
    ASSERT_EQ(a.archive.count, 5);
    for (int n = 1; n <= 5; n++) EXPECT_EQ(std::string(a.Entry(n)->name), "f" + std::to_string(n - 1));
    EXPECT_EQ(a.Entry(6), nullptr);
    EXPECT_EQ(a.Entry(-1), nullptr);
    EXPECT_EQ(a.archive.first->previous, nullptr);
    EXPECT_EQ(a.archive.last->next, nullptr);
    EXPECT_EQ(a.archive.last, a.Entry(5));
    LzhClose(&a.archive);
    EXPECT_EQ(a.archive.count, 0);
    EXPECT_EQ(a.archive.first, nullptr);
    EXPECT_EQ(a.Entry(1), nullptr);
}

}  // namespace
