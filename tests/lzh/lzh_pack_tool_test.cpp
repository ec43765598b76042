// tidewell-publish pack end to end (natively and under Wine): a tree of text, binaries,
// empty files, subdirectories and Shift-JIS names, read back by lzhx and,
// on the host, by lhasa and jlha as independent readers.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/lzh/lzh_test_support.h"
#include "tests/lzh/lzh_tool_support.h"
#include "tests/support/testenv.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;

// Shift-JIS names; the second byte of 0x95 0x5C is no backslash.
const std::string kTesuto = "\x83\x65\x83\x58\x83\x67";  // "test" in katakana
const std::string kHyou = "\x95\x5C";                    // "table"
const std::string kHyouji = "\x95\x5C\x8E\xA6";          // "display"

struct TreeFile {
    std::string path;  // '/'-separated, relative to the tree
    Bytes data;
};

std::vector<TreeFile> TreeFiles()
{
    Bytes large = TextLike(3 << 20, 21);
    Bytes noise = RandomBytes(500000, 22);
    large.insert(large.begin() + (1 << 20), noise.begin(), noise.end());
    return {{"readme.txt", TextLike(60000, 23)},
            {"tool.bin", RandomBytes(200000, 24)},
            {"empty.txt", {}},
            {kTesuto + ".txt", BytesOf("Shift-JIS name")},
            {"sub/" + kHyou + ".txt", BytesOf("second byte 0x5C")},
            {"sub/deeper/data.bin", large},
            {kHyouji + "/in.txt", BytesOf("in a Shift-JIS directory")}};
}

const char* const kTreeDirectories[] = {"sub", "sub/deeper", "emptydir"};

// 2001-09-09 01:46:40 UTC.
const uint64_t kReadmeTime = 116444736000000000ull + 1000000000ull * 10000000ull;

// The names jlha gives the Shift-JIS names when it converts them.
std::string Utf8Names(std::string path)
{
    const std::pair<std::string, std::string> names[] = {{kHyouji, "\xE8\xA1\xA8\xE7\xA4\xBA"},
                                                         {kTesuto, "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"},
                                                         {kHyou, "\xE8\xA1\xA8"}};
    for (const auto& [sjis, utf8] : names)
        for (size_t at; (at = path.find(sjis)) != std::string::npos;) path.replace(at, sjis.size(), utf8);
    return path;
}

class LzhPackTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(ToolBinary("tidewell-publish")) || !fs::exists(ToolBinary("lzhx")))
            GTEST_SKIP() << "tidewell-publish or lzhx is not built";
        base_ = ScratchDir("lzh-pack-tool") + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(base_);
        fs::create_directories(base_);
    }

    ToolRun Pack(const std::string& arguments, const std::string& folder = "")
    {
        return RunTool(ToolBinary("tidewell-publish"), "pack " + arguments, folder);
    }

    void MakeTree(const std::string& root)
    {
        ASSERT_TRUE(MakeDirectory(root));
        for (const char* dir : kTreeDirectories) ASSERT_TRUE(MakeDirectory(root + "/" + dir));
        ASSERT_TRUE(MakeDirectory(root + "/" + kHyouji));
        for (const TreeFile& f : TreeFiles()) ASSERT_TRUE(WriteWholeFile(root + "/" + f.path, f.data)) << f.path;
        ASSERT_TRUE(SetLastWriteTime(root + "/readme.txt", kReadmeTime));
    }

    // Every file and directory of the tree, and nothing else of the kind.
    void ExpectTree(const std::string& root, bool utf8Names, const char* reader)
    {
        SCOPED_TRACE(reader);
        for (const TreeFile& f : TreeFiles()) {
            const std::string path = root + "/" + (utf8Names ? Utf8Names(f.path) : f.path);
            EXPECT_TRUE(ReadWholeFile(path) == f.data) << f.path;
        }
        for (const char* dir : kTreeDirectories) EXPECT_TRUE(fs::is_directory(root + "/" + dir)) << dir;
        EXPECT_FALSE(fs::exists(root + "/self.lzh"));
    }

    std::string base_;
};

