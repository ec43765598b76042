// The chain and the rows of the list control, without any transfer.
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "list_host.h"
#include "marrowby/app/app_messages.h"
#include "marrowby/app/download_list_internal.h"
#include "marrowby/app/settings.h"
#include "marrowby/engine/url.h"

namespace {

// Nothing may start in these tests: the fixture's limit is 0.
class DownloadList : public ListHostTest {
protected:
    // Appends items with the given states; urls are http://h/<index>.
    std::vector<DownloadItem*> AddItems(const std::vector<ItemState>& states)
    {
        std::vector<DownloadItem*> items;
        for (size_t i = 0; i < states.size(); ++i) {
            DownloadItem* item = NewItem();
            EXPECT_NE(nullptr, item);
            EXPECT_EQ(0, SetItemUrl(item, ("http://h/" + std::to_string(i)).c_str()));
            item->state = states[i];
            EXPECT_EQ(0, AppendItem(item));
            items.push_back(item);
        }
        return items;
    }
};

TEST_F(DownloadList, AddUrlAcceptsOnlyHttpAndShowsARow)
{
    EXPECT_EQ(1, AddUrl("ftp://h/file", nullptr, nullptr, nullptr));
    EXPECT_EQ(1, AddUrl("no colon here", nullptr, nullptr, nullptr));
    EXPECT_EQ(1, AddUrl("gopher://h/x", nullptr, nullptr, nullptr));
    EXPECT_EQ(1, AddUrl("httpss://h/x", nullptr, nullptr, nullptr));
    EXPECT_EQ(0, RowCount());
    ASSERT_EQ(0, AddUrl("HTTP://Host:8080/a/b.zip?x=1", "http://ref/", nullptr, nullptr));
    ASSERT_EQ(1, RowCount());
    DownloadItem* item = ItemOfRow(0);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(ItemState::Waiting, item->state);
    EXPECT_STREQ("http://ref/", item->referrer);
    EXPECT_EQ("", CellText(0, kColumnFileName));
    EXPECT_EQ("", CellText(0, kColumnSize));
    EXPECT_EQ("", CellText(0, kColumnDownloaded));
    EXPECT_EQ("", CellText(0, kColumnElapsed));
    EXPECT_EQ("0", CellText(0, kColumnTries));
    EXPECT_EQ("HTTP://Host:8080/a/b.zip?x=1", CellText(0, kColumnAddress));
    EXPECT_EQ(kIconWaiting, RowImage(0));
    ASSERT_EQ(0, AddUrl("https://u:p@h/s.zip", nullptr, nullptr, nullptr));
    EXPECT_EQ(2, RowCount());
    EXPECT_STREQ("u", ItemOfRow(1)->user);
    ExpectListConsistent();
}

TEST_F(DownloadList, LoginFromTheUrlWinsAsAPair)
{
    strcpy(g_settings.defaultUser, "duser");
    strcpy(g_settings.defaultPassword, "dpass");
    strcpy(g_settings.defaultFolder, "C:\\dl");
    ASSERT_EQ(0, AddUrl("http://u:p@h/f", nullptr, nullptr, nullptr));
    ASSERT_EQ(0, AddUrl("http://u@h/f", nullptr, "given", "givenpw"));
    ASSERT_EQ(0, AddUrl("http://h/f", nullptr, "given", "givenpw"));
    ASSERT_EQ(0, AddUrl("http://h/f", nullptr, nullptr, nullptr));
    std::vector<DownloadItem*> items = ChainItems();
    ASSERT_EQ(4u, items.size());
    EXPECT_STREQ("u", items[0]->user);
    EXPECT_STREQ("p", items[0]->password);
    EXPECT_STREQ("u", items[1]->user);
    EXPECT_STREQ("", items[1]->password);  // a user without password empties it
    EXPECT_STREQ("given", items[2]->user);
    EXPECT_STREQ("givenpw", items[2]->password);
    EXPECT_STREQ("duser", items[3]->user);
    EXPECT_STREQ("dpass", items[3]->password);
    for (DownloadItem* item : items) EXPECT_STREQ("C:\\dl", item->folder);
}

TEST_F(DownloadList, LongTextsAreCutToTheirFieldsButUrlsKeptWholeOrRefused)
{
    std::string url = "http://h/" + std::string(3000, 'a');
    std::string referrer(5000, 'r');
    std::string user(100, 'u');
    std::string tooLong = "http://h/" + std::string(kUrlTextMax, 'a');
    EXPECT_EQ(3, AddUrl(tooLong.c_str(), nullptr, nullptr, nullptr));
    ASSERT_EQ(0, AddUrl(url.c_str(), referrer.c_str(), user.c_str(), user.c_str()));
    DownloadItem* item = ItemOfRow(0);
    EXPECT_EQ(url, item->url);
    EXPECT_EQ(item, LastListItem());
    EXPECT_EQ(1152u, strlen(item->referrer));
    EXPECT_EQ(48u, strlen(item->user));
    EXPECT_EQ(48u, strlen(item->password));
}

// The texts live on the heap at their own length: each is cut to its
// field's width, null and empty read as "", the settings' defaults may lack
// their NUL, and once a run's buffers exist the job's thread finds them
// where they were, whatever is written into them.
TEST_F(DownloadList, ItemTextsKeepTheirWidthsAndRunBuffersStayPut)
{
    memset(g_settings.defaultUser, 'd', kItemUserSize);  // no terminator within the field
    memset(g_settings.defaultFolder, 'f', kItemFolderSize);
    DownloadItem* item = NewItem();
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(std::string(kItemUserSize - 1, 'd'), item->user);
    EXPECT_EQ(std::string(kItemFolderSize - 1, 'f'), item->folder);
    EXPECT_STREQ("", item->fileName);
    EXPECT_STREQ("", item->entityTag);
    EXPECT_STREQ("", item->checksum);
    EXPECT_EQ(nullptr, item->rate);

    const std::string longText(2000, 'x');
    struct Field {
        int (*set)(DownloadItem*, const char*);
        const char* const* text;
        size_t width;
    } fields[] = {
        {SetItemFileName, &item->fileName, kItemFileNameSize},
        {SetItemFolder, &item->folder, kItemFolderSize},
        {SetItemUser, &item->user, kItemUserSize},
        {SetItemPassword, &item->password, kItemPasswordSize},
        {SetItemEntityTag, &item->entityTag, kItemEntityTagSize},
    };
    for (const Field& field : fields) {
        EXPECT_EQ(0, field.set(item, longText.c_str()));
        EXPECT_EQ(std::string(field.width - 1, 'x'), *field.text);
        EXPECT_EQ(0, field.set(item, "short"));
        EXPECT_STREQ("short", *field.text);
        EXPECT_EQ(0, field.set(item, nullptr));
        EXPECT_STREQ("", *field.text);
    }
    EXPECT_EQ(0, SetItemChecksum(item, longText.c_str()));
    EXPECT_EQ(kChecksumTextSize - 1, strlen(item->checksum));
    char copied[kChecksumTextSize + 8];
    CopyItemChecksum(item, copied, sizeof(copied));
    EXPECT_STREQ(item->checksum, copied);

    ASSERT_EQ(0, SetItemFileName(item, "before.bin"));
    ASSERT_EQ(0, SetItemEntityTag(item, "\"e1\""));
    ASSERT_TRUE(PrepareItemRun(item));
    ASSERT_NE(nullptr, item->rate);
    EXPECT_STREQ("before.bin", item->fileName);
    EXPECT_STREQ("\"e1\"", item->entityTag);
    EXPECT_STREQ("", item->folder);
    const char* name = item->fileName;
    const char* tag = item->entityTag;
    const char* folder = item->folder;
    const RateMeter* rate = item->rate;
    SetRunningItemFile(item, longText.c_str(), "\"e2\"");
    EXPECT_EQ(std::string(kItemFileNameSize - 1, 'x'), item->fileName);
    EXPECT_STREQ("\"e2\"", item->entityTag);
    EXPECT_EQ(0, SetItemFolder(item, longText.c_str()));
    EXPECT_EQ(std::string(kItemFolderSize - 1, 'x'), item->folder);
    EXPECT_EQ(0, SetItemFileName(item, nullptr));
    EXPECT_EQ(0, SetItemEntityTag(item, nullptr));
    EXPECT_EQ(0, SetItemFolder(item, "C:\\dl"));
    EXPECT_TRUE(PrepareItemRun(item));  // a second run keeps the buffers
    EXPECT_EQ(name, item->fileName);
    EXPECT_EQ(tag, item->entityTag);
    EXPECT_EQ(folder, item->folder);
    EXPECT_EQ(rate, item->rate);
    EXPECT_STREQ("", item->fileName);
    EXPECT_STREQ("C:\\dl", item->folder);
    FreeItem(item);
}

TEST_F(DownloadList, AppendedRowsShowStateSizeAndProgress)
{
    DownloadItem* done = NewItem();
    SetItemFileName(done, "done.zip");
    SetItemUrl(done, "http://h/done.zip");
    done->state = ItemState::Completed;
    done->size = 1000;
    done->downloaded = 1000;
    done->tries = 3;
    AppendItem(done);
    DownloadItem* paused = NewItem();
    paused->state = ItemState::Paused;
    paused->size = -1;
    AppendItem(paused);
    DownloadItem* failed = NewItem();
    failed->state = ItemState::Failed;
    AppendItem(failed);

    EXPECT_EQ("done.zip", CellText(0, kColumnFileName));
    EXPECT_EQ("1000", CellText(0, kColumnSize));
    EXPECT_EQ("1000", CellText(0, kColumnDownloaded));
    EXPECT_EQ("3", CellText(0, kColumnTries));
    EXPECT_EQ(kIconCompleted, RowImage(0));
    EXPECT_EQ("", CellText(1, kColumnSize));  // unknown sizes are not shown
    EXPECT_EQ(kIconPaused, RowImage(1));
    EXPECT_EQ(kIconWaiting, RowImage(2));  // only completed and paused have their own
    ExpectListConsistent();
}

// Rows are drawn from their items: typed letters still find a row by the
// start of its file name, from the row after the given one and round.
TEST_F(DownloadList, TypedLettersFindTheRowByItsFileName)
{
    for (const char* name : {"alpha.zip", "Beta.bin", "", "bravo.txt", "beta2.bin", "zulu"}) {
        DownloadItem* item = NewItem();
        SetItemFileName(item, name);
        SetItemUrl(item, "http://h/x");
        AppendItem(item);
    }
    auto find = [](int start, const char* text, UINT flags) {
        LVFINDINFOA info = {};
        info.flags = flags;
        info.psz = text;
        return static_cast<int>(
            SendMessageA(g_host.list, LVM_FINDITEMA, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(&info)));
    };
    EXPECT_EQ(1, find(-1, "be", LVFI_PARTIAL | LVFI_WRAP));
    EXPECT_EQ(4, find(2, "BE", LVFI_PARTIAL | LVFI_WRAP));
    EXPECT_EQ(1, find(5, "be", LVFI_PARTIAL | LVFI_WRAP));  // round to the top
    EXPECT_EQ(-1, find(5, "be", LVFI_PARTIAL));
    EXPECT_EQ(3, find(-1, "bravo.TXT", LVFI_STRING));
    EXPECT_EQ(-1, find(-1, "bravo", LVFI_STRING));  // the whole name, unless partial
    EXPECT_EQ(-1, find(-1, "gamma", LVFI_PARTIAL | LVFI_WRAP));
    EXPECT_EQ("bravo.txt", CellText(3, kColumnFileName));
}

int FocusedRow()
{
    return static_cast<int>(
        SendMessageA(g_host.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_FOCUSED, 0)));
}

