// Names and addresses as a browser treats them: the server's name in the
// program's code page, typed addresses sent escaped, one file per download,
// and a resume that meets a complete or a changed file on the server.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/transfer/transfer_support.h"

namespace {

class NamesTest : public DownloadJobFixture {
protected:
    // Downloads into an empty folder and returns the name the job reports.
    std::string SavedName(const std::string& url)
    {
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        JobRecorder recorder;
        run_.url = url;
        EXPECT_EQ(RunJob(run_, recorder).started, 0) << url;
        EXPECT_EQ(recorder.Sequence(), "accepted data closed") << url;
        std::string name = recorder.summary.fileName;
        EXPECT_TRUE(Saved(name) == Pattern(0, 300)) << url;
        return name;
    }

    std::string Disposition(const std::string& value) { return Url("get?size=300&cd=" + QueryEscape(value)); }
};

TEST_F(NamesTest, ServerNamesInTheProgramsCodePage)
{
    // "nihon go.txt" in Japanese: UTF-8 escapes, saved in Shift-JIS; the
    // extended name wins over the plain one.
    EXPECT_EQ(
        "\x93\xFA\x96\x7B \x8C\xEA.txt",
        SavedName(Disposition("attachment; filename=plain.txt; filename*=UTF-8''%E6%97%A5%E6%9C%AC%20%E8%AA%9E.txt")));
    // An e acute (ISO-8859-1) and an emoji have no Shift-JIS form: escaped.
    EXPECT_EQ("caf%C3%A9.txt", SavedName(Disposition("attachment; filename*=ISO-8859-1''caf%E9.txt")));
    EXPECT_EQ("%F0%9F%98%80.txt", SavedName(Disposition("attachment; filename*=UTF-8''%F0%9F%98%80.txt")));
    // Raw UTF-8 in a plain name, and escapes in the address.
    EXPECT_EQ("\x93\xFA.zip",
              SavedName(Url("get?size=300&cdhex=" + HexBytes("attachment; filename=\"\xE6\x97\xA5.zip\""))));
    EXPECT_EQ("my file.bin", SavedName(Url("my%20file.bin?size=300")));
    EXPECT_EQ("\x93\xFA\x96\x7B.bin", SavedName(Url("%E6%97%A5%E6%9C%AC.bin?size=300")));
    // Still made safe: an escaped device name and separators.
    EXPECT_EQ("_con.txt", SavedName(Disposition("attachment; filename*=UTF-8''..%2F..%2Fcon.txt")));
}

TEST_F(NamesTest, TypedAddressIsSentEscapedAsUtf8)
{
    // Typed in Shift-JIS: /<id>/nihon dir/go.bin?size=300&q=nihon#part
    const std::string typed = Url("\x93\xFA\x96\x7B dir/\x8C\xEA.bin?size=300&q=\x93\xFA#part");
    EXPECT_EQ("\x8C\xEA.bin", SavedName(typed));
    EXPECT_EQ(0u, RecordedRequest(id_, 1).find(
                      "GET /" + id_ + "/%E6%97%A5%E6%9C%AC%20dir/%E8%AA%9E.bin?size=300&q=%E6%97%A5 HTTP/1.0\r\n"))
        << RecordedRequest(id_, 1);
}

// Downloads started at one moment under one name end in files of their own;
// a file whose name differs only in letter case is another download's too.
TEST_F(NamesTest, SameNamesStartedTogetherGetFilesOfTheirOwn)
{
    WriteFileBytes(folder_ + "/SAME.BIN", "kept");
    const int sizes[] = {150000, 170000, 190000};
    JobRecorder recorders[3];
    DownloadJob* jobs[3];
    for (int i = 0; i < 3; ++i) {
        jobs[i] = new DownloadJob();
        JobCallbackRegistration registration = recorders[i].Registration();
        ASSERT_EQ(jobs[i]->Prepare(&registration), 0);
    }
    for (int i = 0; i < 3; ++i) {
        std::string url = Url("n" + std::to_string(i) + "/same.bin?slow=5&size=" + std::to_string(sizes[i]));
        ASSERT_EQ(jobs[i]->Start(url.c_str(), 0, folder_.c_str(), "", 5000), 0);
    }
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(recorders[i].WaitForEnd(30000));
        jobs[i]->Stop();
        delete jobs[i];
        EXPECT_EQ(recorders[i].Sequence(), "accepted data closed");
        names.push_back(recorders[i].summary.fileName);
        EXPECT_TRUE(Saved(names.back()) == Pattern(0, sizes[i])) << names.back();
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"same (2).bin", "same (3).bin", "same (4).bin"}));
    EXPECT_EQ(Saved("SAME.BIN"), "kept");
}

