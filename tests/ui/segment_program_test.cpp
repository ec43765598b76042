// marrowby.exe with segmented downloads from the scripted server, as a user
// runs it: a file replaced on the server between segments is fetched again
// from byte 0 and ends as the new file; a speed limit changed in the
// download's properties or in the program's options slows the running
// download within about a second, as the server sees it; a download onto a
// disk that fills up (tests/support/small_disk.py) fails with the reason
// and keeps its segments, and resumes them once there is room.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "marrowby/app/settings_format.h"
#include "marrowby/resources/resource.h"
#include "tests/support/served_pattern.h"
#include "tests/ui/program_support.h"
#include "tests/ui/window_host.h"

namespace {

BOOL CALLBACK FindVisibleWindowOf(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<std::pair<DWORD, std::pair<const char*, HWND>>*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = "";
    GetClassNameA(window, name, sizeof(name));
    if (owner != search->first || strcmp(name, search->second.first) != 0 || !IsWindowVisible(window)) return TRUE;
    search->second.second = window;
    return FALSE;
}

// A visible top-level window of the class that the process shows.
HWND WaitForWindowOf(DWORD processId, const char* windowClass, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount();; Sleep(100)) {
        std::pair<DWORD, std::pair<const char*, HWND>> search = {processId, {windowClass, nullptr}};
        EnumWindows(FindVisibleWindowOf, reinterpret_cast<LPARAM>(&search));
        if (search.second.second != nullptr || GetTickCount() - start > timeoutMs) return search.second.second;
    }
}

// The server's requests of one id (recorded by the scripted server).
std::string RecordedRequest(const std::string& id, int n)
{
    return ReadWholeFile(WindowsPath("MW_SERVER_DIR_WIN") + "requests\\" + id + "." + std::to_string(n));
}

bool AsksFromByteZero(const std::string& request)
{
    size_t range = request.find("\r\nRange: bytes=");
    return range == std::string::npos || request.compare(range + 15, 2, "0-") == 0;
}

// What the scripted server sent of a trace=1 answer over time: each line
// is the server's clock in seconds and the bytes sent so far.
struct Trace {
    std::vector<std::pair<double, int64_t>> points;

    double Last() const { return points.empty() ? 0.0 : points.back().first; }
    int64_t SentBy(double when) const
    {
        int64_t sent = 0;
        for (const auto& point : points)
            if (point.first <= when) sent = point.second;
        return sent;
    }
    // Bytes per second between the two times of the server's clock.
    double Rate(double from, double to) const { return (SentBy(to) - SentBy(from)) / (to - from); }
    // The rate of each half second, for a failure's message.
    std::string Profile() const
    {
        std::string text;
        for (double at = points.empty() ? 0.0 : points.front().first; at < Last(); at += 0.5)
            text += std::to_string((int)(Rate(at, at + 0.5) / 1000)) + " ";
        return text + "KB/s";
    }
};

Trace ReadTrace(const std::string& id)
{
    Trace trace;
    std::string text = ReadWholeFile(WindowsPath("MW_SERVER_DIR_WIN") + "requests\\" + id + ".trace");
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) break;  // a line being written
        double when = 0.0;
        long long sent = 0;
        if (sscanf(text.substr(at, end - at).c_str(), "%lf %lld", &when, &sent) == 2)
            trace.points.push_back({when, sent});
        at = end + 1;
    }
    return trace;
}

// The trace once the server's clock has reached when (or after timeoutMs).
Trace TraceUntil(const std::string& id, double when, DWORD timeoutMs)
{
    Trace trace = ReadTrace(id);
    for (DWORD start = GetTickCount(); trace.Last() < when && GetTickCount() - start < timeoutMs; Sleep(100))
        trace = ReadTrace(id);
    return trace;
}

class SegmentProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* port = getenv("MW_HTTP_PORT");
        if (!port || !getenv("MW_BIN_DIR")) GTEST_SKIP() << "needs the scripted servers (servers.py) and MW_BIN_DIR";
        base_ = "http://127.0.0.1:" + std::string(port) + "/";
    }
    void TearDown() override
    {
        if (program_ == nullptr) return;
        TerminateProcess(program_, 1);  // only after a failed close
        CloseHandle(program_);
    }

    // A fresh program folder with marrowby.exe, its settings (four
    // connections per download) and a list of the given downloads, each
    // with its own limit (KB/s, 0 none), stored in the folder store (by
    // default a fresh one in the program folder); returns the store.
    std::string Prepare(const char* name, const std::vector<std::pair<std::string, int>>& downloads,
                        std::string store = "")
    {
        folder_ = FreshFolder(WindowsPath("MW_BUILD_DIR") + "ui-segments\\" + name + "\\");
        EXPECT_TRUE(
            CopyFileA((WindowsPath("MW_BIN_DIR") + "marrowby.exe").c_str(), (folder_ + "marrowby.exe").c_str(), FALSE));
        store = FreshFolder(store.empty() ? folder_ + "downloads\\" : store);
        WriteSettingsFile(folder_, true, 2, "", 4);
        std::string list = "; Created by test\r\n";
        for (const auto& download : downloads) {
            list += ";\r\nRefererStr=\r\nStoreIn=" + store + "\r\n_RemoteFileSize=-1\r\n_State=0\r\n";
            if (download.second > 0) list += "_SpeedLimit=" + std::to_string(download.second) + "\r\n";
            list += "Url=" + base_ + download.first + "\r\n";
        }
        WriteWholeFile(folder_ + "default.wrg", list);
        return store;
    }

    HWND Start()
    {
        program_ = Launch("\"" + folder_ + "marrowby.exe\"", folder_, nullptr, &processId_);
        return program_ ? WaitForWindowOf(processId_, "Tessaline", 20000) : nullptr;
    }

    // Saves the list (as the menu does) until it holds text; true once it does.
    bool SaveUntilListHolds(HWND main, const std::string& text, DWORD timeoutMs)
    {
        for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(200)) {
            PostMessageA(main, WM_COMMAND, IDM_FILE_SAVE, 0);
            Sleep(200);
            if (ReadWholeFile(folder_ + "default.wrg").find(text) != std::string::npos) return true;
        }
        return false;
    }

    // Closes the program through its main window, which saves the list.
    void Close()
    {
        std::string command = "\"" + WindowsPath("MW_BIN_DIR") + "wm_close.exe\" " + std::to_string(processId_);
        HANDLE helper = Launch(command, folder_, nullptr);
        ASSERT_NE(nullptr, helper);
        EXPECT_EQ(0u, WaitForExit(helper, 20000));
        CloseHandle(helper);
        EXPECT_EQ(0u, WaitForExit(program_, 30000));
    }

    // The fields of the saved list's record of the URL (base_ + target).
    std::string SavedRecord(const std::string& target)
    {
        std::string list = ReadWholeFile(folder_ + "default.wrg");
        size_t at = list.find("\r\nUrl=" + base_ + target + "\r\n");
        if (at == std::string::npos) return "";
        size_t record = list.rfind(";\r\n", at);
        return list.substr(record, at - record + 2);
    }

    std::string base_;
    std::string folder_;
    HANDLE program_ = nullptr;
    DWORD processId_ = 0;
};

bool WaitForFiles(const std::vector<std::pair<std::string, std::string>>& expected, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount();; Sleep(200)) {
        bool all = true;
        for (const auto& file : expected) all = all && ReadWholeFile(file.first) == file.second;
        if (all) return true;
        if (GetTickCount() - start > timeoutMs) return false;
    }
}

