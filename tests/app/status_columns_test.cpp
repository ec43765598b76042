// The status, progress, speed and time-left columns with real jobs against
// the scripted test server, the row tooltip, the title bar, and the failure
// reasons after a list file is written and read again.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "list_host.h"
#include "marrowby/app/file_checksum.h"
#include "marrowby/app/list_file.h"
#include "marrowby/app/settings.h"
#include "marrowby/resources/resource.h"

namespace {

constexpr DWORD kWaitMs = 20000;

std::string Text(int id)
{
    char text[256] = "";
    LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof(text));
    return text;
}

std::string HttpReason(int status, const char* phrase)
{
    char text[256];
    snprintf(text, sizeof(text), Text(IDS_REASON_HTTP_STATUS).c_str(), status, phrase);
    return text;
}

// The text of the row's hover tooltip; "" when it has none.
std::string Tooltip(int row)
{
    char text[1024] = "x";
    DownloadItem* item = ItemOfRow(row);
    bool has = item != nullptr && FormatRowTip(item, text, sizeof(text));
    EXPECT_EQ(has, text[0] != '\0') << row;
    return text;
}

class StatusColumns : public ListHostTest {
protected:
    void SetUp() override
    {
        const char* port = getenv("MW_HTTP_PORT");
        if (port == nullptr) GTEST_SKIP() << "no test server (run through servers.py)";
        base_ = std::string("127.0.0.1:") + port + "/";
        ListHostTest::SetUp();
        g_settings.maxSimultaneous = 16;
        folder_ = FreshTestFolder();
        strcpy(g_settings.defaultFolder, folder_.c_str());
        ASSERT_FALSE(Text(IDS_STATE_FAILED).empty()) << "the program's string table is linked in";
    }

