// Segmented downloads through tessaline-get against nginx (which takes
// ranges and logs each request's Range header) and the scripted server:
// byte-exact files, the ranges each connection asked for, a killed run
// resumed from its state file or by a reader that knows only the file's
// size, a run killed before or while the files were merged, servers that
// refuse further connections or change the file between segments, and the
// proxy and IPv6 paths.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "marrowby/engine/segment_plan.h"
#include "tests/transfer/tool_runner.h"
#include "tests/transfer/transfer_support.h"

namespace {

const int64_t kBigFileSize = 8 << 20;  // www/big.bin of servers.py

struct RangeAsked {
    int64_t first;
    int64_t last;  // -1: to the end
};

// The Range headers nginx logged for path after the log had skip bytes.
std::vector<RangeAsked> NginxRanges(size_t skip, const std::string& path)
{
    std::string log = ReadFileBytes(ServerDir() + "\\nginx-access.log").substr(skip);
    std::vector<RangeAsked> ranges;
    for (const std::string& line : SplitLines(log)) {
        if (line.find("\"GET " + path + " ") == std::string::npos) continue;
        size_t at = line.find("\"bytes=");
        if (at == std::string::npos) {
            ranges.push_back({0, -1});
            continue;
        }
        RangeAsked range = {0, -1};
        range.first = std::stoll(line.substr(at + 7));
        size_t dash = line.find('-', at + 7);
        if (line[dash + 1] != '"') range.last = std::stoll(line.substr(dash + 1));
        ranges.push_back(range);
    }
    return ranges;
}

// The file holds the served pattern of size bytes; otherwise where it differs.
testing::AssertionResult HoldsPattern(const std::string& path, int64_t size)
{
    std::string bytes = ReadFileBytes(path);
    std::string expected = Pattern(0, size);
    if (bytes.size() != expected.size())
        return testing::AssertionFailure() << path << " has " << bytes.size() << " bytes, not " << size;
    auto differ = std::mismatch(bytes.begin(), bytes.end(), expected.begin());
    if (differ.first != bytes.end())
        return testing::AssertionFailure() << path << " differs at byte " << (differ.first - bytes.begin());
    return testing::AssertionSuccess();
}

size_t NginxLogSize()
{
    return ReadFileBytes(ServerDir() + "\\nginx-access.log").size();
}

// A fresh run: one request without a range (the first connection, cut
// where the next segment begins) and further ones that each begin at a
// byte nobody else began at; a split shortens a running request, so the
// ranges as asked may overlap, their starts never.
void ExpectDistinctStarts(std::vector<RangeAsked> ranges, int64_t total)
{
    std::sort(ranges.begin(), ranges.end(), [](const RangeAsked& a, const RangeAsked& b) { return a.first < b.first; });
    ASSERT_FALSE(ranges.empty());
    EXPECT_EQ(ranges[0].first, 0);
    EXPECT_EQ(ranges[0].last, -1);
    for (size_t i = 1; i < ranges.size(); ++i) {
        EXPECT_LT(ranges[i - 1].first, ranges[i].first) << i;
        EXPECT_GE(ranges[i].last, ranges[i].first) << i;
        EXPECT_LT(ranges[i].last, total) << i;
    }
}

class SegmentsTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (HttpPort() == 0 || ServerPort("MW_NGINX_PORT") == 0) GTEST_SKIP() << "run through tests/support/servers.py";
        if (!FileExists(ToolPath())) GTEST_SKIP() << "tessaline-get.exe is not built";
        id_ = TestId();
        folder_ = FreshFolder();
    }

    std::string Folder() const { return " --folder \"" + folder_ + "\""; }
    std::string BigUrl(int port) const { return LocalUrl(port, "/big.bin"); }
    std::string Scripted(const std::string& nameAndQuery) const
    {
        return "\"" + LocalUrl(HttpPort(), "/" + id_ + "/" + nameAndQuery) + "\"";
    }
    // The Range header of each recorded request, "" for none.
    std::vector<std::string> ScriptedRanges() const
    {
        std::vector<std::string> ranges;
        for (int n = 1; n <= RecordedRequestCount(id_); ++n) {
            std::string head = RecordedRequest(id_, n);
            size_t at = head.find("Range: bytes=");
            ranges.push_back(at == std::string::npos ? "" : head.substr(at + 13, head.find('\r', at) - at - 13));
        }
        return ranges;
    }

    // Starts a slow segmented run of big.bin and kills it once its state
    // file counts more than a MiB written; plan is what that file said then.
    void KillMidway(int port, SegmentPlan& plan)
    {
        std::string command = "\"" + ToolPath() + "\" " + BigUrl(port) + Folder() + " --segments 4 --item-limit 1500";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                                   &startup, &process));
        for (int waited = 0; waited < 200; ++waited) {
            Sleep(50);
            if (ReadState(plan) && WrittenBytes(plan) > (1 << 20) && plan.count >= 4) break;
        }
        TerminateProcess(process.hProcess, 9);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }

    bool ReadState(SegmentPlan& plan) const
    {
        std::string text = ReadFileBytes(folder_ + "/big.bin.segments");
        size_t line = text.find('\n');
        return line != std::string::npos &&
               ParseSegmentPlan(text.substr(line + 1, text.find('\r', line) - line - 1).c_str(), kBigFileSize, plan);
    }

    // The files a run leaves: the named file, the side file (absent when
    // side is empty) and the state with the plan's text.
    void LeaveFiles(const std::string& named, const std::string& side, const std::string& plan) const
    {
        const std::string base = folder_ + "/big.bin";
        WriteFileBytes(base, named);
        DeleteFileA((base + ".mwpart").c_str());
        if (!side.empty()) WriteFileBytes(base + ".mwpart", side);
        WriteFileBytes(base + ".segments", std::to_string(kBigFileSize) + "\r\n" + plan + "\r\n");
    }

    std::string id_;
    std::string folder_;
};

