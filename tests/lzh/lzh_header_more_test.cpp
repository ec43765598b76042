// Headers other archivers write: level 3 with its 4-byte size fields,
// OS-9/68k level-2 headers two bytes short, directories without their
// trailing separator and directories stored as nameless empty files.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/lzh/lzh_test_support.h"
#include "tidewell/lzh/lzh_archive.h"
#include "tidewell/lzh/lzh_decoder.h"

namespace {

struct Headers {
    LzhArchive archive = {};
    int headers = -1;
    explicit Headers(const Bytes& file, const char* name = "more.lzh")
    {
        if (LzhOpen(WriteScratchFile(name, file).c_str(), &archive) == 0) headers = LzhReadHeaders(&archive);
    }
    ~Headers() { LzhClose(&archive); }
    const LzhEntry* Entry(int n) { return LzhGetEntry(&archive, n); }
    Bytes Data(int n) { return LzhSelectEntry(&archive, n) == 0 ? ReadSelectedEntry(1000) : Bytes{}; }
};

void Put32At(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; i++) bytes[at + i] = uint8_t(value >> (8 * i));
}

TEST(LzhLevel3, ReadsLikeTheOtherLevelsWithEveryCheck)
{
    TestMember m = StoredMember("Read Me.txt", "level three", "doc\xFF");
    m.windowsTimes = true;
    m.times[0] = 11, m.times[1] = 33, m.times[2] = 22;  // creation, last write, last access
    const Bytes first = Member(3, m);
    // 32 fixed bytes, then name (16), directory (9), times (29) and the end.
    ASSERT_EQ(Level3Header(m).size(), 32u + 16 + 9 + 29);
    Headers a(WithEndMark(Concat({first, Member(3, StoredMember("b.bin", "B")), Member(2, StoredMember("c", "C"))})));
    ASSERT_EQ(a.headers, 0);
    ASSERT_EQ(a.archive.count, 3);
    const LzhEntry* e = a.Entry(1);
    EXPECT_STREQ(e->name, "Read Me.txt");
    EXPECT_STREQ(e->directory, "doc\\");
    EXPECT_EQ(e->dataPosition, Level3Header(m).size());
    EXPECT_EQ(e->packedLength, 11u);
    EXPECT_EQ(e->dataCrc, Crc16(BytesOf("level three")));
    EXPECT_EQ(e->creationTime, 11u);
    EXPECT_EQ(e->lastAccessTime, 22u);
    EXPECT_EQ(e->lastWriteTime, 33u);
    EXPECT_EQ(a.Data(1), BytesOf("level three"));
    EXPECT_STREQ(a.Entry(2)->name, "b.bin");
    EXPECT_EQ(a.Data(2), BytesOf("B"));
    EXPECT_EQ(a.Data(3), BytesOf("C"));

    // Padding counted in the total length at offset 24 moves the data.
    Bytes padded = Level3Header(m);
    const size_t end = padded.size();
    padded.insert(padded.end(), 7, 0xEE);
    Put32At(padded, 24, uint32_t(padded.size()));
    Headers p(WithEndMark(Concat({padded, m.packed})), "padded3.lzh");
    ASSERT_EQ(p.headers, 0);
    EXPECT_EQ(p.Entry(1)->dataPosition, end + 7);
    EXPECT_EQ(p.Data(1), BytesOf("level three"));

    // Malformed: a total ending inside the chain (by 2 bytes too: only
    // OS-9's level 2 does that), a total beyond any file, a size field too
    // small for its own type and next size, a width other than 4, a name
    // over 240 bytes, and a file cut inside the header or the data.
    auto refused = [&](const Bytes& header, const char* what) {
        Headers bad(WithEndMark(Concat({header, m.packed})), "bad3.lzh");
        EXPECT_EQ(bad.headers, 2) << what;
    };
    for (uint32_t shorter : {1u, 2u, 4u}) {
        Bytes h = Level3Header(m);
        Put32At(h, 24, uint32_t(h.size() - shorter));
        refused(h, "short total");
    }
    Bytes huge = Level3Header(m);
    Put32At(huge, 24, 0xFFFFFFF0u);
    refused(huge, "huge total");
    for (uint32_t size : {1u, 4u}) {
        Bytes h = Level3Header(m);
        Put32At(h, 28, size);
        refused(h, "small size");
    }
    Bytes wide = Level3Header(m);
    wide[0] = 2;
    refused(wide, "width 2");
    refused(Level3Header(StoredMember(std::string(241, 'n'), "x")), "long name");
    Headers ok(WithEndMark(Member(3, StoredMember(std::string(240, 'n'), "x"))), "name240.lzh");
    EXPECT_EQ(ok.headers, 0);
    for (size_t cut : {size_t(30), end - 3, end + 5}) {
        Headers bad(Bytes(first.begin(), first.begin() + long(cut)), "cut3.lzh");
        EXPECT_EQ(bad.headers, 2) << cut;
    }
}