// The server replaces the file once the first connection has its answer:
// every later segment comes from the new file, once with another ETag and
// once with another date only. Each download starts again from byte 0, once,
// and ends as the new file, saved complete with the new file's ETag.
TEST_F(SegmentProgramTest, AFileReplacedBetweenSegmentsIsFetchedAgainAndEndsAsTheNewFile)
{
    const int size = 4 << 20;
    const std::string sized = "?size=" + std::to_string(size) + "&ranges=1&changeat=2";
    const std::string byTag = "chg-tag/tag.bin" + sized + "&etag=%22a%22&newetag=%22b%22&shift=7";
    const std::string byDate = "chg-date/date.bin" + sized + "&lm=1700000000&newlm=1700000600&shift=11";
    std::string store = Prepare("changed", {{byTag, 0}, {byDate, 0}});
    ASSERT_NE(nullptr, Start());
    EXPECT_TRUE(WaitForFiles({{store + "tag.bin", Pattern(7, size)}, {store + "date.bin", Pattern(11, size)}}, 60000));
    Sleep(1500);  // the window sees the connections end
    Close();

    for (const char* id : {"chg-tag", "chg-date"}) {
        // The first request and the one restart ask from byte 0; the
        // further segments of both runs ask for their ranges.
        int fromZero = 0;
        int ranged = 0;
        int n = 1;
        for (std::string request = RecordedRequest(id, n); !request.empty(); request = RecordedRequest(id, ++n)) {
            if (AsksFromByteZero(request)) {
                // The restart comes only after a later segment saw the change.
                if (++fromZero == 2) {
                    EXPECT_GE(n, 3) << id;
                }
            } else {
                ++ranged;
            }
        }
        EXPECT_EQ(fromZero, 2) << id;
        EXPECT_GE(ranged, 2) << id;
    }
    std::string tag = SavedRecord(byTag);
    EXPECT_NE(std::string::npos, tag.find("\r\n_State=1\r\n")) << tag;
    EXPECT_NE(std::string::npos, tag.find("\r\n_ETag=\"b\"\r\n")) << tag;
    EXPECT_EQ(std::string::npos, tag.find("_Segments=")) << tag;
    std::string date = SavedRecord(byDate);
    EXPECT_NE(std::string::npos, date.find("\r\n_State=1\r\n")) << date;
    EXPECT_FALSE(FileExists(store + "tag.bin.segments"));
    EXPECT_FALSE(FileExists(store + "date.bin.segments"));
}