void FocusRow(int row)
{
    LVITEMA lv = {};
    lv.stateMask = LVIS_FOCUSED;
    lv.state = LVIS_FOCUSED;
    SendMessageA(g_host.list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&lv));
}

// The focus stays with its row when that row stays, and goes with it.
TEST_F(DownloadList, DeletingThreeOfFiveRenumbersTheRest)
{
    AddItems(std::vector<ItemState>(5, ItemState::Waiting));
    SelectOnly({0, 2, 4});
    FocusRow(3);
    EXPECT_EQ(0, DeleteSelected());
    ASSERT_EQ(2, RowCount());
    EXPECT_EQ(2, ListRowCounter());
    EXPECT_EQ("http://h/1", CellText(0, kColumnAddress));
    EXPECT_EQ("http://h/3", CellText(1, kColumnAddress));
    EXPECT_EQ(1, FocusedRow());
    ExpectListConsistent();
    SelectOnly({0, 1});
    FocusRow(1);
    EXPECT_EQ(0, DeleteSelected());
    EXPECT_EQ(-1, FocusedRow());
    EXPECT_EQ(nullptr, FirstListItem());
    EXPECT_EQ(nullptr, LastListItem());
    ExpectListConsistent();
}

TEST_F(DownloadList, RemoveItemUnlinksFirstMiddleAndLast)
{
    std::vector<DownloadItem*> items = AddItems(std::vector<ItemState>(5, ItemState::Waiting));
    RemoveItem(2, items[2]);
    RemoveItem(0, items[0]);
    EXPECT_EQ(0, RenumberRows());
    ExpectListConsistent();
    RemoveItem(2, items[4]);
    EXPECT_EQ(0, RenumberRows());
    std::vector<DownloadItem*> rest = ChainItems();
    ASSERT_EQ(2u, rest.size());
    EXPECT_EQ(items[1], rest[0]);
    EXPECT_EQ(items[3], rest[1]);
    ExpectListConsistent();
}