    std::string Url(const std::string& id, const std::string& query)
    {
        return "http://" + base_ + id + "/" + id + ".bin" + (query.empty() ? "" : "?" + query);
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

    std::string base_;
    std::string folder_;
};

struct Expected {
    DownloadItem* item;
    ItemState state;
    std::string reason;  // "" for none
};

TEST_F(StatusColumns, EachFailureShowsItsReasonAlsoAfterTheListIsReadAgain)
{
    g_settings.idleTimeoutMs = 3000;
    // A file held open by another program cannot be written.
    std::string busyPath = folder_ + "busy.bin";
    WriteWholeFile(busyPath, "old");
    HANDLE busy = CreateFileA(busyPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, busy);

    std::vector<Expected> expected = {
        {Add(Url("missing", "status=404")), ItemState::Failed, HttpReason(404, "Not Found")},
        {Add(Url("unavailable", "status=503")), ItemState::Failed, HttpReason(503, "Service Unavailable")},
        {Add("http://127.0.0.1:1/refused.bin"), ItemState::Failed, Text(IDS_REASON_CONNECT)},
        {Add(Url("loop", "hops=30")), ItemState::Failed, Text(IDS_REASON_REDIRECTS)},
        {Add(Url("cut", "size=50000&cut=1000")), ItemState::Failed, Text(IDS_REASON_SHORT_BODY)},
        {Add("http://u:p@" + base_ + "login/l.bin?auth=always"), ItemState::Failed, Text(IDS_REASON_LOGIN)},
        {Add(Url("sum", "size=100")), ItemState::Failed, Text(IDS_REASON_CHECKSUM)},
        {Add(Url("silent", "silent=1")), ItemState::Paused, Text(IDS_REASON_TIMED_OUT)},
        {Add(Url("busy", "size=100")), ItemState::Failed, Text(IDS_REASON_FILE_IN_USE)},
        {Add(Url("fine", "size=100")), ItemState::Completed, ""},
        {Add("http://" + base_ + "nologin/n.bin?auth=basic"), ItemState::Failed, Text(IDS_REASON_LOGIN_NEEDED)},
    };
    SetItemChecksum(expected[6].item, ("sha256:" + std::string(64, '0')).c_str());
    SetItemFileName(expected[8].item, "busy.bin");
    RunScheduler();
    for (const Expected& e : expected) ASSERT_TRUE(WaitForState(e.item, e.state)) << e.item->url;
    CloseHandle(busy);

    EXPECT_NE(std::string::npos, CellText(0, kColumnStatus).find("404 Not Found"));
    for (size_t row = 0; row < expected.size(); ++row) {
        const Expected& e = expected[row];
        std::string state = Text(e.state == ItemState::Failed   ? IDS_STATE_FAILED
                                 : e.state == ItemState::Paused ? IDS_STATE_PAUSED
                                                                : IDS_STATE_COMPLETED);
        std::string status = e.reason.empty() ? state : state + ": " + e.reason;
        EXPECT_EQ(status, CellText(static_cast<int>(row), kColumnStatus)) << e.item->url;
        EXPECT_EQ(e.reason.empty() ? "" : status, Tooltip(static_cast<int>(row))) << e.item->url;
        EXPECT_EQ("", CellText(static_cast<int>(row), kColumnSpeed)) << e.item->url;
    }
    EXPECT_EQ("100%", CellText(9, kColumnProgress));
    EXPECT_EQ("2%", CellText(4, kColumnProgress));  // 1,000 of 50,000 bytes
    EXPECT_EQ("", CellText(0, kColumnProgress));    // no size known

    // Written and read again: each failure keeps its reason; what failed
    // waits to be tried again, as the list file stores it.
    std::string listPath = folder_ + "status.wrg";
    ASSERT_EQ(0, WriteListFile(listPath.c_str()));
    EXPECT_NE(std::string::npos, ReadWholeFile(listPath).find("_Failure=http-status 404\r\n"));
    ClearList();
    ASSERT_EQ(0, ReadListFile(listPath.c_str()));
    ASSERT_EQ(static_cast<int>(expected.size()), RowCount());
    for (size_t row = 0; row < expected.size(); ++row) {
        const Expected& e = expected[row];
        std::string state = Text(e.state == ItemState::Failed   ? IDS_STATE_WAITING
                                 : e.state == ItemState::Paused ? IDS_STATE_PAUSED
                                                                : IDS_STATE_COMPLETED);
        std::string status = e.reason.empty() ? state : state + ": " + e.reason;
        EXPECT_EQ(status, CellText(static_cast<int>(row), kColumnStatus)) << row;
        EXPECT_EQ(e.reason.empty() ? "" : status, Tooltip(static_cast<int>(row))) << row;
    }
    // A fresh start forgets the old reason.
    g_settings.maxSimultaneous = 1;
    DownloadItem* first = FirstListItem();
    SetItemUrl(first, Url("found", "size=10").c_str());
    RunScheduler();
    ASSERT_TRUE(WaitForState(first, ItemState::Completed));
    EXPECT_EQ(Text(IDS_STATE_COMPLETED), CellText(0, kColumnStatus));
}

// 4 KB every 50 ms: the server sends 81,920 bytes a second.
TEST_F(StatusColumns, SlowDownloadShowsProgressSpeedTimeLeftAndTheTitle)
{
    const double serverRate = 4096.0 * 1000.0 / 50.0;
    DownloadItem* slow = Add(Url("slow", "size=600000&slow=50"));
    DownloadItem* other = Add(Url("other", "size=900000&slow=50"));
    RunScheduler();
    ASSERT_TRUE(PumpUntil([&] { return ItemCount(slow->downloaded) > 300000; }, kWaitMs));
    ASSERT_EQ(ItemState::Running, slow->state);

    std::string speed = CellText(0, kColumnSpeed);
    double shown = atof(speed.c_str()) * 1024.0;
    ASSERT_NE(std::string::npos, speed.find(" KB/s")) << speed;
    EXPECT_NEAR(serverRate, shown, serverRate * 0.15) << speed;

    int percent = atoi(CellText(0, kColumnProgress).c_str());
    EXPECT_GE(percent, 50);
    EXPECT_LE(percent, 99);
    // About 300,000 bytes are left: some 3 to 4 s at that speed.
    std::string left = CellText(0, kColumnTimeLeft);
    ASSERT_EQ(4u, left.size()) << left;
    EXPECT_EQ("0:0", left.substr(0, 3));
    EXPECT_GE(left[3], '2');
    EXPECT_LE(left[3], '5');
    EXPECT_EQ(Text(IDS_STATE_RECEIVING), CellText(0, kColumnStatus));

    char title[256] = "";
    PumpFor(600);  // the title follows within half a second
    GetWindowTextA(g_host.window, title, sizeof(title));
    // The counts move on while the title is read: the percentage may lag.
    int64_t done = ItemCount(slow->downloaded) + ItemCount(other->downloaded);
    int overall = static_cast<int>(done * 100 / 1500000);
    bool matched = false;
    for (int percent = overall - 8; percent <= overall; ++percent) {
        char expected[256];
        snprintf(expected, sizeof(expected), Text(IDS_TITLE_PROGRESS).c_str(), 2, percent);
        matched = matched || strcmp(expected, title) == 0;
    }
    EXPECT_TRUE(matched) << title << " near " << overall;

    ASSERT_TRUE(WaitForState(slow, ItemState::Completed));
    EXPECT_EQ("100%", CellText(0, kColumnProgress));
    EXPECT_EQ("", CellText(0, kColumnSpeed));
    EXPECT_EQ("", CellText(0, kColumnTimeLeft));
    GetWindowTextA(g_host.window, title, sizeof(title));
    std::string one = Text(IDS_TITLE_PROGRESS);
    one = one.substr(0, one.find("%d")) + "1" + one.substr(one.find("%d") + 2);
    EXPECT_EQ(one.substr(0, one.find("%d")), std::string(title).substr(0, one.find("%d"))) << title;
    // Pausing the last one gives the title back.
    SelectOnly({1});
    PauseSelected();
    GetWindowTextA(g_host.window, title, sizeof(title));
    EXPECT_STREQ(Text(IDS_APP_TITLE).c_str(), title);
}

}  // namespace
