// Scheduling and item states with real jobs against the scripted test server.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "list_host.h"
#include "marrowby/app/file_checksum.h"
#include "marrowby/app/list_file.h"
#include "marrowby/app/settings.h"
#include "marrowby/engine/job_failure.h"
#include "tests/support/served_pattern.h"
#include "tidewell/updater/signing.h"

namespace {

// SHA-256 of the bytes in one piece, as hexadecimal digits.
std::string Sha256Hex(const std::string& bytes)
{
    uint8_t digest[kSha256Size];
    EXPECT_TRUE(Sha256(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), digest));
    char hex[2 * kSha256Size + 1];
    for (size_t i = 0; i < kSha256Size; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return hex;
}

constexpr DWORD kWaitMs = 20000;

class Scheduler : public ListHostTest {
protected:
    void SetUp() override
    {
        const char* port = getenv("MW_HTTP_PORT");
        if (port == nullptr) GTEST_SKIP() << "no test server (run through servers.py)";
        base_ = std::string("http://127.0.0.1:") + port + "/";
        ListHostTest::SetUp();
        g_settings.maxSimultaneous = 2;
        folder_ = FreshTestFolder();
        strcpy(g_settings.defaultFolder, folder_.c_str());
    }

    // A URL of the scripted server; id keeps the recorded requests apart.
    std::string Url(const std::string& id, const std::string& name, const std::string& query)
    {
        return base_ + id + "/" + name + (query.empty() ? "" : "?" + query);
    }
    DownloadItem* Add(const std::string& url)
    {
        EXPECT_EQ(0, AddUrl(url.c_str(), nullptr, nullptr, nullptr));
        return LastListItem();
    }
    bool WaitForState(DownloadItem* item, ItemState state, DWORD ms = kWaitMs)
    {
        return PumpUntil([&] { return item->state == state; }, ms);
    }
    std::string RecordedRequest(const std::string& id, int n)
    {
        const char* dir = getenv("MW_SERVER_DIR_WIN");
        if (dir == nullptr) return "";
        return ReadWholeFile(std::string(dir) + "\\requests\\" + id + "." + std::to_string(n));
    }
    int Running()
    {
        int n = 0;
        for (DownloadItem* item : ChainItems()) n += item->state == ItemState::Running;
        return n;
    }

