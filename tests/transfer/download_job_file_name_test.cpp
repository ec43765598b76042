// The local file name of a download: whatever name the server or the URL
// suggests, the job writes exactly one file, inside the download folder, and
// reports that file's name to the application.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/transfer/transfer_support.h"

namespace {

// Every file below root, as paths relative to it with backslashes, sorted.
void ListFiles(const std::string& root, const std::string& prefix, std::vector<std::string>& out)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((root + "\\" + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(root, prefix + name + "\\", out);
        else
            out.push_back(prefix + name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::vector<std::string> FilesBelow(const std::string& root)
{
    std::vector<std::string> files;
    ListFiles(root, "", files);
    std::sort(files.begin(), files.end());
    return files;
}

// Files directly in a folder. Folders are left out: the parent of a test's
// folder holds the folders of tests that other processes run meanwhile.
std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ParentOf(const std::string& path)
{
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

// The download folder sits two levels below the test's own folder, so a
// name that climbs one or two levels would still land where the test looks.
class LocalFileNameTest : public DownloadJobFixture {
protected:
    void SetUp() override
    {
        DownloadJobFixture::SetUp();
        if (IsSkipped()) return;
        target_ = folder_ + "\\in\\dl";
        run_.folder = target_;
    }

    // Runs one download and checks that exactly target_\expected appears,
    // holding the body, and that nothing changed beside the test's folder.
    void ExpectSavedAs(const std::string& url, const std::string& expected, int32_t size)
    {
        std::string parent = ParentOf(folder_);
        std::vector<std::string> siblingsBefore = FilesIn(parent);
        std::string passwd = ReadFileBytes("Z:\\etc\\passwd");
        bool dllBefore = FileExists("C:\\Windows\\x.dll");

        JobRecorder recorder;
        run_.url = url;
        ASSERT_EQ(RunJob(run_, recorder).started, 0) << url;
        EXPECT_EQ(recorder.Sequence(), "accepted data closed") << url;
        EXPECT_EQ(std::string(recorder.summary.fileName), expected) << url;
        EXPECT_EQ(FilesBelow(folder_), std::vector<std::string>{"in\\dl\\" + expected}) << url;
        EXPECT_TRUE(ReadFileBytes(target_ + "\\" + expected) == Pattern(0, size)) << url;

        EXPECT_EQ(FilesIn(parent), siblingsBefore) << url;
        EXPECT_EQ(ReadFileBytes("Z:\\etc\\passwd"), passwd) << url;
        EXPECT_EQ(FileExists("C:\\Windows\\x.dll"), dllBefore) << url;

        // Each case starts from an empty download folder.
        std::filesystem::remove_all(folder_ + "/in");
    }

    std::string Disposition(const std::string& value, int32_t size)
    {
        return Url("get?size=" + std::to_string(size) + "&cd=" + QueryEscape(value));
    }

    std::string target_;
};

}  // namespace

TEST_F(LocalFileNameTest, HostileDispositionNamesStayInTheFolder)
{
    struct Case {
        const char* value;
        const char* saved;
    };
    const Case cases[] = {
        {"attachment; filename=\"..\\..\\evil.exe\"", "evil.exe"},
        {"attachment; filename=\"../../evil2.exe\"", "evil2.exe"},
        {"attachment; filename=/etc/passwd", "passwd"},
        {"attachment; filename=\"C:\\Windows\\x.dll\"", "x.dll"},
        {"attachment; filename=C:x.dll", "x.dll"},
        {"attachment; filename=\"\\\\server\\share\\unc.bin\"", "unc.bin"},
        {"attachment; filename=\"..\"", "index.html"},
        {"attachment; filename=\"dir/\"", "index.html"},
    };
    int32_t size = 300;
    for (const Case& c : cases) {
        ExpectSavedAs(Disposition(c.value, size), c.saved, size);
        size += 17;
    }
}

TEST_F(LocalFileNameTest, DispositionNamesAreCleanedForWindows)
{
    struct Case {
        const char* value;
        const char* saved;
    };
    const Case cases[] = {
        {"attachment; filename=\"report 1.pdf\"", "report 1.pdf"},
        {"attachment; filename=\"a b.zip\"; size=10", "a b.zip"},
        {"attachment; filename=\"cut-off.z", "cut-off.z"},
        {"attachment; filename=\"a<b>c|d?e*f.txt\"", "a_b_c_d_e_f.txt"},
        {"attachment; filename=\"trailing. . \"", "trailing"},
        // Device names, also with an extension or spaces before it, would
        // open the device instead of a file.
        {"attachment; filename=con", "_con"},
        {"attachment; filename=NUL.txt", "_NUL.txt"},
        {"attachment; filename=\"nul .txt\"", "_nul .txt"},
        {"attachment; filename=com1.log", "_com1.log"},
        {"attachment; filename=console.txt", "console.txt"},
    };
    int32_t size = 500;
    for (const Case& c : cases) {
        ExpectSavedAs(Disposition(c.value, size), c.saved, size);
        size += 13;
    }
}

TEST_F(LocalFileNameTest, ShiftJisDispositionNames)
{
    struct Case {
        std::string value;
        std::string saved;
    };
    const Case cases[] = {
        // 0x95 0x5C is one character whose second byte is a backslash.
        {"attachment; filename=\"\x95\x5C.txt\"", "\x95\x5C.txt"},
        {"attachment; filename=\"..\\\x95\x5C\\\x95\x5C.txt\"", "\x95\x5C.txt"},
        // 0x83 0x7C is one character whose second byte is '|'.
        {"attachment; filename=\"\x83\x7C.txt\"", "\x83\x7C.txt"},
        // A lead byte without its trail byte is no character at all.
        {"attachment; filename=\"ab\x81.bin\"", "ab_.bin"},
    };
    for (const Case& c : cases) ExpectSavedAs(Url("get?size=400&cdhex=" + HexBytes(c.value)), c.saved, 400);
}

TEST_F(LocalFileNameTest, UrlPathsWithTraversalStayInTheFolder)
{
    // Percent escapes are decoded for the name; what they hide is a
    // separator like any other.
    ExpectSavedAs(Url("dir/..%5c..%5cx.bin?size=600"), "x.bin", 600);
    ExpectSavedAs(Url("dir/..%2f..%2fy.bin?size=610"), "y.bin", 610);
    // A backslash sent raw is a separator on Windows.
    ExpectSavedAs(Url("a\\..\\..\\b.bin?size=620"), "b.bin", 620);
    ExpectSavedAs(Url("d\\..\\..\\?size=630"), "index.html", 630);
    ExpectSavedAs(Url("lpt1?size=640"), "_lpt1", 640);
    // The request carries the backslashes escaped, the escapes as given.
    bool escapedSent = false;
    bool keptSent = false;
    for (int n = 1; n <= RecordedRequestCount(id_); n++) {
        std::string request = RecordedRequest(id_, n);
        if (request.find("GET /" + id_ + "/a%5C..%5C..%5Cb.bin?size=620 ") == 0) escapedSent = true;
        if (request.find("GET /" + id_ + "/dir/..%5c..%5cx.bin?size=600 ") == 0) keptSent = true;
    }
    EXPECT_TRUE(escapedSent);
    EXPECT_TRUE(keptSent);
}

TEST_F(LocalFileNameTest, SavedResponseRenamedByLocationStaysInTheFolder)
{
    // The Location of a saved (203) answer renames the file; the rename is
    // made safe like any other name.
    std::string url = Url("s.bin?size=450&status=203&loc=" + QueryEscape("http://127.0.0.1:1/..\\..\\moved.bin"));
    ExpectSavedAs(url, "moved.bin", 450);
}

TEST_F(LocalFileNameTest, HostileLastNameIsOpenedInsideTheFolder)
{
    // The last name comes back from the list file; checking the resume
    // offset opens (and may create) it, which must also stay in the folder.
    std::string parent = ParentOf(folder_);
    std::vector<std::string> siblingsBefore = FilesIn(parent);
    std::filesystem::create_directories(folder_ + "/in/dl");
    run_.offset = 100;
    run_.lastName = "..\\..\\outside.bin";
    ASSERT_EQ(Run(Url("resume.bin?size=700")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(RecordedRequest(id_, 1).find("Range:"), std::string::npos);
    // The last name is the download's own file: it is what is written.
    EXPECT_EQ(FilesBelow(folder_), (std::vector<std::string>{"in\\dl\\outside.bin"}));
    EXPECT_TRUE(ReadFileBytes(target_ + "\\outside.bin") == Pattern(0, 700));
    EXPECT_EQ(FilesIn(parent), siblingsBefore);
}