TEST_F(DownloadList, StartAndPauseSelectedChangeStatesAndIcons)
{
    AddItems({ItemState::Completed, ItemState::Failed, ItemState::Paused, ItemState::Waiting});
    SelectOnly({0, 1});
    EXPECT_EQ(0, StartSelected());
    EXPECT_EQ(ItemState::Waiting, ItemOfRow(0)->state);
    EXPECT_EQ(ItemState::Waiting, ItemOfRow(1)->state);
    EXPECT_EQ(kIconWaiting, RowImage(0));
    EXPECT_EQ(ItemState::Paused, ItemOfRow(2)->state);  // not selected

    ItemOfRow(3)->state = ItemState::Completed;
    SetRowIcon(3, kIconCompleted);
    SelectOnly({3});
    EXPECT_EQ(0, PauseSelected());
    EXPECT_EQ(ItemState::Paused, ItemOfRow(3)->state);
    EXPECT_EQ(kIconPaused, RowImage(3));
}

TEST_F(DownloadList, ZeroLimitStartsNothing)
{
    AddItems(std::vector<ItemState>(3, ItemState::Waiting));
    g_settings.maxSimultaneous = 0;
    RunScheduler();
    for (DownloadItem* item : ChainItems()) {
        EXPECT_EQ(ItemState::Waiting, item->state);
        EXPECT_EQ(0, item->tries);
        EXPECT_EQ(nullptr, item->job);
    }
    g_settings.maxSimultaneous = -1;
    RunScheduler();
    EXPECT_EQ(ItemState::Waiting, FirstListItem()->state);
}