TEST(LzhLevel3, ChainsLongerThan16BitsAreWalked)
{
    // A skipped header of 70,000 bytes: beyond what level 2 can state.
    TestMember m = StoredMember("big.txt", "after a long chain");
    Bytes h = Level3Header(m);
    Bytes filler(4 + 70000, 0x7E);
    Put32At(filler, 0, 70000);  // size of the header after this field
    filler[4] = 0x7F;           // a type this reader skips
    Put32At(filler, 70000, 0);  // its next size field ends the chain
    // The name header's next size field becomes the filler's size field.
    h.resize(h.size() - 4);
    h.insert(h.end(), filler.begin(), filler.end());
    Put32At(h, 24, uint32_t(h.size()));
    Headers a(WithEndMark(Concat({h, m.packed})), "chain3.lzh");
    ASSERT_EQ(a.headers, 0);
    EXPECT_EQ(a.Entry(1)->dataPosition, h.size());
    EXPECT_EQ(a.Data(1), BytesOf("after a long chain"));
}

TEST(LzhLevel2, Os9HeadersTwoBytesShortStartTheirDataAfterTheChain)
{
    TestMember m = StoredMember("os9.txt", "from a 68k");
    auto stated = [](Bytes h, long delta) {
        const long total = long(h[0] | h[1] << 8) + delta;
        h[0] = uint8_t(total), h[1] = uint8_t(total >> 8);
        return h;
    };
    const Bytes header = Level2Header(m);
    const Bytes os9 = stated(header, -2);
    const TestMember next = StoredMember("next.txt", "next");
    Headers a(WithEndMark(Concat({os9, m.packed, Member(2, next)})), "os9.lzh");
    ASSERT_EQ(a.headers, 0);
    ASSERT_EQ(a.archive.count, 2);
    EXPECT_EQ(a.Entry(1)->dataPosition, header.size());
    EXPECT_EQ(a.Data(1), BytesOf("from a 68k"));
    EXPECT_EQ(a.Data(2), BytesOf("next"));
    // Short by 1 or 3, or cut inside the chain or the data: malformed.
    for (long delta : {-1L, -3L}) {
        Headers bad(WithEndMark(Concat({stated(header, delta), m.packed})), "os9bad.lzh");
        EXPECT_EQ(bad.headers, 2) << delta;
    }
    for (size_t cut : {os9.size() - 1, os9.size() + 4}) {
        Bytes whole = Concat({os9, m.packed});
        Headers bad(Bytes(whole.begin(), whole.begin() + long(cut)), "os9cut.lzh");
        EXPECT_EQ(bad.headers, 2) << cut;
    }
}

TEST(LzhDirectories, ExtendedDirectoryGetsItsTrailingSeparator)
{
    // Shift-JIS "table" ends in 0x5C as its second byte: no separator yet.
    const std::string hyou = "\x95\x5C";
    struct Case {
        int level;
        std::string stored, expected;
    };
    const Case cases[] = {{2, "subdir\xFFsubdir2", "subdir\\subdir2\\"},
                          {1, "subdir\xFFsubdir2\xFF", "subdir\\subdir2\\"},
                          {3, "a/b", "a/b\\"},
                          {2, "a/b/", "a/b/"},
                          {2, hyou, hyou + "\\"},
                          {2, hyou + "\xFF", hyou + "\\"},
                          {1, std::string(240, 'd'), std::string(240, 'd') + "\\"}};
    for (const Case& c : cases) {
        Headers a(WithEndMark(Member(c.level, StoredMember("hello.txt", "hi", c.stored))), "dir.lzh");
        ASSERT_EQ(a.headers, 0) << c.stored;
        EXPECT_EQ(std::string(a.Entry(1)->directory), c.expected);
        EXPECT_EQ(a.Data(1), BytesOf("hi"));
    }
}

TEST(LzhDirectories, NamelessEmptyFileIsTold)
{
    TestMember nameless = StoredMember("", "", "emptydir\xFF");
    TestMember withData = StoredMember("", "data");
    TestMember dir = StoredMember("", "", "dir\xFF");
    dir.method = "-lhd-";
    Headers a(WithEndMark(Concat({Member(2, StoredMember("one.txt", "1")), Member(2, nameless),
                                  Member(2, StoredMember("two.txt", "2")), Member(2, withData), Member(2, dir)})));
    ASSERT_EQ(a.headers, 0);
    ASSERT_EQ(a.archive.count, 5);
    const bool expected[] = {false, true, false, false, false};
    for (int n = 1; n <= 5; n++) EXPECT_EQ(LzhIsNamelessEntry(a.Entry(n)), expected[n - 1]) << n;
}

}  // namespace