TEST_F(LzhPackTool, TreeReadsBackExactlyInEveryReader)
{
    const std::string tree = base_ + "/tree";
    MakeTree(tree);
    // Twice: the second time the archive (and its unfinished copy) lie in
    // the folder being packed and must not pack themselves.
    for (int round = 0; round < 2; round++) {
        ToolRun run = Pack("self.lzh .", tree);
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.output.find("self.lzh"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("-lh5-    3645728 "), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("-lh0-     200000     200000 tool.bin"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("-lhd-          0          0 emptydir/"), std::string::npos) << run.output;
    }
    const std::string archive = tree + "/self.lzh";
    EXPECT_LT(fs::file_size(archive), 500000u + 200000u + (3u << 20) / 3);

    ToolRun ours = RunTool(ToolBinary("lzhx"), Quote(archive) + " " + Quote(base_ + "/lzhx"));
    ASSERT_EQ(ours.status, 0) << ours.output;
    ExpectTree(base_ + "/lzhx", false, "lzhx");
    uint64_t lastWrite = 0, lastAccess = 0;
    ASSERT_TRUE(FileTimes(base_ + "/lzhx/readme.txt", &lastWrite, &lastAccess));
    EXPECT_EQ(lastWrite, kReadmeTime);

#ifdef _WIN32
    return;  // lhasa and jlha read the archives of the host run
#endif
    if (!HostProgramExists("lhasa") || !HostProgramExists("jlha")) GTEST_SKIP() << "lhasa or jlha is not installed";
    ASSERT_TRUE(MakeDirectory(base_ + "/lhasa"));
    ToolRun lhasa = RunTool("lhasa", "xqw=" + Quote(base_ + "/lhasa") + " " + Quote(archive));
    ASSERT_EQ(lhasa.status, 0) << lhasa.output;
    ExpectTree(base_ + "/lhasa", false, "lhasa");
    ASSERT_TRUE(FileTimes(base_ + "/lhasa/readme.txt", &lastWrite, &lastAccess));
    EXPECT_EQ(lastWrite, kReadmeTime);
    // jlha checks each entry's CRC as it extracts, and with "y" turns the
    // Shift-JIS names into the host's UTF-8.
    ASSERT_TRUE(MakeDirectory(base_ + "/jlha"));
    ToolRun jlha = RunTool("jlha", "xyq " + Quote(archive), base_ + "/jlha");
    ASSERT_EQ(jlha.status, 0) << jlha.output;
    EXPECT_EQ(jlha.output, "");
    ExpectTree(base_ + "/jlha", true, "jlha");
}

TEST_F(LzhPackTool, Lh7ArchiveReadsBackInEveryReader)
{
    const std::string tree = base_ + "/tree";
    MakeTree(tree);
    ToolRun run = Pack("--method lh7 " + Quote(base_ + "/lh7.lzh") + " .", tree);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("-lh7-    3645728 "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("-lh7-      60000 "), std::string::npos) << run.output;
    EXPECT_EQ(Pack("--method lh6 x.lzh .", tree).status, 1);
    ToolRun ours = RunTool(ToolBinary("lzhx"), Quote(base_ + "/lh7.lzh") + " " + Quote(base_ + "/lzhx"));
    ASSERT_EQ(ours.status, 0) << ours.output;
    ExpectTree(base_ + "/lzhx", false, "lzhx");
#ifdef _WIN32
    return;  // lhasa and jlha read the archive of the host run
#endif
    if (!HostProgramExists("lhasa") || !HostProgramExists("jlha")) GTEST_SKIP() << "lhasa or jlha is not installed";
    ASSERT_TRUE(MakeDirectory(base_ + "/lhasa"));
    ToolRun lhasa = RunTool("lhasa", "xqw=" + Quote(base_ + "/lhasa") + " " + Quote(base_ + "/lh7.lzh"));
    ASSERT_EQ(lhasa.status, 0) << lhasa.output;
    ExpectTree(base_ + "/lhasa", false, "lhasa");
    ASSERT_TRUE(MakeDirectory(base_ + "/jlha"));
    ToolRun jlha = RunTool("jlha", "xyq " + Quote(base_ + "/lh7.lzh"), base_ + "/jlha");
    ASSERT_EQ(jlha.status, 0) << jlha.output;
    EXPECT_EQ(jlha.output, "");
    ExpectTree(base_ + "/jlha", true, "jlha");
}

TEST_F(LzhPackTool, NamesStayRelativeAndFailuresKeepTheOldArchive)
{
    ASSERT_TRUE(WriteWholeFile(base_ + "/a.txt", BytesOf("a")));
    ASSERT_TRUE(MakeDirectory(base_ + "/d"));
    ASSERT_TRUE(WriteWholeFile(base_ + "/d/b.txt", BytesOf("b")));
    // An absolute path keeps its components without the root (or drive).
    ToolRun run = Pack("out.lzh " + Quote(base_ + "/d/b.txt") + " ./a.txt", base_);
    ASSERT_EQ(run.status, 0) << run.output;
    ToolRun list = RunTool(ToolBinary("lzhx"), "-l " + Quote(base_ + "/out.lzh"));
    std::string stored = base_ + "\\d\\b.txt";
    std::replace(stored.begin(), stored.end(), '/', '\\');
    stored = stored.substr(stored.find_first_not_of('\\', stored[1] == ':' ? 2 : 0));
    EXPECT_EQ(list.output, "1 -lh0- 1 " + stored + "\n2 -lh0- 1 a.txt\n");

    const Bytes before = ReadWholeFile(base_ + "/out.lzh");
    run = Pack("out.lzh a.txt ../elsewhere.txt", base_);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("'..'"), std::string::npos) << run.output;
    run = Pack("out.lzh a.txt missing.txt", base_);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("missing.txt: cannot be found"), std::string::npos) << run.output;
    // The archive named as its only input, under another spelling.
    run = Pack("./out.lzh out.lzh", base_);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("nothing to pack"), std::string::npos) << run.output;
    EXPECT_EQ(ReadWholeFile(base_ + "/out.lzh"), before);
    EXPECT_FALSE(fs::exists(base_ + "/out.lzh.part"));
    EXPECT_EQ(Pack("out.lzh", base_).status, 1);
}

}  // namespace
