// -lh6- and -lh7- archives that jlha makes here, at header levels 0, 1 and
// 2: every member reads back exactly and passes its header's CRC-16.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/lzh/lzh_test_support.h"
#include "tests/lzh/lzh_tool_support.h"
#include "tests/support/testenv.h"
#include "tests/support/tool_run.h"
#include "tidewell/lzh/lzh_decoder.h"
#include "tidewell/lzh/lzh_entry_check.h"

namespace {

namespace fs = std::filesystem;

struct SourceFile {
    std::string hostPath;    // UTF-8, '/'-separated, as on the disk
    std::string storedPath;  // Shift-JIS, '\\'-separated, as jlha stores it
    Bytes data;
};

// Far repeats: 30 KB apart (within -lh6-'s reach) and 60 KB apart (only
// -lh7- reaches them), so both need their whole dictionary.
Bytes FarRepeats()
{
    const Bytes near1 = RandomBytes(12000, 51), near2 = RandomBytes(18000, 52);
    const Bytes far1 = RandomBytes(20000, 53), far2 = RandomBytes(40000, 54);
    return Concat({near1, near2, near1, near2, far1, far2, far1, far2});
}

std::vector<SourceFile> SourceFiles()
{
    std::vector<SourceFile> files = {
        {"text.txt", "text.txt", TextLike(300000, 50)},
        {"far.bin", "far.bin", FarRepeats()},
        {"empty.txt", "empty.txt", {}},
        {"sub/in.txt", "sub\\in.txt", TextLike(5000, 55)},
        // "display" in kanji; jlha's y option stores the name as Shift-JIS.
        {"\xE8\xA1\xA8\xE7\xA4\xBA.txt", "\x95\x5C\x8E\xA6.txt", BytesOf("Shift-JIS name")}};
    for (uint32_t size : {32767u, 32768u, 32769u, 65535u, 65536u, 65537u})
        files.push_back(
            {"d" + std::to_string(size) + ".txt", "d" + std::to_string(size) + ".txt", TextLike(size, size)});
    return files;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return text;
}

// Level 0 keeps only the last component of a name (a Shift-JIS second
// byte 0x5C is none: only the host path tells where components end).
bool SameFile(const LzhEntry* e, const SourceFile& f, int level)
{
    std::string stored = f.storedPath;
    if (level == 0) {
        if (f.hostPath.find('/') != std::string::npos) stored = stored.substr(stored.rfind('\\') + 1);
        if (e->directory[0] != '\0') return false;
    }
    return Upper(std::string(e->directory) + e->name) == Upper(stored);
}

class LzhJlha : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HostProgramExists("jlha")) GTEST_SKIP() << "jlha is not installed";
        base_ = ScratchDir("lzh-jlha");
        fs::remove_all(base_);
        fs::create_directories(base_ + "/tree/sub");
        files_ = SourceFiles();
        for (const SourceFile& f : files_) ASSERT_TRUE(WriteWholeFile(base_ + "/tree/" + f.hostPath, f.data));
    }

    void TearDown() override { fs::remove_all(base_); }

    // Packs every source file with jlha and reads the archive back.
    void PackAndRead(int method, int level)
    {
        SCOPED_TRACE("o" + std::to_string(method) + " level " + std::to_string(level));
        const std::string archive = base_ + "/o" + std::to_string(method) + std::to_string(level) + ".lzh";
        std::string names;
        for (const SourceFile& f : files_) names += " " + Quote(f.hostPath);
        const std::string command = "a" + std::to_string(level) + "o" + std::to_string(method) + "yq";
        ToolRun run = RunTool("jlha", command + " " + Quote(archive) + names, base_ + "/tree");
        ASSERT_EQ(run.status, 0) << run.output;

        const std::string id = "-lh" + std::to_string(method) + "-";
        struct Closing {
            LzhArchive a = {};
            ~Closing() { LzhClose(&a); }
        } closing;
        LzhArchive& a = closing.a;
        ASSERT_EQ(LzhOpen(archive.c_str(), &a), 0);
        ASSERT_EQ(LzhReadHeaders(&a), 0);
        std::vector<int> found(files_.size(), 0);
        int packed = 0;
        for (int n = 1; n <= a.count; n++) {
            const LzhEntry* e = LzhGetEntry(&a, n);
            if (LzhIsDirectoryEntry(e)) continue;
            size_t i = 0;
            while (i < files_.size() && !SameFile(e, files_[i], level)) i++;
            ASSERT_LT(i, files_.size()) << e->directory << e->name;
            found[i]++;
            if (id == e->method) packed++;
            ASSERT_EQ(LzhSelectEntry(&a, n), 0) << e->method;
            const Bytes data = ReadSelectedEntry(n % 2 ? 32768 : 1000);
            LzhEntryCheck check;
            LzhCheckStart(&check, e);
            LzhCheckAdd(&check, data.data(), uint32_t(data.size()));
            EXPECT_EQ(LzhCheckFinish(&check), LZH_CHECK_OK) << e->name;
            EXPECT_TRUE(data == files_[i].data) << e->name << " " << e->method;
        }
        EXPECT_EQ(found, std::vector<int>(files_.size(), 1));
        EXPECT_GE(packed, 8);  // all but the empty and the tiny one
    }

    std::string base_;
    std::vector<SourceFile> files_;
};

TEST_F(LzhJlha, Lh6ArchivesOfEveryHeaderLevel)
{
    for (int level : {0, 1, 2}) PackAndRead(6, level);
}

TEST_F(LzhJlha, Lh7ArchivesOfEveryHeaderLevel)
{
    for (int level : {0, 1, 2}) PackAndRead(7, level);
}

}  // namespace