// Sets the edit control id of the page to text.
void SetField(HWND page, int id, const char* text)
{
    SendMessageA(GetDlgItem(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

// A download of four connections with its own limit of 6,000 KB/s; its
// limit is lowered to 1,500 KB/s on its properties' speed page, then the
// program's limit to 600 KB/s in the options, then raised to 1,200 KB/s.
// Over the three seconds that begin a second after each change the server
// sends no faster than half as much again as the new limit, and after the
// raise half as much again as before it. (The server sees the reader's pace through
// the receive buffers and the window updates, in lumps of up to 64 KB per
// connection: lower limits and shorter spans would drown in them.)
TEST_F(SegmentProgramTest, ALimitChangedWhileTheDownloadRunsHoldsWithinASecond)
{
    const std::string id = "limited";
    DeleteFileA((WindowsPath("MW_SERVER_DIR_WIN") + "requests\\" + id + ".trace").c_str());
    const std::string target = id + "/limited.bin?size=268435456&ranges=1&trace=1";
    std::string store = Prepare("limit", {{target, 6000}});
    HWND main = Start();
    ASSERT_NE(nullptr, main);

    // Running, its connections planned and paced: the rate of the last two
    // seconds is near its own limit.
    Trace trace = TraceUntil(id, 0.1, 20000);
    ASSERT_FALSE(trace.points.empty()) << "the download did not start";
    trace = TraceUntil(id, trace.points.front().first + 4.0, 20000);
    double before = trace.Rate(trace.Last() - 2.0, trace.Last());
    EXPECT_GT(before, 1.5 * 1500000) << trace.Profile();
    EXPECT_LT(before, 1.5 * 6000000) << trace.Profile();

    // Its own limit, on the speed page of its properties.
    HWND list = FindWindowExA(main, nullptr, "SysListView32", nullptr);
    PostMessageA(list, WM_KEYDOWN, VK_HOME, 0);
    PostMessageA(main, WM_COMMAND, IDM_DOWNLOAD_PROPERTIES, 0);
    HWND sheet = WaitForWindowOf(processId_, "#32770", 20000);
    ASSERT_NE(nullptr, sheet);
    SendMessageA(sheet, PSM_SETCURSEL, 1, 0);
    HWND page = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    ASSERT_NE(nullptr, GetDlgItem(page, IDC_ITEM_SPEED_LIMIT));
    SetField(page, IDC_ITEM_SPEED_LIMIT, "1500");
    double changed = ReadTrace(id).Last();
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    trace = TraceUntil(id, changed + 4.0, 20000);
    double afterOwn = trace.Rate(changed + 1.0, changed + 4.0);
    EXPECT_LT(afterOwn, 1.5 * 1500000) << trace.Profile();
    EXPECT_GT(afterOwn, 0.0) << trace.Profile();
    for (int i = 0; i < 50 && IsWindow(sheet); ++i) Sleep(100);

    // The program's limit on the options page: below the download's own,
    // then raised (still below it), and the rate follows it up.
    double afterGlobal = 0.0;
    for (int limit : {600, 1200}) {
        PostMessageA(main, WM_COMMAND, IDM_OPTIONS_PROGRAM, 0);
        sheet = WaitForWindowOf(processId_, "#32770", 20000);
        ASSERT_NE(nullptr, sheet);
        page = FindWindowExA(sheet, nullptr, "#32770", nullptr);
        ASSERT_NE(nullptr, GetDlgItem(page, IDC_SPEED_LIMIT));
        SetField(page, IDC_SPEED_LIMIT, std::to_string(limit).c_str());
        changed = ReadTrace(id).Last();
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        trace = TraceUntil(id, changed + 4.0, 20000);
        double rate = trace.Rate(changed + 1.0, changed + 4.0);
        EXPECT_LT(rate, 1.5 * limit * 1000) << limit << ": " << trace.Profile();
        if (afterGlobal > 0.0) {
            EXPECT_GT(rate, 1.5 * afterGlobal) << limit << ": " << trace.Profile();
        } else {
            EXPECT_GT(rate, 0.0) << trace.Profile();
        }
        afterGlobal = rate;
        for (int i = 0; i < 50 && IsWindow(sheet); ++i) Sleep(100);
    }
    Close();

    // Both limits are kept: the download's in the list, the program's in
    // the settings' later block.
    std::string record = SavedRecord(target);
    EXPECT_NE(std::string::npos, record.find("\r\n_SpeedLimit=1500\r\n")) << record;
    std::string settings = ReadWholeFile(folder_ + "vorn.cfg");
    ASSERT_GT(settings.size(), kSettingsSize);
    ExtraSettings extra;
    EXPECT_EQ(0, DecodeSettingsBlock(reinterpret_cast<const uint8_t*>(settings.data()) + kSettingsSize,
                                     settings.size() - kSettingsSize, &extra));
    EXPECT_EQ(1200, extra.speedLimitKBps);
    DeleteFileA((store + "limited.bin").c_str());  // large, though sparse
}

// The value of the key in a saved record ("" when it has none).
std::string FieldOf(const std::string& record, const std::string& key)
{
    size_t at = record.find("\r\n" + key + "=");
    if (at == std::string::npos) return "";
    at += key.size() + 3;
    return record.substr(at, record.find("\r\n", at) - at);
}

// A download of 12 MiB over four connections onto a 16 MiB disk that holds
// 8 MiB already: it fails with the full disk as its reason and is saved with
// its segments; with the room back, the next start resumes them (no request
// from byte 0) and the file comes out whole.
TEST_F(SegmentProgramTest, ADiskFullInTheMiddleFailsKeepsTheSegmentsAndResumesWithRoom)
{
    const char* disk = getenv("MW_SMALL_DISK");
    if (!disk) GTEST_SKIP() << "no small disk: run through tests/support/small_disk.py as root";
    const int size = 12 << 20;
    const std::string target = "full/full.bin?size=" + std::to_string(size) + "&ranges=1";
    const std::string filler = std::string(disk) + "filler.bin";
    std::string store = Prepare("full", {{target, 0}}, std::string(disk) + "program\\");
    WriteWholeFile(filler, std::string(8 << 20, 'f'));
    HWND main = Start();
    ASSERT_NE(nullptr, main);
    EXPECT_TRUE(SaveUntilListHolds(main, "\r\n_Failure=", 30000));
    Close();

    std::string record = SavedRecord(target);
    EXPECT_EQ("file-write " + std::to_string(ERROR_DISK_FULL), FieldOf(record, "_Failure")) << record;
    EXPECT_NE(std::string::npos, record.find("\r\n_State=0\r\n")) << record;
    std::string segments = FieldOf(record, "_Segments");
    EXPECT_NE("", segments) << record;
    int requests = 0;
    while (!RecordedRequest("full", requests + 1).empty()) ++requests;
    EXPECT_GE(requests, 2);

    ASSERT_TRUE(DeleteFileA(filler.c_str()));
    ASSERT_NE(nullptr, Start());
    EXPECT_TRUE(WaitForFiles({{store + "full.bin", Pattern(0, size)}}, 60000));
    Sleep(1500);  // the window sees the connections end
    Close();
    record = SavedRecord(target);
    EXPECT_NE(std::string::npos, record.find("\r\n_State=1\r\n")) << record;
    EXPECT_EQ("", FieldOf(record, "_Segments")) << record;
    EXPECT_EQ("", FieldOf(record, "_Failure")) << record;
    EXPECT_FALSE(FileExists(store + "full.bin.segments"));
    for (int n = requests + 1; !RecordedRequest("full", n).empty(); ++n)
        EXPECT_FALSE(AsksFromByteZero(RecordedRequest("full", n))) << "the resume asked from byte 0";
    DeleteFileA((store + "full.bin").c_str());
}

// Where each unfinished segment of a state file ("start-end:written,..."
// on its second line) goes on, and its end.
std::vector<std::pair<int64_t, int64_t>> UnfinishedSegments(const std::string& state)
{
    std::vector<std::pair<int64_t, int64_t>> resumeAt;
    size_t at = state.find('\n');
    while (at != std::string::npos && at + 1 < state.size()) {
        long long start = 0;
        long long end = 0;
        long long written = 0;
        if (sscanf(state.c_str() + at + 1, "%lld-%lld:%lld", &start, &end, &written) != 3) break;
        if (start + written < end) resumeAt.push_back({start + written, end});
        at = state.find(',', at + 1);
    }
    return resumeAt;
}

// The Range header's first byte of a recorded request; -1 without one.
int64_t RangeStart(const std::string& request)
{
    size_t range = request.find("\r\nRange: bytes=");
    return range == std::string::npos ? -1 : _atoi64(request.c_str() + range + 15);
}

// A new download killed with the program in its first run, before any
// save by the person or at exit: the next start finds its file and goes on
// with every unfinished segment where the state file says it stopped (no
// request from byte 0, no second file under another name).
TEST_F(SegmentProgramTest, AKillInTheFirstRunResumesEverySegmentUnderTheSameName)
{
    const int size = 6 << 20;
    const std::string target = "killed/killed.bin?size=" + std::to_string(size) + "&ranges=1&etag=%22k%22&slow=20";
    std::string store = Prepare("killed", {{target, 0}});
    HWND main = Start();
    ASSERT_NE(nullptr, main);
    const std::string state = store + "killed.bin.segments";
    // The list names the file a moment after the download began.
    std::string named;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 20000 && named.empty(); Sleep(100))
        named = FieldOf(SavedRecord(target), "_RealFileName");
    ASSERT_EQ(store + "killed.bin", named) << "the list was not written while the download ran";
    ASSERT_GE(UnfinishedSegments(ReadWholeFile(state)).size(), 3u) << ReadWholeFile(state);
    Sleep(700);  // the state file is rewritten at least twice a second
    ASSERT_TRUE(TerminateProcess(program_, 9));
    WaitForExit(program_, 20000);
    CloseHandle(program_);
    program_ = nullptr;
    const std::string killedState = ReadWholeFile(state);
    const auto resumeAt = UnfinishedSegments(killedState);
    ASSERT_GE(resumeAt.size(), 3u) << killedState;
    int firstRun = 0;
    while (!RecordedRequest("killed", firstRun + 1).empty()) ++firstRun;

    ASSERT_NE(nullptr, Start());
    EXPECT_TRUE(WaitForFiles({{store + "killed.bin", Pattern(0, size)}}, 60000));
    Sleep(1500);  // the window sees the connections end
    Close();
    EXPECT_FALSE(FileExists(store + "killed (2).bin"));
    EXPECT_FALSE(FileExists(state));
    std::vector<int64_t> asked;
    for (int n = firstRun + 1; !RecordedRequest("killed", n).empty(); ++n) {
        asked.push_back(RangeStart(RecordedRequest("killed", n)));
        EXPECT_GT(asked.back(), 0) << "the resume asked from byte 0: " << RecordedRequest("killed", n);
    }
    for (const auto& segment : resumeAt) {
        bool resumed = false;
        for (int64_t first : asked) resumed = resumed || first == segment.first;
        EXPECT_TRUE(resumed) << "nothing asked for " << segment.first << "-" << segment.second << " of " << killedState;
    }
    EXPECT_NE(std::string::npos, SavedRecord(target).find("\r\n_State=1\r\n")) << SavedRecord(target);
}

}  // namespace
