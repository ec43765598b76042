// Applying an archive to an install folder: archives packed by the installed
// archiver at run time (update_site.py --apply), the shared archives of other
// archivers, and archives made here for what no archiver writes: escaping
// names, Windows file times, damaged data. Every failure must leave the
// folder exactly as it was and no staging folder behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "tests/lzh/lzh_test_support.h"
#include "tests/support/testenv.h"
#include "tidewell/updater/apply_archive.h"

namespace {

namespace fs = std::filesystem;

// Every file (its size and CRC-16) and folder ("<folder>") below root, by
// lower-case path (level-0 and level-1 names arrive in upper case); with
// flatten only the files, by name, as a level-0 archive places them.
using Tree = std::map<std::string, std::string>;

std::string Summary(size_t size, uint16_t crc)
{
    char text[48];
    snprintf(text, sizeof(text), "%zu bytes, CRC %04x", size, crc);
    return text;
}

std::string Text(const Bytes& bytes)
{
    return Summary(bytes.size(), Crc16(bytes));
}

// Read through the wide path: a Japanese name has no narrow form fopen takes.
Bytes ContentOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Tree FilesOf(const std::string& root, bool flatten = false)
{
    Tree tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        fs::path relative = flatten ? item.path().filename() : fs::relative(item.path(), root);
        std::string key = relative.generic_string();
        for (char& c : key) c = char(tolower(static_cast<unsigned char>(c)));
        if (!item.is_directory())
            tree[key] = Text(ContentOf(item.path()));
        else if (!flatten)
            tree[key] = "<folder>";
    }
    return tree;
}

uint64_t FileTimeValue(const FILETIME& time)
{
    return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

class ApplyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base_ = ScratchDir("apply") + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(base_);
        fs::create_directories(base_);
        const char* archives = EnvOrNull("MW_APPLY_DIR_WIN");
        archives_ = archives ? std::string(archives) + "\\" : "";
    }

    // A fresh install folder (path ending in '/') with the given files.
    std::string Folder(const std::string& name, const Tree& files = {})
    {
        std::string folder = base_ + "/" + name + "/";
        fs::remove_all(folder);
        fs::create_directories(folder);
        for (const auto& [path, bytes] : files) {
            fs::create_directories(fs::path(folder + path).parent_path());
            WriteWholeFile(folder + path, BytesOf(bytes));
        }
        return folder;
    }

    ApplyOutcome Apply(const std::string& archive, const std::string& folder, HANDLE stop = nullptr)
    {
        ApplyJob job = {};
        snprintf(job.archivePath, sizeof(job.archivePath), "%s", archive.c_str());
        snprintf(job.installFolder, sizeof(job.installFolder), "%s", folder.c_str());
        job.stopEvent = stop;
        return ApplyArchive(&job);
    }

    // Applies an archive that must fail: nothing anywhere below base_ may
    // change, and no staging folder may remain.
    void ExpectNothingChanged(const std::string& archive, const std::string& folder, HANDLE stop = nullptr,
                              ApplyOutcome expected = kApplyFailed)
    {
        Tree before = FilesOf(base_);
        EXPECT_EQ(expected, Apply(archive, folder, stop)) << archive;
        EXPECT_EQ(before, FilesOf(base_)) << archive;
    }

    std::string base_;
    std::string archives_;
};

TEST_F(ApplyTest, ArchiverArchivesOfEveryLevelLandExactly)
{
    if (archives_.empty()) GTEST_SKIP() << "needs the archives of update_site.py --apply (jlha)";
    // An old file to replace, one the update leaves alone, and the staging
    // folder of an interrupted earlier run.
    Tree old = {{"readme.txt", "old readme"},
                {"keep.txt", "not in the archive"},
                {"~tidewell-update/new/stale.bin", "left by an earlier run"}};
    for (int level = 0; level <= 2; level++) {
        SCOPED_TRACE(level);
        std::string folder = Folder("level" + std::to_string(level), old);
        ASSERT_EQ(kApplyWritten, Apply(archives_ + "level" + std::to_string(level) + ".lzh", folder));
        // Level 0 keeps only the last part of each name.
        Tree expected = FilesOf(archives_ + "files", level == 0);
        expected["keep.txt"] = Text(BytesOf("not in the archive"));
        EXPECT_EQ(expected, FilesOf(folder));
    }
    std::string folder = Folder("big");
    ASSERT_EQ(kApplyWritten, Apply(archives_ + "big.lzh", folder));
    EXPECT_EQ(FilesOf(archives_ + "big"), FilesOf(folder));

    // The same files packed -lh7-, with its 64 KB dictionary.
    LzhArchive lh7 = {};
    ASSERT_EQ(0, LzhOpen((archives_ + "lh7.lzh").c_str(), &lh7));
    EXPECT_EQ(0, LzhReadHeaders(&lh7));
    int packed = 0;
    for (int n = 1; n <= lh7.count; n++) packed += std::string(LzhGetEntry(&lh7, n)->method) == "-lh7-";
    EXPECT_GE(packed, 2);  // readme.txt and data.bin
    LzhClose(&lh7);
    folder = Folder("lh7", old);
    ASSERT_EQ(kApplyWritten, Apply(archives_ + "lh7.lzh", folder));
    Tree expected = FilesOf(archives_ + "files");
    expected["keep.txt"] = Text(BytesOf("not in the archive"));
    EXPECT_EQ(expected, FilesOf(folder));
}