// The side file as the segments behind the head leave it: their bytes at
// their offsets, zeros where the head's are.
std::string SideFile(int64_t headEnd)
{
    return std::string(static_cast<size_t>(headEnd), '\0') + Pattern(headEnd, kBigFileSize - headEnd);
}

std::string DonePlan(int64_t headEnd)
{
    return "0-" + std::to_string(headEnd) + ":" + std::to_string(headEnd) + "," + std::to_string(headEnd) + "-" +
           std::to_string(kBigFileSize) + ":" + std::to_string(kBigFileSize - headEnd);
}

TEST_F(SegmentsTest, FourAndEightSegmentsFromNginxAreByteExactAndAskEachByteOnce)
{
    const int port = ServerPort("MW_NGINX_PORT");
    for (int segments : {4, 8}) {
        size_t logStart = NginxLogSize();
        ToolResult result = RunTool(BigUrl(port) + Folder() + " --segments " + std::to_string(segments));
        EXPECT_EQ(result.exitCode, 0u) << segments;
        EXPECT_TRUE(result.Has("accepted status=200 total=8388608 first=0 name=big.bin")) << segments;
        EXPECT_TRUE(HoldsPattern(folder_ + "/big.bin", kBigFileSize)) << segments;
        // Finished: no state or side file is left beside the file.
        EXPECT_FALSE(FileExists(folder_ + "/big.bin.segments"));
        EXPECT_FALSE(FileExists(folder_ + "/big.bin.mwpart"));
        std::vector<RangeAsked> ranges = NginxRanges(logStart, "/big.bin");
        EXPECT_GE(ranges.size(), static_cast<size_t>(segments)) << segments;
        ExpectDistinctStarts(ranges, kBigFileSize);
        DeleteFileA((folder_ + "/big.bin").c_str());
    }

    // One connection asks once, without a range, as always.
    size_t logStart = NginxLogSize();
    ToolResult single = RunTool(BigUrl(port) + Folder() + " --segments 1");
    EXPECT_EQ(single.exitCode, 0u);
    EXPECT_EQ(NginxRanges(logStart, "/big.bin").size(), 1u);
    EXPECT_TRUE(HoldsPattern(folder_ + "/big.bin", kBigFileSize));
}

