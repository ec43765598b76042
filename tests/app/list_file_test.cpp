// List files and URL lists: exact bytes written, tolerant reading.
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "list_host.h"
#include "marrowby/app/list_file.h"
#include "marrowby/app/settings.h"
#include "marrowby/engine/url.h"
#include "tests/support/sparse_files.h"

namespace {

const char kHeader[] = "; Created by Marrowby/0.23 ( built on Tessaline )\r\n";

class ListFile : public ListHostTest {
protected:
    void SetUp() override
    {
        ListHostTest::SetUp();
        folder_ = FreshTestFolder();
    }

    std::string Path(const char* name) const { return folder_ + name; }

    // Writes bytes to a list file and reads it into the (cleared) list.
    std::vector<DownloadItem*> ReadBytes(const std::string& bytes)
    {
        ClearList();
        WriteWholeFile(Path("in.wrg"), bytes);
        EXPECT_EQ(0, ReadListFile(Path("in.wrg").c_str()));
        ExpectListConsistent();
        return ChainItems();
    }

    std::string WriteBytes()
    {
        EXPECT_EQ(0, WriteListFile(Path("out.wrg").c_str()));
        return ReadWholeFile(Path("out.wrg"));
    }

    std::string folder_;
};

TEST_F(ListFile, WritesHeaderAndRecordsByteForByte)
{
    ASSERT_EQ(0, AddUrl("http://h/a.zip?x=1", nullptr, nullptr, nullptr));
    DownloadItem* item = FirstListItem();
    SetItemFolder(item, "C:\\dl\\");
    ASSERT_EQ(0, AddUrl("http://h/b.bin", "http://ref/page", nullptr, nullptr));
    DownloadItem* second = LastListItem();
    SetItemFolder(second, "D:\\x");
    SetItemFileName(second, "b.bin");
    second->size = 5000;
    second->state = ItemState::Completed;
    ASSERT_EQ(0, AddUrl("http://h/c", nullptr, nullptr, nullptr));
    LastListItem()->state = ItemState::Running;  // written as waiting
    LastListItem()->size = -1;
    EXPECT_EQ(std::string(kHeader) +
                  ";\r\nRefererStr=\r\nStoreIn=C:\\dl\\\r\n_RemoteFileSize=-1\r\n_State=0\r\n"
                  "Url=http://h/a.zip?x=1\r\n"
                  ";\r\nRefererStr=http://ref/page\r\nStoreIn=D:\\x\r\n_RemoteFileSize=5000\r\n"
                  "_State=1\r\n_RealFileName=D:\\x\\b.bin\r\nUrl=http://h/b.bin\r\n"
                  ";\r\nRefererStr=\r\nStoreIn=\r\n_RemoteFileSize=-1\r\n_State=0\r\n"
                  "Url=http://h/c\r\n",
              WriteBytes());
    LastListItem()->state = ItemState::Waiting;
}

// A checksum as a list file may give it (any case, spaces, a prefix) is
// kept in its stored form and written back under "_Checksum"; one that is no
// checksum is dropped, and items without one write no such line.
TEST_F(ListFile, ChecksumsReadInAnyFormAndWrittenInTheStoredOne)
{
    std::vector<DownloadItem*> items = ReadBytes(
        ";\r\n_checksum= SHA1: DA39A3EE 5E6B4B0D 3255BFEF 95601890 AFD80709\r\nUrl=http://h/a.bin\r\n"
        ";\r\n_Checksum=sha256:1234\r\nUrl=http://h/b.bin\r\n"
        ";\r\nUrl=http://h/c.bin\r\n");
    ASSERT_EQ(3u, items.size());
    EXPECT_STREQ("sha1:da39a3ee5e6b4b0d3255bfef95601890afd80709", items[0]->checksum);
    EXPECT_STREQ("", items[1]->checksum);
    EXPECT_STREQ("", items[2]->checksum);
    std::string written = WriteBytes();
    EXPECT_NE(std::string::npos,
              written.find("_Checksum=sha1:da39a3ee5e6b4b0d3255bfef95601890afd80709\r\nUrl=http://h/a.bin\r\n"))
        << written;
    EXPECT_EQ(written.find("_Checksum"), written.rfind("_Checksum")) << written;
}

TEST_F(ListFile, EmptyListAndBadPaths)
{
    EXPECT_EQ(std::string(kHeader), WriteBytes());
    EXPECT_EQ(1, WriteListFile(""));
    EXPECT_EQ(1, WriteListFile(nullptr));
    EXPECT_EQ(1, ReadListFile(""));
    EXPECT_EQ(1, ReadListFile(Path("missing.wrg").c_str()));
    EXPECT_EQ(1, WriteListFile(Path("no\\such\\folder\\x.wrg").c_str()));
    EXPECT_EQ(0, RowCount());
}

TEST_F(ListFile, KeysAnyCaseLeadingSpaceAndUnfinishedRecord)
{
    std::vector<DownloadItem*> items = ReadBytes(
        "; header\r\n;\r\n"
        "refererstr=http://r/\r\nSTOREIN=C:\\a\r\n_remotefilesize=77\r\n_STATE=2\r\nurl=http://h/1\r\n"
        ";\r\n"
        "StoreIn=C:\\b\r\n Url=http://h/not-a-record\r\n_State=1\r\nUrl=http://h/2\r\n"
        ";\r\nStoreIn=C:\\c\r\n_State=1\r\n");
    ASSERT_EQ(2u, items.size());
    EXPECT_STREQ("http://r/", items[0]->referrer);
    EXPECT_STREQ("C:\\a", items[0]->folder);
    EXPECT_EQ(77, items[0]->size);
    EXPECT_EQ(ItemState::Paused, items[0]->state);
    EXPECT_STREQ("http://h/1", items[0]->url);
    EXPECT_STREQ("C:\\b", items[1]->folder);
    EXPECT_EQ(ItemState::Completed, items[1]->state);
    EXPECT_STREQ("http://h/2", items[1]->url);  // " Url" did not end the record
    EXPECT_EQ("77", CellText(0, 1));
    EXPECT_EQ(2, RowImage(0));
    EXPECT_EQ(1, RowImage(1));
}

TEST_F(ListFile, SizeAndStateValueForms)
{
    std::vector<DownloadItem*> items = ReadBytes(
        "_RemoteFileSize=-1\nUrl=http://h/1\n"
        "_RemoteFileSize=unknown\nUrl=http://h/2\n"
        "_RemoteFileSize=  123abc\nUrl=http://h/3\n"
        "_State=3\nUrl=http://h/4\n"
        "_State=\nUrl=http://h/5\n"
        "Url=http://h/6?a=b&c==d\n");
    ASSERT_EQ(6u, items.size());
    EXPECT_EQ(-1, items[0]->size);
    EXPECT_EQ(0, items[1]->size);
    EXPECT_EQ(123, items[2]->size);
    EXPECT_EQ(ItemState::Waiting, items[3]->state);
    EXPECT_EQ(ItemState::Waiting, items[4]->state);
    EXPECT_STREQ("http://h/6?a=b&c==d", items[5]->url);
    // -1 stays -1 on the next save.
    std::string written = WriteBytes();
    EXPECT_NE(std::string::npos, written.find("_RemoteFileSize=-1\r\n_State=0\r\nUrl=http://h/1\r\n"));
}

TEST_F(ListFile, ForeignFileWithUnknownKeysInAnotherOrder)
{
    std::string partial = folder_ + "movie.part";
    WriteWholeFile(partial, std::string(4321, 'm'));
    std::string text =
        "; Created by another program 5.0\r\n"
        "[Download]\r\n"
        "_RealFileName=" +
        partial +
        "\r\n"
        "Description=holiday movie\r\n"
        "_State=2\r\n"
        "Priority=5\r\n"
        "_RemoteFileSize=100000\r\n"
        "StoreIn=" +
        folder_ +
        "\r\n"
        "_Cookie=a=b; c=d\r\n"
        "RefererStr=http://ref.example/\r\n"
        "_Mirrors=0\r\n"
        "URL=http://example.com/movie.part\r\n"
        "\r\n"
        "Url=http://example.com/second\r\n"
        "Unfinished=1\r\n";
    std::vector<DownloadItem*> items = ReadBytes(text);
    ASSERT_EQ(2u, items.size());
    EXPECT_STREQ("http://example.com/movie.part", items[0]->url);
    EXPECT_STREQ("http://ref.example/", items[0]->referrer);
    EXPECT_EQ(folder_, items[0]->folder);
    EXPECT_STREQ("movie.part", items[0]->fileName);
    EXPECT_EQ(4321, items[0]->downloaded);  // from the file on disk
    EXPECT_EQ(100000, items[0]->size);
    EXPECT_EQ(ItemState::Paused, items[0]->state);
    EXPECT_STREQ("http://example.com/second", items[1]->url);
    EXPECT_EQ(ItemState::Waiting, items[1]->state);
    EXPECT_STREQ("", items[1]->referrer);
    EXPECT_EQ("4321", CellText(0, 2));
}

TEST_F(ListFile, ResumeOffsetComesFromThePartialFile)
{
    WriteWholeFile(folder_ + "part.bin", std::string(2500, 'p'));
    std::vector<DownloadItem*> items = ReadBytes("StoreIn=Q:\\elsewhere\\\n_RealFileName=" + folder_ +
                                                 "part.bin\nUrl=http://h/p\n"
                                                 "_RealFileName=" +
                                                 folder_ + "gone.bin\nUrl=http://h/g\n");
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(2500, items[0]->downloaded);
    EXPECT_STREQ("part.bin", items[0]->fileName);
    EXPECT_STREQ("Q:\\elsewhere\\", items[0]->folder);  // folder from StoreIn only
    EXPECT_EQ(0, items[1]->downloaded);
    EXPECT_STREQ("", items[1]->fileName);  // unchanged when the file is gone
}

// A list that names many files of one folder: whatever the folder's listing
// lets the reader skip, each record ends as opening its file directly says
// (its size and name when it opens, 0 and no name when not; a file held by
// another program while the list is read included), for present,
// missing and differently cased names, a folder of that name, device names,
// names the system trims, and a folder that is not there.
TEST_F(ListFile, ManyNamesOfOneFolderReadAsOpeningThemSays)
{
    std::string folder = folder_ + "many\\";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((folder + "dir.bin").c_str(), nullptr));
    std::vector<std::string> paths;
    for (int i = 0; i < 40; ++i) {
        std::string name = "File-" + std::to_string(i) + ".bin";
        WriteWholeFile(folder + name, std::string(static_cast<size_t>(i + 1), 'x'));
        paths.push_back(folder + name);
        paths.push_back(folder + "missing-" + std::to_string(i) + ".bin");
        if (i % 4 == 0) paths.push_back(folder + "FILE-" + std::to_string(i) + ".BIN");
    }
    WriteWholeFile(folder + "trimmed.bin", "tt");
    for (const char* odd : {"dir.bin", "nul.txt", "con", "trimmed.bin.", "trimmed.bin ", "FILE-1~1.BIN", "a?b.bin"}) {
        paths.push_back(folder + odd);
    }
    for (int i = 0; i < 20; ++i) paths.push_back(folder_ + "absent\\f" + std::to_string(i) + ".bin");
    // A file another program holds without sharing still counts at its size.
    WriteWholeFile(folder + "held.bin", "held");
    paths.push_back(folder + "held.bin");
    HANDLE held = CreateFileA((folder + "held.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    std::string text;
    for (const std::string& path : paths) text += ";\r\n_RealFileName=" + path + "\r\nUrl=http://h/f\r\n";
    std::vector<DownloadItem*> items = ReadBytes(text);
    CloseHandle(held);
    ASSERT_EQ(paths.size(), items.size());
    int opened = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        HANDLE file = CreateFileA(paths[i].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size = {};
        bool opens = file != INVALID_HANDLE_VALUE;
        if (opens) {
            GetFileSizeEx(file, &size);
            CloseHandle(file);
            ++opened;
        }
        EXPECT_EQ(opens ? size.QuadPart : 0, items[i]->downloaded) << paths[i];
        EXPECT_STREQ(opens ? paths[i].substr(paths[i].rfind('\\') + 1).c_str() : "", items[i]->fileName) << paths[i];
    }
    EXPECT_GE(opened, 50);  // the present files and their other cases at least
}

// A segmented download's progress: the named file holds the head
// segment's bytes, the side file beside it (at the full size) the others',
// so the segments say what is present, the head counting no more than its
// file holds. Without that side file, or with segments that do not fit the
// size, the offset is what the named file gives, as a reader that knows no
// segments takes it. Saving writes them back, and the download's own speed
// limit with them.
TEST_F(ListFile, SegmentsGiveTheBytesPresentWhenTheirFileFits)
{
    WriteWholeFile(folder_ + "full.bin", std::string(1000, 'f'));
    WriteWholeFile(folder_ + "full.bin.mwpart", std::string(3000, 'p'));
    WriteWholeFile(folder_ + "short.bin", std::string(1200, 's'));
    WriteWholeFile(folder_ + "part.bin", std::string(700, 'h'));
    WriteWholeFile(folder_ + "part.bin.mwpart", std::string(3000, 'p'));
    const std::string segments = "0-1000:1000,1000-2000:250,2000-3000:10";
    const std::string keys = "\n_Segments=" + segments;
    // The side file lies in the item's folder, beside the named file.
    const std::string in = "StoreIn=" + folder_ + "\n";
    std::vector<DownloadItem*> items = ReadBytes(
        in + "_RemoteFileSize=3000\n_RealFileName=" + folder_ + "full.bin" + keys +
        "\n_SpeedLimit=150\nUrl=http://h/full\n" + in + "_RemoteFileSize=3000\n_RealFileName=" + folder_ + "short.bin" +
        keys + "\nUrl=http://h/short\n" + in + "_RemoteFileSize=3000\n_RealFileName=" + folder_ + "gone.bin" + keys +
        "\nUrl=http://h/gone\n" + in + "_RemoteFileSize=4000\n_RealFileName=" + folder_ + "full.bin" + keys +
        "\n_SpeedLimit=-5\nUrl=http://h/other\n" + in + "_RemoteFileSize=3000\n_RealFileName=" + folder_ + "part.bin" +
        keys + "\nUrl=http://h/part\n");
    ASSERT_EQ(5u, items.size());
    EXPECT_EQ(1260, items[0]->downloaded);
    ASSERT_NE(nullptr, items[0]->segments);
    EXPECT_STREQ(segments.c_str(), items[0]->segments);
    EXPECT_EQ(150, items[0]->speedLimit);
    EXPECT_EQ(1200, items[1]->downloaded);  // no side file
    EXPECT_EQ(nullptr, items[1]->segments);
    EXPECT_EQ(0, items[2]->downloaded);
    EXPECT_EQ(nullptr, items[2]->segments);
    EXPECT_EQ(1000, items[3]->downloaded);  // the segments are for another size
    EXPECT_EQ(nullptr, items[3]->segments);
    EXPECT_EQ(0, items[3]->speedLimit);
    EXPECT_EQ(700 + 260, items[4]->downloaded);  // the head's file is shorter than its count
    ASSERT_NE(nullptr, items[4]->segments);

    std::string written = WriteBytes();
    EXPECT_NE(std::string::npos,
              written.find("full.bin\r\n_Segments=" + segments + "\r\n_SpeedLimit=150\r\nUrl=http://h/full\r\n"))
        << written;
    EXPECT_LT(written.find("_Segments="), written.find("part.bin\r\n_Segments=" + segments + "\r\nUrl=http://h/part"))
        << written;
    EXPECT_EQ(written.find("_SpeedLimit="), written.rfind("_SpeedLimit="));
}

// Partial files of 2 GiB and more resume from their real size, and sizes
// beyond 32 bits are read, shown and written as they are.
TEST_F(ListFile, SizesAndPartialFilesBeyond4GiB)
{
    const int64_t fiveBillion = INT64_C(5000000000);
    const int64_t fourAndAHalfGiB = INT64_C(4831838208);
    ASSERT_TRUE(sparse::MakePartialFile(folder_ + "huge.iso", fourAndAHalfGiB));
    ASSERT_TRUE(sparse::MakePartialFile(folder_ + "two.bin", INT64_C(2147483648)));
    std::vector<DownloadItem*> items = ReadBytes(
        "StoreIn=" + folder_ + "\n_RemoteFileSize=5000000000\n_RealFileName=" + folder_ +
        "huge.iso\nUrl=http://h/huge.iso\n"
        "StoreIn=" +
        folder_ + "\n_RemoteFileSize=4294967296\n_RealFileName=" + folder_ + "two.bin\nUrl=http://h/two.bin\n");
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(fiveBillion, items[0]->size);
    EXPECT_EQ(fourAndAHalfGiB, items[0]->downloaded);
    EXPECT_EQ(INT64_C(4294967296), items[1]->size);
    EXPECT_EQ(INT64_C(2147483648), items[1]->downloaded);
    EXPECT_EQ("5000000000", CellText(0, kColumnSize));
    EXPECT_EQ("4831838208", CellText(0, kColumnDownloaded));
    EXPECT_EQ("4294967296", CellText(1, kColumnSize));
    EXPECT_EQ("2147483648", CellText(1, kColumnDownloaded));

    std::string written = WriteBytes();
    EXPECT_NE(std::string::npos,
              written.find("_RemoteFileSize=5000000000\r\n_State=0\r\n_RealFileName=" + folder_ + "huge.iso\r\n"))
        << written;
    EXPECT_NE(std::string::npos, written.find("_RemoteFileSize=4294967296\r\n")) << written;
    ClearList();
    EXPECT_TRUE(DeleteFileA((folder_ + "huge.iso").c_str()));
    EXPECT_TRUE(DeleteFileA((folder_ + "two.bin").c_str()));
}

TEST_F(ListFile, FolderSeparatorIsAddedOnTheSecondSave)
{
    WriteWholeFile(folder_ + "a.zip", "abc");
    std::string noSlash = folder_.substr(0, folder_.size() - 1);
    ReadBytes("StoreIn=" + noSlash + "\r\n_RealFileName=" + folder_ + "a.zip\r\nUrl=http://h/a\r\n");
    std::string first = WriteBytes();
    EXPECT_NE(std::string::npos, first.find("StoreIn=" + noSlash + "\r\n"));
    EXPECT_NE(std::string::npos, first.find("_RealFileName=" + folder_ + "a.zip\r\n"));
    std::string second = WriteBytes();
    EXPECT_NE(std::string::npos, second.find("StoreIn=" + folder_ + "\r\n"));
    EXPECT_NE(std::string::npos, second.find("_RealFileName=" + folder_ + "a.zip\r\n"));
}

TEST_F(ListFile, EmptyFolderWritesTheBareFileName)
{
    ASSERT_EQ(0, AddUrl("http://h/x", nullptr, nullptr, nullptr));
    SetItemFileName(FirstListItem(), "x.dat");
    std::string written = WriteBytes();
    EXPECT_NE(std::string::npos, written.find("StoreIn=\r\n_RemoteFileSize=-1\r\n_State=0\r\n"
                                              "_RealFileName=x.dat\r\nUrl=http://h/x\r\n"));
}

TEST_F(ListFile, ShiftJisFoldersAndNamesSurviveARoundTrip)
{
    // 0x95 0x5C and 0x83 0x5C: double-byte characters whose second byte is '\'.
    std::string sjisFolder = folder_ + "\x95\x5C\\";
    std::string sjisName = "\x83\x5C\x83\x74\x83\x67.txt";
    ASSERT_TRUE(CreateDirectoryA(sjisFolder.c_str(), nullptr));
    WriteWholeFile(sjisFolder + sjisName, std::string(10, 's'));
    std::string record = ";\r\nRefererStr=http://h/\x95\x5C\r\nStoreIn=" + sjisFolder +
                         "\r\n_RemoteFileSize=-1\r\n_State=2\r\n_RealFileName=" + sjisFolder + sjisName +
                         "\r\nUrl=http://h/f\r\n";
    std::vector<DownloadItem*> items = ReadBytes(std::string(kHeader) + record);
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(sjisName, items[0]->fileName);
    EXPECT_EQ(10, items[0]->downloaded);
    EXPECT_EQ(sjisFolder, items[0]->folder);
    EXPECT_EQ(std::string(kHeader) + record, WriteBytes());
    // A folder whose last character ends in 0x5C gets a real separator.
    ClearList();
    ReadBytes("StoreIn=" + folder_ + "\x95\x5C\r\n_RealFileName=" + sjisFolder + sjisName + "\r\nUrl=http://h/f\r\n");
    std::string written = WriteBytes();
    EXPECT_NE(std::string::npos, written.find("_RealFileName=" + sjisFolder + sjisName + "\r\n"));
}

// Names, ETags and checksums at their full widths and many records with
// and without them come back byte for byte; a longer ETag is cut to its
// width, as a read always did.
TEST_F(ListFile, FullWidthTextsAndManyRecordsRoundTripExactly)
{
    std::string longName = std::string(180, 'n') + ".bin";
    WriteWholeFile(folder_ + longName, std::string(77, 'p'));
    std::string fullTag = "\"" + std::string(kItemEntityTagSize - 3, 't') + "\"";
    std::string checksum = "sha256:" + std::string(64, 'a');
    std::string text = std::string(kHeader) + ";\r\nRefererStr=http://ref/long\r\nStoreIn=" + folder_ +
                       "\r\n_RemoteFileSize=1000\r\n_State=2\r\n_RealFileName=" + folder_ + longName +
                       "\r\n_Checksum=" + checksum + "\r\n_ETag=" + fullTag +
                       "\r\n_LastModified=1700000000\r\nUrl=http://h/long\r\n";
    for (int i = 0; i < 500; ++i) {
        std::string n = std::to_string(i);
        text += ";\r\nRefererStr=" + (i % 3 == 0 ? std::string() : "http://ref/" + n) + "\r\nStoreIn=C:\\dl" +
                std::to_string(i % 7) + "\\\r\n_RemoteFileSize=" + std::to_string(i + 1) +
                "\r\n_State=" + std::to_string(i % 3) + "\r\n";
        if (i % 4 == 0) text += "_Checksum=md5:" + std::string(32, static_cast<char>('0' + i % 10)) + "\r\n";
        if (i % 5 == 0) text += "_ETag=W/\"" + n + "\"\r\n";
        text += "Url=http://h/" + n + "\r\n";
    }
    std::vector<DownloadItem*> items = ReadBytes(text);
    ASSERT_EQ(501u, items.size());
    EXPECT_EQ(longName, items[0]->fileName);
    EXPECT_EQ(77, items[0]->downloaded);
    EXPECT_EQ(fullTag, items[0]->entityTag);
    EXPECT_EQ(checksum, items[0]->checksum);
    EXPECT_EQ("C:\\dl3\\", std::string(items[11]->folder));
    EXPECT_EQ(text, WriteBytes());

    items = ReadBytes(";\r\n_ETag=\"" + std::string(300, 'e') + "\"\r\nUrl=http://h/cut\r\n");
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ("\"" + std::string(kItemEntityTagSize - 2, 'e'), items[0]->entityTag);
}

// Lines up to a whole URL's length arrive whole: "Url=" inside a long line
// of another key starts no record. A longer line would cut its value, so the
// file is refused rather than read in part.
TEST_F(ListFile, LongLinesArriveWholeAndLongerOnesRefuseTheFile)
{
    std::string filler(2039 - strlen("Comment="), 'c');
    std::string longReferrer(3000, 'r');
    std::string longUrl = "http://h/signed?sig=" + std::string(kUrlTextMax - 20, 's');
    std::vector<DownloadItem*> items =
        ReadBytes("Comment=" + filler + "Url=http://h/piece\r\n" + "RefererStr=" + longReferrer + "\r\n" +
                  "Url=http://h/next\r\nUrl=" + longUrl + "\r\n");
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(1152u, strlen(items[0]->referrer));
    EXPECT_STREQ("http://h/next", items[0]->url);
    EXPECT_EQ(longUrl, items[1]->url);
    EXPECT_EQ(kUrlTextMax, strlen(items[1]->url));
    std::string written = WriteBytes();
    EXPECT_NE(std::string::npos, written.find("\r\nUrl=" + longUrl + "\r\n"));

    ClearList();
    WriteWholeFile(Path("in.wrg"), std::string(kHeader) + "Url=" + longUrl + "x\r\n");
    EXPECT_EQ(2, ReadListFile(Path("in.wrg").c_str()));
    EXPECT_TRUE(FileIsNotAList(Path("in.wrg").c_str()));
    EXPECT_EQ(nullptr, FirstListItem());
}

// Notepad saves UTF-16 with a byte order mark: read converted. A NUL byte
// anywhere, or a file that is not a list, is refused whole.
TEST_F(ListFile, Utf16IsConvertedAndNulBytesOrForeignFilesAreRefused)
{
    const std::string text = std::string(kHeader) + ";\r\nStoreIn=C:\\dl\r\nUrl=http://h/one.zip\r\n";
    std::string little = "\xFF\xFE";
    std::string big = "\xFE\xFF";
    for (char c : text) {
        little += std::string{c, '\0'};
        big += std::string{'\0', c};
    }
    for (const std::string& bytes : {little, big}) {
        std::vector<DownloadItem*> items = ReadBytes(bytes);
        ASSERT_EQ(1u, items.size());
        EXPECT_STREQ("http://h/one.zip", items[0]->url);
        EXPECT_STREQ("C:\\dl", items[0]->folder);
        EXPECT_FALSE(FileIsNotAList(Path("in.wrg").c_str()));
    }
    const std::string refused[] = {
        std::string(kHeader) + "Url=http://h/a\r\n" + std::string(1, '\0') + "\r\n",
        std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "just some text\r\nwithout a setting\r\n",
        "\xFF\xFE" + std::string("U\0r\0l\0=\0h", 9),  // an odd number of bytes
    };
    for (const std::string& bytes : refused) {
        ClearList();
        WriteWholeFile(Path("in.wrg"), bytes);
        EXPECT_EQ(2, ReadListFile(Path("in.wrg").c_str())) << bytes;
        EXPECT_TRUE(FileIsNotAList(Path("in.wrg").c_str())) << bytes;
        EXPECT_EQ(nullptr, FirstListItem());
    }
}

TEST_F(ListFile, ReadingAppendsToTheListAndRoundTripsExactly)
{
    ASSERT_EQ(0, AddUrl("http://h/existing", nullptr, nullptr, nullptr));
    std::string text = std::string(kHeader) +
                       ";\r\nRefererStr=r\r\nStoreIn=C:\\q\\\r\n_RemoteFileSize=9\r\n_State=1\r\n"
                       "Url=http://h/1\r\n";
    WriteWholeFile(Path("in.wrg"), text);
    ASSERT_EQ(0, ReadListFile(Path("in.wrg").c_str()));
    ExpectListConsistent();
    ASSERT_EQ(2, RowCount());
    SelectOnly({0});
    DeleteSelected();
    EXPECT_EQ(text, WriteBytes());
}

TEST_F(ListFile, FailedSaveKeepsTheOldList)
{
    ASSERT_EQ(0, AddUrl("http://h/kept", nullptr, nullptr, nullptr));
    std::string before = WriteBytes();
    ASSERT_EQ(0, AddUrl("http://h/new", nullptr, nullptr, nullptr));
    ASSERT_TRUE(CreateDirectoryA((Path("out.wrg") + ".new").c_str(), nullptr));
    EXPECT_EQ(1, WriteListFile(Path("out.wrg").c_str()));
    EXPECT_EQ(before, ReadWholeFile(Path("out.wrg")));
    RemoveDirectoryA((Path("out.wrg") + ".new").c_str());
    EXPECT_NE(before, WriteBytes());
    EXPECT_FALSE(FileExists(Path("out.wrg") + ".new"));
}

TEST_F(ListFile, ImportTakesOnlyHttpUrls)
{
    // A URL of the longest length is kept whole; a longer one is left out,
    // with every piece of its line, and the import says so.
    std::string longUrl = "http://h/" + std::string(kUrlTextMax - 9, 'L');
    std::string tooLong = "http://h/" + std::string(2 * kUrlTextMax, 'T') + "http://h/tail";
    WriteWholeFile(Path("urls.lst"),
                   "ftp://h/file\r\n\r\nhttp://h/one\r\nnot a url\n"
                   "HTTP://u:p@h/two\nhttps://h/secure\n" +
                       longUrl + "\r\n" + tooLong + "\r\nhttp://h/last");
    EXPECT_EQ(2, ImportUrlList(Path("urls.lst").c_str()));
    std::vector<DownloadItem*> items = ChainItems();
    ASSERT_EQ(5u, items.size());
    EXPECT_STREQ("http://h/one", items[0]->url);
    EXPECT_STREQ("HTTP://u:p@h/two", items[1]->url);
    EXPECT_STREQ("u", items[1]->user);
    EXPECT_STREQ("https://h/secure", items[2]->url);
    EXPECT_EQ(longUrl, items[3]->url);
    EXPECT_STREQ("http://h/last", items[4]->url);
    EXPECT_EQ(1, ImportUrlList(Path("missing.lst").c_str()));
    EXPECT_EQ(1, ImportUrlList(""));
    // Saved by an editor as UTF-8 with a byte order mark.
    WriteWholeFile(Path("utf8.txt"), "\xEF\xBB\xBFhttp://h/first\r\nhttp://h/second\r\n");
    EXPECT_EQ(0, ImportUrlList(Path("utf8.txt").c_str()));
    items = ChainItems();
    ASSERT_EQ(7u, items.size());
    EXPECT_STREQ("http://h/first", items[5]->url);
    ExpectListConsistent();
}

}  // namespace