    std::string base_;
    std::string folder_;
};

TEST_F(Scheduler, CompletesWithAnnouncedSize)
{
    DownloadItem* item = Add(Url("sized", "data.bin", "size=150000"));
    RunScheduler();
    EXPECT_EQ(ItemState::Running, item->state);
    EXPECT_EQ(1, item->tries);
    EXPECT_NE(nullptr, item->job);
    ASSERT_TRUE(WaitForState(item, ItemState::Completed));
    PumpFor(100);
    EXPECT_EQ(nullptr, item->job);
    EXPECT_EQ(150000, item->size);
    EXPECT_EQ(150000, item->downloaded);
    EXPECT_STREQ("data.bin", item->fileName);
    EXPECT_EQ("data.bin", CellText(0, 0));
    EXPECT_EQ("150000", CellText(0, 1));
    EXPECT_EQ("150000", CellText(0, 2));
    EXPECT_EQ("1", CellText(0, 4));
    EXPECT_NE("", CellText(0, 3));
    EXPECT_EQ(1, RowImage(0));
    EXPECT_EQ(Pattern(0, 150000), ReadWholeFile(folder_ + "data.bin"));
    ASSERT_EQ(1u, g_host.completedPaths.size());
    EXPECT_EQ(folder_ + "data.bin", g_host.completedPaths[0]);
    EXPECT_EQ(g_host.window, g_host.noticeWindows[0]);
    EXPECT_NE(std::string::npos, RecordedRequest("sized", 1).find("User-Agent: Marrowby/0.23 ( built on Tessaline )"));
}

// The finished file is checked against its expected SHA-256 on the job's
// thread: the right one completes, a wrong one fails and keeps the file.
TEST_F(Scheduler, ChecksumDecidesBetweenCompletedAndFailed)
{
    std::string body = Pattern(0, 200000);
    std::string right = Sha256Hex(body);
    std::string wrong = right;
    wrong[10] = wrong[10] == '0' ? '1' : '0';
    DownloadItem* good = Add(Url("sumgood", "good.bin", "size=200000"));
    SetItemChecksum(good, ("sha256:" + right).c_str());
    DownloadItem* bad = Add(Url("sumbad", "bad.bin", "size=200000"));
    SetItemChecksum(bad, ("sha256:" + wrong).c_str());
    RunScheduler();
    ASSERT_TRUE(WaitForState(good, ItemState::Completed));
    EXPECT_EQ(kChecksumMatched, good->checksumResult);
    EXPECT_EQ(JobFailureNone, good->failure);
    ASSERT_TRUE(WaitForState(bad, ItemState::Failed));
    EXPECT_EQ(kChecksumMismatched, bad->checksumResult);
    EXPECT_EQ(JobFailureChecksum, bad->failure);
    // Read again after a restart, only the failure says how the file compared.
    bad->checksumResult = kChecksumUnchecked;
    EXPECT_EQ(kChecksumMismatched, ItemChecksumResult(bad));
    good->checksumResult = kChecksumUnchecked;
    EXPECT_EQ(kChecksumUnchecked, ItemChecksumResult(good));
    EXPECT_EQ(body, ReadWholeFile(folder_ + "bad.bin"));
    ASSERT_EQ(1u, g_host.completedPaths.size());
    EXPECT_EQ(folder_ + "good.bin", g_host.completedPaths[0]);
}

TEST_F(Scheduler, WithoutSizeAnyCountCompletes)
{
    DownloadItem* item = Add(Url("nolen", "n.bin", "size=3000&nolen=1"));
    RunScheduler();
    ASSERT_TRUE(WaitForState(item, ItemState::Completed));
    EXPECT_EQ(0, item->size);
    EXPECT_EQ(3000, item->downloaded);
    EXPECT_EQ("", CellText(0, 1));
}

TEST_F(Scheduler, ShortTransferFailsAndRunsAPassWithoutAutoStart)
{
    g_settings.maxSimultaneous = 1;
    g_settings.autoStart = 0;
    DownloadItem* cut = Add(Url("cut", "c.bin", "size=50000&cut=1000"));
    DownloadItem* next = Add(Url("next", "n.bin", "size=10"));
    RunScheduler();
    EXPECT_EQ(ItemState::Waiting, next->state);
    ASSERT_TRUE(WaitForState(cut, ItemState::Failed));
    EXPECT_EQ(5, RowImage(0));
    EXPECT_EQ(nullptr, cut->job);
    ASSERT_TRUE(WaitForState(next, ItemState::Completed));  // started by the failure's pass
    EXPECT_EQ(1, next->tries);
    EXPECT_EQ(1u, g_host.completedPaths.size());
}

TEST_F(Scheduler, HttpErrorFailsAndStartAgainCountsTries)
{
    DownloadItem* item = Add(Url("missing", "m.bin", "status=404"));
    RunScheduler();
    ASSERT_TRUE(WaitForState(item, ItemState::Failed));
    SetItemUrl(item, Url("found", "m.bin", "size=20").c_str());
    SelectOnly({0});
    EXPECT_EQ(0, StartSelected());
    EXPECT_EQ(ItemState::Waiting, item->state);
    EXPECT_EQ(0, RowImage(0));
    RunScheduler();
    ASSERT_TRUE(WaitForState(item, ItemState::Completed));
    EXPECT_EQ(2, item->tries);
    EXPECT_EQ("2", CellText(0, 4));
}

TEST_F(Scheduler, RefusedConnectionFails)
{
    DownloadItem* item = Add("http://127.0.0.1:1/refused.bin");
    RunScheduler();
    ASSERT_TRUE(WaitForState(item, ItemState::Failed));
    EXPECT_EQ(5, RowImage(0));
}

TEST_F(Scheduler, TimeOutPausesWithoutAPass)
{
    g_settings.maxSimultaneous = 1;
    g_settings.idleTimeoutMs = 1500;
    g_settings.autoStart = 1;  // a time-out still runs no pass
    DownloadItem* silent = Add(Url("silent", "s.bin", "silent=1"));
    DownloadItem* waiting = Add(Url("later", "l.bin", "size=10"));
    RunScheduler();
    ASSERT_TRUE(WaitForState(silent, ItemState::Paused, 10000));
    EXPECT_EQ(2, RowImage(0));
    EXPECT_EQ(nullptr, silent->job);
    PumpFor(2000);  // the close that follows the time-out must change nothing
    EXPECT_EQ(ItemState::Paused, silent->state);
    EXPECT_EQ(2, RowImage(0));
    EXPECT_EQ(ItemState::Waiting, waiting->state);
    EXPECT_EQ(0, waiting->tries);
    EXPECT_TRUE(g_host.completedPaths.empty());
}

TEST_F(Scheduler, RunningItemsBeforeTheWaitingOnesCount)
{
    std::vector<DownloadItem*> items = {Add(Url("hold1", "a", "silent=1")), Add(Url("hold2", "b", "silent=1")),
                                        Add(Url("hold3", "c", "silent=1"))};
    g_settings.maxSimultaneous = 1;
    RunScheduler();
    ASSERT_EQ(ItemState::Running, items[0]->state);
    g_settings.maxSimultaneous = 2;  // Running, Waiting, Waiting: one more starts
    RunScheduler();
    EXPECT_EQ(ItemState::Running, items[1]->state);
    EXPECT_EQ(ItemState::Waiting, items[2]->state);
    EXPECT_EQ(0, items[2]->tries);
    EXPECT_EQ(2, Running());
}

TEST_F(Scheduler, RunningItemsAfterTheLimitAreNotCounted)
{
    std::vector<DownloadItem*> items = {Add(Url("w1", "a", "silent=1")), Add(Url("w2", "b", "silent=1")),
                                        Add(Url("r3", "c", "silent=1"))};
    items[0]->state = items[1]->state = ItemState::Paused;
    g_settings.maxSimultaneous = 1;
    RunScheduler();
    ASSERT_EQ(ItemState::Running, items[2]->state);
    items[0]->state = items[1]->state = ItemState::Waiting;
    g_settings.maxSimultaneous = 2;  // Waiting, Waiting, Running: both start
    RunScheduler();
    EXPECT_EQ(3, Running());
    g_settings.maxSimultaneous = 0;
    SelectOnly({0, 1, 2});
    EXPECT_EQ(0, StartSelected());  // leaves running items alone
    EXPECT_EQ(3, Running());
    EXPECT_EQ(0, PauseSelected());
    EXPECT_EQ(0, Running());
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(ItemState::Paused, ItemOfRow(row)->state);
        EXPECT_EQ(nullptr, ItemOfRow(row)->job);
        EXPECT_EQ(2, RowImage(row));
    }
}