// A run killed in the middle leaves the segments' state beside the file;
// the next run asks each unfinished segment from where the state says it
// stopped, and the file comes out whole.
TEST_F(SegmentsTest, AKilledRunResumesEverySegmentWhereItStopped)
{
    const int port = ServerPort("MW_NGINX_PORT");
    const std::string statePath = folder_ + "/big.bin.segments";
    SegmentPlan plan = {};
    KillMidway(port, plan);

    // The named file holds the head's bytes without a gap, the others wait
    // in the side file at their offsets.
    const std::string named = folder_ + "/big.bin";
    const std::string head = ReadFileBytes(named);
    EXPECT_GT(head.size(), 0u);
    EXPECT_LT(head.size(), static_cast<size_t>(kBigFileSize));
    EXPECT_TRUE(head == Pattern(0, static_cast<int64_t>(head.size())));
    EXPECT_EQ(static_cast<size_t>(kBigFileSize), ReadFileBytes(named + ".mwpart").size());

    // What the state file said last is where each segment goes on.
    ASSERT_TRUE(ReadState(plan)) << ReadFileBytes(statePath);
    ASSERT_FALSE(AllSegmentsDone(plan));
    EXPECT_GT(WrittenBytes(plan), 0);

    // Its own query tells the resumed run's requests from the late log
    // lines of the killed one.
    size_t logStart = NginxLogSize();
    ToolResult resumed = RunTool(BigUrl(port) + "?resumed" + Folder() + " --segments 4 --last-name big.bin");
    EXPECT_EQ(resumed.exitCode, 0u);
    EXPECT_TRUE(HoldsPattern(folder_ + "/big.bin", kBigFileSize));
    EXPECT_FALSE(FileExists(statePath));
    EXPECT_FALSE(FileExists(named + ".mwpart"));

    // No byte the state counts as written is asked for again.
    std::vector<RangeAsked> ranges = NginxRanges(logStart, "/big.bin?resumed");
    EXPECT_GE(ranges.size(), 4u);
    for (const RangeAsked& range : ranges) {
        ASSERT_GE(range.last, 0) << "every resumed request names its end";
        for (int32_t i = 0; i < plan.count; ++i) {
            const Segment& segment = plan.segments[i];
            bool overlaps = range.first < segment.start + segment.written && range.last >= segment.start;
            EXPECT_FALSE(overlaps) << range.first << "-" << range.last << " asks written bytes of " << segment.start;
        }
    }
    for (int32_t i = 0; i < plan.count; ++i) {
        const Segment& segment = plan.segments[i];
        if (segment.written == segment.end - segment.start) continue;
        bool found = false;
        for (const RangeAsked& range : ranges) found = found || range.first == segment.start + segment.written;
        EXPECT_TRUE(found) << "segment " << segment.start << " from " << segment.written;
    }
}

// A reader that knows nothing of segments resumes from the named file's
// size, over one connection: every byte before it is right, and the file
// comes out whole.
TEST_F(SegmentsTest, AReaderThatKnowsOnlyTheFileSizeResumesFromAGoodPrefix)
{
    const int port = ServerPort("MW_NGINX_PORT");
    SegmentPlan plan = {};
    KillMidway(port, plan);
    ASSERT_FALSE(AllSegmentsDone(plan));
    const std::string named = folder_ + "/big.bin";
    const std::string prefix = ReadFileBytes(named);
    ASSERT_TRUE(prefix == Pattern(0, static_cast<int64_t>(prefix.size())));
    EXPECT_LT(prefix.size(), static_cast<size_t>(WrittenBytes(plan)));

    size_t logStart = NginxLogSize();
    ToolResult resumed = RunTool(BigUrl(port) + "?sizeonly" + Folder() + " --segments 1 --last-name big.bin --offset " +
                                 std::to_string(prefix.size()));
    EXPECT_EQ(resumed.exitCode, 0u);
    EXPECT_TRUE(HoldsPattern(named, kBigFileSize));
    std::vector<RangeAsked> ranges = NginxRanges(logStart, "/big.bin?sizeonly");
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].first, static_cast<int64_t>(prefix.size()));
}