TEST_F(ApplyTest, WindowsTimesAndDirectoryEntriesOfArchivesMadeHere)
{
    // The Windows times header (stored as creation, last write, last
    // access) and a directory entry for an empty folder.
    TestMember file = StoredMember("timed.txt", "with times", "t\xff");
    file.windowsTimes = true;
    file.times[1] = 0x01D5000000000000ull;
    file.times[2] = 0x01D6000000000000ull;
    TestMember empty;
    empty.method = "-lhd-";
    empty.directory = "empty\xff";
    std::string path = WriteScratchFile("apply-times.lzh", WithEndMark(Concat({Member(2, file), Member(2, empty)})));
    std::string folder = Folder("times");
    ASSERT_EQ(kApplyWritten, Apply(path, folder));
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExA((folder + "t\\timed.txt").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(file.times[1], FileTimeValue(data.ftLastWriteTime));
    EXPECT_EQ(file.times[2], FileTimeValue(data.ftLastAccessTime));
    // Read after the times: reading may move the last-access time.
    EXPECT_EQ((Tree{{"empty", "<folder>"}, {"t", "<folder>"}, {"t/timed.txt", Text(BytesOf("with times"))}}),
              FilesOf(folder));
}

TEST_F(ApplyTest, HeadersOfOtherArchiversLand)
{
    // Level 3, an OS-9 level-2 header 2 bytes short, a directory stored as
    // a nameless empty file (skipped) and a directory without its trailing
    // separator.
    Bytes os9 = Member(2, StoredMember("os9.txt", "from OS-9", "nine\xff"));
    os9[0] = uint8_t(os9[0] - 2);
    TestMember nameless = StoredMember("", "", "gone\xff");
    TestMember deep = StoredMember("hello.txt", "hello", "subdir\xffsubdir2");
    Bytes archive =
        Concat({Member(3, StoredMember("three.txt", "level 3", "l3\xff")), os9, Member(2, nameless), Member(2, deep)});
    std::string folder = Folder("others");
    ASSERT_EQ(kApplyWritten, Apply(WriteScratchFile("apply-others.lzh", WithEndMark(archive)), folder));
    EXPECT_EQ((Tree{{"l3", "<folder>"},
                    {"l3/three.txt", Text(BytesOf("level 3"))},
                    {"nine", "<folder>"},
                    {"nine/os9.txt", Text(BytesOf("from OS-9"))},
                    {"subdir", "<folder>"},
                    {"subdir/subdir2", "<folder>"},
                    {"subdir/subdir2/hello.txt", Text(BytesOf("hello"))}}),
              FilesOf(folder));
}

TEST_F(ApplyTest, SharedArchivesOfOtherArchiversLandExactly)
{
    SKIP_WITHOUT_TESTDATA();
    std::ifstream in(TestPath("lzh/MANIFEST.tsv"));
    int checked = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string name, path;
        uint32_t size = 0, crc = 0;
        if (line[0] == '#' || !(fields >> name >> path >> size >> std::hex >> crc)) continue;
        SCOPED_TRACE(name);
        std::string folder = Folder("shared/" + name), archive = TestPath(("lzh/" + name).c_str());
        ASSERT_EQ(kApplyWritten, Apply(archive, folder));
        Tree tree = FilesOf(folder);
        for (char& c : path) c = char(tolower(static_cast<unsigned char>(c)));
        // Level-0 entries keep only the last part of their paths.
        std::string last = path.substr(path.rfind('/') + 1);
        EXPECT_EQ(Summary(size, uint16_t(crc)), tree.count(path) ? tree[path] : tree[last]) << path;
        checked++;
    }
    EXPECT_GE(checked, 30);
}