TEST_F(DownloadList, StartItemIgnoresItemsThatAreNotWaiting)
{
    AddItems({ItemState::Completed, ItemState::Paused});
    EXPECT_EQ(0, StartItem(0));
    EXPECT_EQ(0, StartItem(1));
    EXPECT_EQ(0, StartItem(7));  // no such row
    EXPECT_EQ(nullptr, ItemOfRow(0)->job);
    EXPECT_EQ(ItemState::Completed, ItemOfRow(0)->state);
}

TEST_F(DownloadList, ClearListEmptiesChainRowsAndCounter)
{
    AddItems(std::vector<ItemState>(4, ItemState::Waiting));
    ClearList();
    EXPECT_EQ(0, RowCount());
    EXPECT_EQ(0, ListRowCounter());
    EXPECT_EQ(nullptr, FirstListItem());
    ASSERT_EQ(0, AddUrl("http://h/again", nullptr, nullptr, nullptr));
    EXPECT_EQ(0, ItemOfRow(0)->row);
    ExpectListConsistent();
}

TEST_F(DownloadList, DroppedUrlIsAdded)
{
    const char url[] = "http://dropped.example/file.bin";
    SendMessageA(g_host.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>(url));
    SendMessageA(g_host.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>("ftp://x/y"));
    ASSERT_EQ(1, RowCount());
    EXPECT_EQ(url, CellText(0, kColumnAddress));

    // Text of several lines: the first line is the URL, and no line end
    // reaches the item (its request line, its list file record).
    const char lines[] = "http://dropped.example/two.bin\r\nStoreIn=C:\\x\r\nhttp://h/three\r\n";
    SendMessageA(g_host.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>(lines));
    ASSERT_EQ(0, AddUrl("http://h/four.bin\nhttp://h/five.bin", nullptr, nullptr, nullptr));
    EXPECT_EQ(1, AddUrl("\nhttp://h/six.bin", nullptr, nullptr, nullptr));
    ASSERT_EQ(3, RowCount());
    EXPECT_STREQ("http://dropped.example/two.bin", ItemOfRow(1)->url);
    EXPECT_STREQ("http://h/four.bin", ItemOfRow(2)->url);
    ExpectListConsistent();
}