// Killed with every segment written, before the merge or in the middle of
// it (the head being copied into the side file, the side file's rest being
// appended to the named file, or after the side file replaced the named
// file): the next run merges without asking the server and leaves only the
// whole file.
TEST_F(SegmentsTest, ARunKilledBeforeOrWhileMergingFinishesTheFile)
{
    const int port = ServerPort("MW_NGINX_PORT");
    const int64_t kMiB = 1 << 20;
    std::string copyingHead = SideFile(kMiB);
    copyingHead.replace(0, kMiB / 2, Pattern(0, kMiB / 2));
    struct Case {
        const char* name;
        int64_t headEnd;
        std::string named;
        std::string side;
    } cases[] = {
        {"head-before", kMiB, Pattern(0, kMiB), SideFile(kMiB)},
        {"head-copying", kMiB, Pattern(0, kMiB), copyingHead},
        {"append-before", 6 * kMiB, Pattern(0, 6 * kMiB), SideFile(6 * kMiB)},
        {"appending", 6 * kMiB, Pattern(0, 7 * kMiB + 5), SideFile(6 * kMiB)},
        {"replaced", kMiB, Pattern(0, kBigFileSize), ""},
    };
    const std::string named = folder_ + "/big.bin";
    size_t logStart = NginxLogSize();
    for (const Case& c : cases) {
        LeaveFiles(c.named, c.side, DonePlan(c.headEnd));
        ToolResult result = RunTool(BigUrl(port) + "?" + c.name + Folder() + " --segments 4 --last-name big.bin");
        EXPECT_EQ(result.exitCode, 0u) << c.name;
        EXPECT_TRUE(result.Has("accepted status=0 total=8388608 first=8388608 name=big.bin")) << c.name;
        EXPECT_TRUE(HoldsPattern(named, kBigFileSize)) << c.name;
        EXPECT_FALSE(FileExists(named + ".mwpart")) << c.name;
        EXPECT_FALSE(FileExists(named + ".segments")) << c.name;
    }
    // A named file another program holds open cannot be replaced: the side
    // file's rest goes behind its prefix instead.
    LeaveFiles(Pattern(0, kMiB), SideFile(kMiB), DonePlan(kMiB));
    HANDLE reader = CreateFileA(named.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    ToolResult held = RunTool(BigUrl(port) + "?held" + Folder() + " --segments 4 --last-name big.bin");
    CloseHandle(reader);
    EXPECT_EQ(held.exitCode, 0u);
    EXPECT_TRUE(HoldsPattern(named, kBigFileSize));
    EXPECT_FALSE(FileExists(named + ".mwpart"));
    EXPECT_EQ(NginxLogSize(), logStart);
}

// What the files no longer hold is fetched again: a named file shorter than
// the head's count (its bytes behind the file's end), and a missing side
// file (every segment in it), even when the state says all is written.
TEST_F(SegmentsTest, BytesTheFilesNoLongerHoldAreFetchedAgain)
{
    const int port = ServerPort("MW_NGINX_PORT");
    const int64_t kMiB = 1 << 20;
    const std::string named = folder_ + "/big.bin";

    LeaveFiles(Pattern(0, kMiB), SideFile(4 * kMiB), "0-4194304:4194304,4194304-8388608:4194304");
    size_t logStart = NginxLogSize();
    ToolResult shortHead = RunTool(BigUrl(port) + "?shorthead" + Folder() + " --segments 4 --last-name big.bin");
    EXPECT_EQ(shortHead.exitCode, 0u);
    EXPECT_TRUE(shortHead.Has("accepted status=206 total=8388608 first=5242880 name=big.bin"));
    EXPECT_TRUE(HoldsPattern(named, kBigFileSize));
    std::vector<RangeAsked> ranges = NginxRanges(logStart, "/big.bin?shorthead");
    ASSERT_FALSE(ranges.empty());
    for (const RangeAsked& range : ranges) {
        EXPECT_GE(range.first, kMiB);
        EXPECT_LT(range.last, 4 * kMiB);
    }

    LeaveFiles(Pattern(0, 2 * kMiB), "", DonePlan(2 * kMiB));
    logStart = NginxLogSize();
    ToolResult noSide = RunTool(BigUrl(port) + "?noside" + Folder() + " --segments 4 --last-name big.bin");
    EXPECT_EQ(noSide.exitCode, 0u);
    EXPECT_TRUE(HoldsPattern(named, kBigFileSize));
    EXPECT_FALSE(FileExists(named + ".mwpart"));
    EXPECT_FALSE(FileExists(named + ".segments"));
    ranges = NginxRanges(logStart, "/big.bin?noside");
    ASSERT_FALSE(ranges.empty());
    int64_t asked = 0;
    for (const RangeAsked& range : ranges) {
        EXPECT_GE(range.first, 2 * kMiB);
        asked += (range.last < 0 ? kBigFileSize - 1 : range.last) - range.first + 1;
    }
    EXPECT_GE(asked, kBigFileSize - 2 * kMiB);
}

// Resumed over one connection, an earlier run's segments are given up: the
// named file's prefix is kept however many bytes the caller counts, the
// side and state files go, and the rest comes in one request.
TEST_F(SegmentsTest, OneConnectionGoesOnFromTheNamedFilesPrefix)
{
    const int port = ServerPort("MW_NGINX_PORT");
    const int64_t kMiB = 1 << 20;
    const std::string named = folder_ + "/big.bin";
    LeaveFiles(Pattern(0, kMiB), SideFile(4 * kMiB), "0-4194304:1048576,4194304-8388608:4194304");
    size_t logStart = NginxLogSize();
    ToolResult single =
        RunTool(BigUrl(port) + "?single" + Folder() + " --segments 1 --last-name big.bin --offset 5242880");
    EXPECT_EQ(single.exitCode, 0u);
    EXPECT_TRUE(single.Has("accepted status=206 total=8388608 first=1048576 name=big.bin"));
    EXPECT_TRUE(HoldsPattern(named, kBigFileSize));
    EXPECT_FALSE(FileExists(named + ".mwpart"));
    EXPECT_FALSE(FileExists(named + ".segments"));
    std::vector<RangeAsked> ranges = NginxRanges(logStart, "/big.bin?single");
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].first, kMiB);
}