// Starting a complete download again: the server refuses the range with the
// size of the file here, and the file is complete, untouched. A refusal that
// names another size means the server's file is another one: it comes again.
TEST_F(NamesTest, UnsatisfiableRangeMeansCompleteOrStartsAgain)
{
    WriteFileBytes(folder_ + "/done.bin", Pattern(0, 4000));
    FILETIME before = {};
    HANDLE file =
        CreateFileA((folder_ + "/done.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileTime(file, nullptr, nullptr, &before);
    CloseHandle(file);
    run_.offset = 4000;
    run_.lastName = "done.bin";
    ASSERT_EQ(Run(Url("done.bin?size=4000")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted closed");
    EXPECT_EQ(recorder_.summary.rangeFirst, 4000);
    EXPECT_EQ(recorder_.summary.totalSize, 4000);
    EXPECT_EQ(RecordedRequestCount(id_), 1);
    EXPECT_NE(RecordedRequest(id_, 1).find("\r\nRange: bytes=4000-\r\n"), std::string::npos);
    EXPECT_TRUE(Saved("done.bin") == Pattern(0, 4000));
    FILETIME after = {};
    file =
        CreateFileA((folder_ + "/done.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileTime(file, nullptr, nullptr, &after);
    CloseHandle(file);
    EXPECT_EQ(0, CompareFileTime(&before, &after));

    JobRecorder again;
    WriteFileBytes(folder_ + "/grown.bin", std::string(5000, 'z'));
    run_.offset = 5000;
    run_.lastName = "grown.bin";
    run_.url = Url("grown.bin?size=3000");
    ASSERT_EQ(RunJob(run_, again).started, 0);
    EXPECT_EQ(again.Sequence(), "accepted data closed");
    EXPECT_EQ(again.summary.rangeFirst, 0);
    ASSERT_EQ(RecordedRequestCount(id_), 3);
    EXPECT_EQ(RecordedRequest(id_, 3).find("Range:"), std::string::npos);
    EXPECT_TRUE(Saved("grown.bin") == Pattern(0, 3000));
}

// A resume checks that the server's file is the one begun: the same ETag
// continues it, another ETag or Last-Modified fetches it whole again.
TEST_F(NamesTest, ChangedServerFileStartsAgainFromByteZero)
{
    struct Case {
        const char* query;
        const char* expectedTag;
        int32_t expectedModified;
        int requests;
    } cases[] = {
        {"etag=%22v1%22", "\"v1\"", 0, 1},
        {"etag=%22v2%22", "\"v1\"", 0, 2},
        {"lm=1700000000", "", 1700000000, 1},
        {"lm=1700000000", "", 1600000000, 2},
        {"etag=%22v2%22&lm=1700000000", "", 1700000000, 1},        // no ETag known: the date decides
        {"etag=%22v1%22&lm=1700000000", "\"v1\"", 1600000000, 1},  // both ETags known: they decide
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string name = "v" + std::to_string(n++) + ".bin";
        // Bytes of the old file that must not survive a change.
        WriteFileBytes(folder_ + "/" + name, c.requests == 2 ? std::string(2000, 'o') : Pattern(0, 2000));
        JobRecorder recorder;
        run_.offset = 2000;
        run_.lastName = name;
        run_.entityTag = c.expectedTag;
        run_.lastModified = c.expectedModified;
        run_.url = Url(name + "?size=6000&" + c.query);
        int before = RecordedRequestCount(id_);
        ASSERT_EQ(RunJob(run_, recorder).started, 0) << c.query;
        EXPECT_EQ(recorder.Sequence(), "accepted data closed") << c.query;
        ASSERT_EQ(RecordedRequestCount(id_) - before, c.requests) << c.query;
        EXPECT_EQ(recorder.summary.rangeFirst, c.requests == 1 ? 2000 : 0) << c.query;
        EXPECT_EQ(RecordedRequest(id_, before + c.requests).find("Range:") == std::string::npos, c.requests == 2);
        EXPECT_TRUE(Saved(name) == Pattern(0, 6000)) << c.query;
    }
}

}  // namespace