TEST_F(DownloadList, MessagesWithoutALiveRunAreIgnored)
{
    AddItems({ItemState::Waiting});
    for (UINT message = kFirstListMessage; message <= kLastListMessage; ++message) {
        if (message == WM_ADD_URL) continue;
        PostMessageA(g_host.window, message, 2, 12345);
        PostMessageA(g_host.window, message, 2, 0);
    }
    PumpPending();
    EXPECT_EQ(ItemState::Waiting, FirstListItem()->state);
    EXPECT_EQ(kIconWaiting, RowImage(0));
    EXPECT_TRUE(g_host.completedPaths.empty());
}

TEST_F(DownloadList, RemovalObserverSeesEveryFreedItem)
{
    static std::vector<DownloadItem*> seen;
    seen.clear();
    SetItemRemovalObserver([](DownloadItem* item) { seen.push_back(item); });
    std::vector<DownloadItem*> items = AddItems(std::vector<ItemState>(3, ItemState::Waiting));
    SelectOnly({1});
    DeleteSelected();
    ClearList();
    SetItemRemovalObserver(nullptr);
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ(items[1], seen[0]);
}

TEST(ElapsedText, MinutesWithoutHoursAndTickWrap)
{
    char text[24];
    FormatElapsed(1000, 1000 + 75 * 60000, text, sizeof(text));
    EXPECT_STREQ("75:00", text);
    FormatElapsed(0, 61999, text, sizeof(text));
    EXPECT_STREQ("1:01", text);
    FormatElapsed(0xFFFFF000u, 0x00001000u, text, sizeof(text));  // 8192 ms across the wrap
    EXPECT_STREQ("0:08", text);
    FormatElapsed(5, 5, text, sizeof(text));
    EXPECT_STREQ("0:00", text);
}

}  // namespace