// A resumed run whose missing bytes all lie in one segment (the others
// finished before) splits it again: four connections or more ask for
// distinct pieces of it (more when an early finisher splits again), and
// the file comes out whole.
TEST_F(SegmentsTest, AResumedRestInOneSegmentGoesOnOverEveryConnection)
{
    const int port = ServerPort("MW_NGINX_PORT");
    const int64_t kMiB = 1 << 20;
    const std::string named = folder_ + "/big.bin";
    LeaveFiles(Pattern(0, 2 * kMiB), SideFile(2 * kMiB), "0-2097152:2097152,2097152-4194304:2097152,4194304-8388608:0");
    size_t logStart = NginxLogSize();
    ToolResult resumed =
        RunTool(BigUrl(port) + "?onerest" + Folder() + " --segments 4 --last-name big.bin --offset 2097152");
    EXPECT_EQ(resumed.exitCode, 0u);
    EXPECT_TRUE(HoldsPattern(named, kBigFileSize));
    std::vector<RangeAsked> ranges = NginxRanges(logStart, "/big.bin?onerest");
    ASSERT_GE(ranges.size(), 4u);
    std::sort(ranges.begin(), ranges.end(), [](const RangeAsked& a, const RangeAsked& b) { return a.first < b.first; });
    EXPECT_EQ(ranges[0].first, 4 * kMiB);
    for (size_t i = 1; i < ranges.size(); ++i) {
        EXPECT_GT(ranges[i].first, ranges[i - 1].first) << i;
        EXPECT_LT(ranges[i].first, kBigFileSize) << i;
    }
}

// A run whose every connection is cut short fails and keeps its state
// beside the file; the tool's own folder, where it runs, gets nothing (the
// job's end once wrote the state again there, with no folder known).
TEST_F(SegmentsTest, AFailedRunKeepsItsStateBesideTheFileOnly)
{
    const int size = 4 << 20;
    const std::string name = "cutall.bin";
    const std::string elsewhere = folder_ + "-run";
    std::filesystem::remove_all(elsewhere);
    std::filesystem::create_directories(elsewhere);
    char previous[MAX_PATH] = "";
    ASSERT_NE(0u, GetCurrentDirectoryA(sizeof previous, previous));
    ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.c_str()));
    ToolResult result =
        RunTool(Scripted(name + "?size=" + std::to_string(size) + "&ranges=1&cut=300000") + Folder() + " --segments 4");
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_TRUE(FileExists(folder_ + "/" + name + ".segments"));
    EXPECT_TRUE(FileExists(folder_ + "/" + name + ".mwpart"));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((elsewhere + "/*").c_str(), &found);
    std::string left;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) left += found.cFileName;
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    EXPECT_EQ("", left);
}