TEST_F(ApplyTest, EscapingEntriesWriteNothingAnywhere)
{
    // Each archive starts with a harmless entry that the old extraction
    // would have written before reaching the escaping one.
    // Together with the folder longer than the path buffer (the header
    // stays clear of a multiple of 256 bytes, which reads as the end mark).
    const std::string longName(240, 'n'), longDirectory(238, 'd');
    struct Hostile {
        int level;
        std::string name;
        std::string directory;
    } const kHostile[] = {
        {1, "..\\evil.txt", ""},
        {2, "evil.txt", "..\xff"},
        {2, "evil.txt", "a\xff..\xff..\xff"},
        {0, "../EVIL.TXT", ""},
        {1, "\\evil.txt", ""},
        {2, "evil.txt",
         "\xff"
         "evil\xff"},
        {1, "C:evil.txt", ""},
        {2, "evil.txt", "\xff\xffhost\xffshare\xff"},
        {1, "CON", ""},
        {2, "aux.txt", "sub\xff"},
        {2, "x", "~tidewell-update\xff"},
        {2, longName, longDirectory + "\xff"},
        {1, "", ""},
    };
    std::string folder = Folder("inside", {{"old.txt", "old"}});
    int n = 0;
    for (const Hostile& hostile : kHostile) {
        TestMember bad = StoredMember(hostile.name, "escaped", hostile.directory);
        Bytes archive = Concat({Member(2, StoredMember("good.txt", "good")), Member(hostile.level, bad)});
        std::string path = WriteScratchFile("apply-hostile-" + std::to_string(n++) + ".lzh", WithEndMark(archive));
        ExpectNothingChanged(path, folder);
    }
}

// Changes one byte in the middle of the packed data of the entry name.
std::string Damaged(const std::string& archive, const char* name)
{
    LzhArchive reader = {};
    EXPECT_EQ(0, LzhOpen(archive.c_str(), &reader));
    EXPECT_EQ(0, LzhReadHeaders(&reader));
    uint32_t at = 0;
    for (int n = 1; n <= reader.count; n++) {
        const LzhEntry* entry = LzhGetEntry(&reader, n);
        if (std::string(entry->name) == name) at = entry->dataPosition + entry->packedLength / 2;
    }
    LzhClose(&reader);
    EXPECT_NE(0u, at) << name;
    Bytes bytes = ReadWholeFile(archive);
    bytes[at] ^= 0x5A;
    return WriteScratchFile("apply-damaged.lzh", bytes);
}

DWORD WINAPI StopWhenStaged(void* parameter)
{
    auto* watch = static_cast<std::pair<std::string, HANDLE>*>(parameter);
    for (int i = 0; i < 3000; i++) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(watch->first.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow > 2000000)
            break;
        Sleep(5);
    }
    SetEvent(watch->second);
    return 0;
}

TEST_F(ApplyTest, DamagedHeldReadOnlyAndStoppedUpdatesChangeNothing)
{
    if (archives_.empty()) GTEST_SKIP() << "needs the archives of update_site.py --apply (jlha)";
    Tree old = {{"readme.txt", "old readme"},
                {"empty.bin", "old empty"},
                {"sub/note.txt", "old note"},
                {"sub/deep/data.bin", "old data"}};
    std::string folder = Folder("old", old);

    // One byte changed in the packed data; the archive CRC is not asked for.
    ExpectNothingChanged(Damaged(archives_ + "level2.lzh", "data.bin"), folder);
    ExpectNothingChanged(archives_ + "files\\readme.txt", folder);  // not an archive

    // A read-only target.
    std::string readOnly = folder + "sub\\note.txt";
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    ExpectNothingChanged(archives_ + "level2.lzh", folder);
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);

    // Targets held open by another program, one after the other: whatever
    // was moved before the held one is put back.
    for (const char* held : {"readme.txt", "empty.bin", "sub\\note.txt", "sub\\deep\\data.bin"}) {
        SCOPED_TRACE(held);
        HANDLE h =
            CreateFileA((folder + held).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        ExpectNothingChanged(archives_ + "level2.lzh", folder);
        CloseHandle(h);
    }

    // Stopped while the large entry is being decoded.
    HANDLE stop = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::pair<std::string, HANDLE> watch(folder + "~tidewell-update\\new\\big.bin", stop);
    HANDLE watcher = CreateThread(nullptr, 0, StopWhenStaged, &watch, 0, nullptr);
    ExpectNothingChanged(archives_ + "big.lzh", folder, stop, kApplyStopped);
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
    CloseHandle(stop);

    // And after all that the update itself goes through.
    ASSERT_EQ(kApplyWritten, Apply(archives_ + "level2.lzh", folder));
    EXPECT_EQ(FilesOf(archives_ + "files"), FilesOf(folder));
}

}  // namespace