TEST_F(Scheduler, PausedTransferIgnoresItsQueuedReports)
{
    DownloadItem* item = Add(Url("paused", "p.bin", "size=3000000&slow=5"));
    RunScheduler();
    ASSERT_TRUE(PumpUntil([&] { return item->downloaded > 20000; }, kWaitMs));
    SelectOnly({0});
    EXPECT_EQ(0, PauseSelected());
    int64_t kept = item->downloaded;
    PumpFor(1500);
    EXPECT_EQ(ItemState::Paused, item->state);
    EXPECT_EQ(2, RowImage(0));
    EXPECT_EQ(kept, item->downloaded);
    // Started again, it resumes from what is on disk.
    SelectOnly({0});
    StartSelected();
    SetItemUrl(item, Url("resumed", "p.bin", "size=3000000").c_str());
    RunScheduler();
    ASSERT_TRUE(WaitForState(item, ItemState::Completed));
    EXPECT_EQ(Pattern(0, 3000000), ReadWholeFile(folder_ + "p.bin"));
    EXPECT_NE(std::string::npos, RecordedRequest("resumed", 1).find("Range: bytes="));
}

TEST_F(Scheduler, DeletingItemsWhileTheirJobsReportIsSafe)
{
    g_settings.maxSimultaneous = 4;
    for (int i = 0; i < 4; ++i) {
        Add(Url("busy" + std::to_string(i), "f" + std::to_string(i) + ".bin", "size=40000000&slow=2"));
    }
    RunScheduler();
    ASSERT_EQ(4, Running());
    // Let reports pile up in the queue without handling them, then delete.
    Sleep(400);
    SelectOnly({0, 2, 3});
    EXPECT_EQ(0, DeleteSelected());
    ExpectListConsistent();
    // New items probably take the freed memory; the stale reports must not
    // reach them.
    g_settings.maxSimultaneous = 0;
    for (int i = 0; i < 3; ++i) Add(Url("fresh", "x", ""));
    PumpFor(800);
    std::vector<DownloadItem*> items = ChainItems();
    ASSERT_EQ(4u, items.size());
    for (size_t i = 1; i < items.size(); ++i) {
        EXPECT_EQ(ItemState::Waiting, items[i]->state);
        EXPECT_EQ(0, items[i]->downloaded);
        EXPECT_EQ("", CellText(static_cast<int>(i), 2));
        EXPECT_EQ(0, RowImage(static_cast<int>(i)));
    }
    EXPECT_EQ(ItemState::Running, items[0]->state);
    ClearList();  // stops the last job while it reports
    PumpFor(300);
    EXPECT_EQ(0, RowCount());
}