// A server that answers further connections with 200, 503 or 429, or closes
// them, leaves the download to the connection that works.
TEST_F(SegmentsTest, RefusedFurtherConnectionsLeaveTheWorkToTheFirst)
{
    const int size = 3 << 20;
    for (const char* refuse : {"503", "429", "200", "close"}) {
        std::string name = std::string("r") + refuse + ".bin";
        // The first connection sends slowly enough that the further ones are
        // always asked for before it could finish alone.
        std::string query = name + "?size=" + std::to_string(size) + "&ranges=1&slow=1&refuse=" + refuse;
        ToolResult result = RunTool(Scripted(query) + Folder() + " --segments 4");
        EXPECT_EQ(result.exitCode, 0u) << refuse;
        EXPECT_TRUE(HoldsPattern(folder_ + "/" + name, size)) << refuse;
    }
    // Each of the four runs asked at least once for a later segment.
    int later = 0;
    for (const std::string& range : ScriptedRanges()) later += !range.empty() && range[0] != '0';
    EXPECT_GE(later, 4 * 2);
}

TEST_F(SegmentsTest, AFileThatChangesBetweenSegmentsFailsWithItsReason)
{
    ToolResult result =
        RunTool(Scripted("c.bin?size=4194304&ranges=1&etag=%22a%22&changed=%22b%22") + Folder() + " --segments 4");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_TRUE(result.Has("reason=file-changed (the server's file changed while its parts were being fetched)"));

    // Without a range-taking server, or for a small file, one connection.
    ToolResult plain = RunTool(Scripted("p.bin?size=4194304") + Folder() + " --segments 4");
    EXPECT_EQ(plain.exitCode, 0u);
    ToolResult small = RunTool(Scripted("s.bin?size=1500000&ranges=1") + Folder() + " --segments 4");
    EXPECT_EQ(small.exitCode, 0u);
    EXPECT_TRUE(HoldsPattern(folder_ + "/s.bin", 1500000));
    std::vector<std::string> ranges = ScriptedRanges();
    EXPECT_EQ(std::count(ranges.begin() + (ranges.size() - 2), ranges.end(), ""), 2);
}

TEST_F(SegmentsTest, SegmentsGoThroughTinyproxyAndOverIpv6)
{
    const int nginx = ServerPort("MW_NGINX_PORT");
    const int proxyPort = ServerPort("MW_PROXY_PORT");
    if (proxyPort != 0) {
        size_t logStart = NginxLogSize();
        ToolResult proxied =
            RunTool(BigUrl(nginx) + Folder() + " --segments 4 --proxy 127.0.0.1:" + std::to_string(proxyPort));
        EXPECT_EQ(proxied.exitCode, 0u);
        EXPECT_TRUE(HoldsPattern(folder_ + "/big.bin", kBigFileSize));
        EXPECT_GE(NginxRanges(logStart, "/big.bin").size(), 4u);
        DeleteFileA((folder_ + "/big.bin").c_str());
    }
    if (EnvOrNull("MW_IPV6") == nullptr) return;
    std::string url = "http://[::1]:" + std::to_string(ServerPort("MW_NGINX6_PORT")) + "/big.bin";
    size_t logStart = NginxLogSize();
    ToolResult six = RunTool(url + Folder() + " --segments 8");
    EXPECT_EQ(six.exitCode, 0u);
    EXPECT_TRUE(HoldsPattern(folder_ + "/big.bin", kBigFileSize));
    std::vector<RangeAsked> ranges = NginxRanges(logStart, "/big.bin");
    EXPECT_GE(ranges.size(), 8u);
    ExpectDistinctStarts(ranges, kBigFileSize);
}

}  // namespace
