// The lzhx tool end to end (natively and under Wine): listing, extraction with
// directories and file times, and refusal of paths that leave the folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/lzh/lzh_test_support.h"
#include "tests/lzh/lzh_tool_support.h"
#include "tests/support/testenv.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;

ToolRun RunLzhx(const std::string& arguments)
{
    return RunTool(ToolBinary("lzhx"), arguments);
}

class LzhxTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(ToolBinary("lzhx"))) GTEST_SKIP() << "lzhx is not built";
        base_ = ScratchDir("lzhx") + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(base_);
        fs::create_directories(base_);
        dest_ = base_ + "/dest";
    }

    std::string Archive(const Bytes& members)
    {
        std::string path = base_ + "/a.lzh";
        EXPECT_TRUE(WriteWholeFile(path, WithEndMark(members))) << path;
        return path;
    }

    std::string base_, dest_;
};

TEST_F(LzhxTool, ListsEntries)
{
    std::string path = Archive(Concat(
        {Member(2, StoredMember("Read Me.txt", "hello", "doc\xFF")), Member(0, StoredMember("plain.c", "int x;"))}));
    ToolRun run = RunLzhx("-l " + Quote(path));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "1 -lh0- 5 doc\\Read Me.txt\n2 -lh0- 6 PLAIN.C\n");
}

TEST_F(LzhxTool, ExtractsDirectoriesNamesAndTimes)
{
    TestMember timed = StoredMember("deep.txt", "deep data",
                                    "a\xFF"
                                    "b\xFF");
    timed.windowsTimes = true;
    // 2001-09-09 01:46:40 UTC as last write, a day later as last access.
    const uint64_t write = 116444736000000000ull + 1000000000ull * 10000000ull;
    const uint64_t access = write + 86400ull * 10000000ull;
    timed.times[0] = write;
    timed.times[1] = write;
    timed.times[2] = access;
    TestMember dir = StoredMember("", "", "a\xFF");
    dir.method = "-lhd-";
    // At level 0 only what follows the last backslash is kept: nothing.
    TestMember flatDir = StoredMember("a\\", "");
    flatDir.method = "-lhd-";
    std::string path = Archive(
        Concat({Member(2, dir), Member(2, timed), Member(1, StoredMember("top.txt", "top")), Member(0, flatDir)}));
    ToolRun run = RunLzhx(Quote(path) + " " + Quote(dest_));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "1/4 -lhd- 0 " + Native("a/") + "\n2/4 -lh0- 9 " + Native("a/b/deep.txt") +
                              "\n3/4 -lh0- 3 TOP.TXT\n4/4 -lhd- 0 \n");
    // Before reading the file, which may move its access time.
    uint64_t lastWrite = 0, lastAccess = 0;
    ASSERT_TRUE(FileTimes(dest_ + "/a/b/deep.txt", &lastWrite, &lastAccess));
    EXPECT_EQ(lastWrite, write);
    EXPECT_EQ(lastAccess, access);
    EXPECT_EQ(ReadWholeFile(dest_ + "/a/b/deep.txt"), BytesOf("deep data"));
    EXPECT_EQ(ReadWholeFile(dest_ + "/TOP.TXT"), BytesOf("top"));
}

TEST_F(LzhxTool, RefusesEntriesThatLeaveTheFolder)
{
    struct Case {
        std::string directory, name, message;
    };
    const Case cases[] = {{"..\xFF", "evil.txt", "'..'"},
                          {"", "../evil.txt", "'..'"},
                          {"", "/tmp/evil.txt", "absolute"},
                          {"C:\xFF", "evil.txt", "drive"}};
    for (const Case& c : cases) {
        std::string path = Archive(
            Concat({Member(2, StoredMember("first.txt", "1")), Member(2, StoredMember(c.name, "x", c.directory))}));
        fs::remove_all(dest_);
        ToolRun run = RunLzhx(Quote(path) + " " + Quote(dest_));
        EXPECT_NE(run.status, 0) << c.name;
        EXPECT_NE(run.output.find("entry 2 refused"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        EXPECT_TRUE(fs::exists(dest_ + "/first.txt"));  // entries before it were written
        EXPECT_FALSE(fs::exists(base_ + "/evil.txt"));
    }
}

TEST_F(LzhxTool, StopsAtAnUnsupportedMethod)
{
    TestMember odd = StoredMember("odd.bin", "xxxx");
    odd.method = "-lh8-";
    std::string path = Archive(Concat({Member(2, odd), Member(2, StoredMember("later.txt", "later"))}));
    ToolRun run = RunLzhx(Quote(path) + " " + Quote(dest_));
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("-lh8- is not supported"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(dest_ + "/later.txt"));
}

TEST_F(LzhxTool, EntriesFailingTheirCrcOrSizeAreErrorsAndRemoved)
{
    TestMember damaged = StoredMember("damaged.txt", "good data");
    damaged.dataCrc = Crc16(BytesOf("good data")) ^ 1;
    TestMember cut = StoredMember("cut.txt", "0123456789");
    cut.originalSize = 20;  // the file ends (after the end mark) long before
    struct Case {
        TestMember member;
        std::string message;
    };
    for (const Case& c : {Case{damaged, "entry 2 (" + Native("sub/damaged.txt") + "): CRC-16 differs"},
                          Case{cut, "entry 2 (" + Native("sub/cut.txt") + "): size differs"}}) {
        TestMember m = c.member;
        m.directory = "sub\xFF";
        std::string path = Archive(Concat({Member(2, StoredMember("ok.txt", "fine")), Member(2, m)}));
        fs::remove_all(dest_);
        ToolRun run = RunLzhx(Quote(path) + " " + Quote(dest_));
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        EXPECT_EQ(ReadWholeFile(dest_ + "/ok.txt"), BytesOf("fine"));
        EXPECT_FALSE(fs::exists(dest_ + "/sub/" + m.name));
    }
}

TEST_F(LzhxTool, NamelessEntryIsSkippedAndDirectoriesGetTheirSeparator)
{
    // A directory stored as a nameless empty file between two good entries,
    // and a directory header whose last directory lacks its separator.
    TestMember nameless = StoredMember("", "", "emptydir\xFF");
    TestMember deep = StoredMember("hello.txt", "hello", "subdir\xFFsubdir2");
    std::string path = Archive(Concat({Member(2, StoredMember("one.txt", "1")), Member(2, nameless), Member(1, deep)}));
    ToolRun run = RunLzhx(Quote(path) + " " + Quote(dest_));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("warning: entry 2 has no file name and is skipped"), std::string::npos) << run.output;
    EXPECT_EQ(ReadWholeFile(dest_ + "/one.txt"), BytesOf("1"));
    EXPECT_EQ(ReadWholeFile(dest_ + "/subdir/subdir2/HELLO.TXT"), BytesOf("hello"));
    EXPECT_FALSE(fs::exists(dest_ + "/subdir/subdir2HELLO.TXT"));
    // A nameless entry with data is no directory: still an error.
    nameless.packed = BytesOf("data");
    nameless.originalSize = 4;
    run = RunLzhx(Quote(Archive(Concat({Member(2, nameless), Member(2, deep)}))) + " " + Quote(base_ + "/d2"));
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find("entry 1: the entry has no file name"), std::string::npos) << run.output;
}

TEST_F(LzhxTool, ReportsUnreadableArchives)
{
    ToolRun missing = RunLzhx("-l " + Quote(base_ + "/none.lzh"));
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.output.find("cannot be opened"), std::string::npos);
    EXPECT_EQ(RunLzhx("").status, 1);
}

}  // namespace