TEST_F(Scheduler, RemoveOnSuccessRenumbersAndStillNotifies)
{
    g_settings.removeOnSuccess = 1;
    DownloadItem* before = Add(Url("b", "b", ""));
    before->state = ItemState::Paused;
    DownloadItem* done = Add(Url("gone", "gone.bin", "size=1000"));
    DownloadItem* after = Add(Url("a", "a", ""));
    after->state = ItemState::Paused;
    RunScheduler();
    ASSERT_TRUE(PumpUntil([&] { return RowCount() == 2; }, kWaitMs));
    (void)done;  // freed by now
    ExpectListConsistent();
    EXPECT_EQ(before, ItemOfRow(0));
    EXPECT_EQ(after, ItemOfRow(1));
    EXPECT_EQ(1, after->row);
    ASSERT_EQ(1u, g_host.completedPaths.size());
    EXPECT_EQ(folder_ + "gone.bin", g_host.completedPaths[0]);
    EXPECT_EQ(Pattern(0, 1000), ReadWholeFile(folder_ + "gone.bin"));
}

TEST_F(Scheduler, AutoStartRunsThePassAfterCompletionAndDrop)
{
    g_settings.autoStart = 1;
    g_settings.maxSimultaneous = 1;
    DownloadItem* first = Add(Url("auto1", "one.bin", "size=100"));
    DownloadItem* second = Add(Url("auto2", "two.bin", "size=100"));
    RunScheduler();
    ASSERT_TRUE(WaitForState(second, ItemState::Completed));
    EXPECT_EQ(ItemState::Completed, first->state);
    std::string dropped = Url("auto3", "three.bin", "size=100");
    SendMessageA(g_host.window, 0x8069, 0, reinterpret_cast<LPARAM>(dropped.c_str()));
    ASSERT_TRUE(WaitForState(LastListItem(), ItemState::Completed));
    EXPECT_EQ(3u, g_host.completedPaths.size());
}

TEST_F(Scheduler, LoginFromTheUrlWinsOverTheDefaults)
{
    strcpy(g_settings.defaultUser, "duser");
    strcpy(g_settings.defaultPassword, "dpass");
    DownloadItem* item =
        Add(std::string("http://u:p@") + base_.substr(7) + "login/x.bin?size=10&auth=basic&user=u&pass=p");
    EXPECT_STREQ("u", item->user);
    EXPECT_STREQ("p", item->password);
    DownloadItem* defaults = Add(Url("deflogin", "y.bin", "size=10&auth=basic&user=duser&pass=dpass"));
    RunScheduler();
    ASSERT_TRUE(WaitForState(item, ItemState::Completed));
    ASSERT_TRUE(WaitForState(defaults, ItemState::Completed));
    EXPECT_EQ(10, item->downloaded);
    EXPECT_EQ(10, defaults->downloaded);
    // "u:p" and "duser:dpass" in Base64.
    EXPECT_NE(std::string::npos, RecordedRequest("login", 2).find("Authorization: Basic dTpw"));
    EXPECT_NE(std::string::npos, RecordedRequest("deflogin", 2).find("Authorization: Basic ZHVzZXI6ZHBhc3M="));
}

TEST_F(Scheduler, ResumeOffsetFromAListFile)
{
    WriteWholeFile(folder_ + "resume.bin", Pattern(0, 4096));
    std::string list = "StoreIn=" + folder_ + "\r\n_RealFileName=" + folder_ +
                       "resume.bin\r\nUrl=" + Url("resume", "resume.bin", "size=10000") + "\r\n";
    WriteWholeFile(folder_ + "l.wrg", list);
    ASSERT_EQ(0, ReadListFile((folder_ + "l.wrg").c_str()));
    DownloadItem* item = FirstListItem();
    ASSERT_EQ(4096, item->downloaded);
    RunScheduler();
    ASSERT_TRUE(WaitForState(item, ItemState::Completed));
    EXPECT_NE(std::string::npos, RecordedRequest("resume", 1).find("Range: bytes=4096-"));
    EXPECT_EQ(10000, item->size);
    EXPECT_EQ(Pattern(0, 10000), ReadWholeFile(folder_ + "resume.bin"));
}

}  // namespace
