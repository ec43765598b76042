// The main window's list under everyday mistakes: unusable addresses in the
// queue, a running download given another address and folder, list files
// that cannot be read, and signed links of several KB.
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <windows.h>

#include "marrowby/app/app_messages.h"
#include "marrowby/app/download_list.h"
#include "marrowby/app/main_window.h"
#include "common/bounded_text.h"
#include "marrowby/app/settings.h"
#include "marrowby/dialogs/download_sheets.h"
#include "marrowby/engine/job_failure.h"
#include "marrowby/engine/url.h"
#include "marrowby/resources/resource.h"
#include "tests/support/served_pattern.h"
#include "tests/ui/command_test_support.h"
#include "tests/ui/modal_driver.h"
#include "tests/ui/program_support.h"
#include "tests/ui/sheet_driver.h"

namespace {

class QueueAndListTest : public CommandTest {
protected:
    DownloadItem* Item(size_t index)
    {
        DownloadItem* item = FirstListItem();
        for (size_t i = 0; i < index && item; ++i) item = item->next;
        return item;
    }

    bool Ended(size_t index)
    {
        DownloadItem* item = Item(index);
        return item && item->state != ItemState::Running && item->state != ItemState::Waiting;
    }

    // Closes the window as the program ends, expecting no message at all.
    void CloseQuietly()
    {
        ModalDriver driver({});
        CloseHostWindow(&host_);
        EXPECT_TRUE(driver.Finish().empty());
        SetSettingsFolder(host_.folder.c_str());
    }
};

TEST_F(QueueAndListTest, UnusableAddressesFailAndTheQueueGoesOn)
{
    std::string first = ServerUrl("queue1/first.bin?size=3000");
    if (first.empty()) GTEST_SKIP() << "needs the scripted server";
    Start(true, {{"ftp://127.0.0.1/f.bin", 0, 0, ""},
                 {"", 0, 0, ""},
                 {"http://[::1", 0, 0, ""},
                 {"no-scheme.bin", 0, 0, ""},
                 {first, 0, 0, ""},
                 {ServerUrl("queue2/second.bin?size=4000"), 0, 0, ""}});
    ASSERT_TRUE(RunLoopUntil(
        host_, [&] { return Ended(4) && Ended(5); }, 30000));
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(ItemState::Failed, Item(i)->state) << Item(i)->url;
        EXPECT_EQ(JobFailureUrl, Item(i)->failure) << Item(i)->url;
    }
    EXPECT_EQ(ItemState::Completed, Item(4)->state);
    EXPECT_EQ(ItemState::Completed, Item(5)->state);
    EXPECT_EQ(Pattern(3000), ReadWholeFile(host_.folder + "first.bin"));
    EXPECT_EQ(Pattern(4000), ReadWholeFile(host_.folder + "second.bin"));
}

// The edit stops the transfer and starts it again at once with the new
// address and folder: the record then names the file that holds the data.
TEST_F(QueueAndListTest, EditingARunningDownloadRestartsItWithTheNewValues)
{
    std::string slow = ServerUrl("edit1/slow.bin?size=400000&slow=200");
    if (slow.empty()) GTEST_SKIP() << "needs the scripted server";
    Start(false, {{slow, 0, 0, ""}});
    SelectRows({0});
    SendCommand(host_, IDM_DOWNLOAD_START);
    DownloadItem* item = Item(0);
    ASSERT_TRUE(RunLoopUntil(
        host_, [&] { return ItemCount(item->downloaded) > 0; }, 15000));

    std::string edited = ServerUrl("edit2/edited.bin?size=4000");
    std::string moved = FreshFolder(host_.folder + "moved\\");
    SelectRows({0});
    PressKey(host_, MainListControl(), VK_RETURN, VK_MENU);
    HWND sheet = DownloadPropertiesSheet();
    ASSERT_NE(nullptr, sheet);
    SetField(CurrentPage(sheet), IDC_URL, edited);
    SetField(CurrentPage(sheet), IDC_FOLDER, moved);
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    ASSERT_TRUE(RunLoopUntil(
        host_, [&] { return Ended(0); }, 20000));
    EXPECT_EQ(ItemState::Completed, item->state);
    EXPECT_STREQ("edited.bin", item->fileName);
    EXPECT_EQ(4000, item->downloaded);
    EXPECT_EQ(Pattern(4000), ReadWholeFile(moved + "edited.bin"));
    EXPECT_FALSE(FileExists(moved + "slow.bin"));

    CloseQuietly();
    std::string list = ReadWholeFile(host_.listPath);
    EXPECT_NE(std::string::npos, list.find("_RealFileName=" + moved + "edited.bin\r\nUrl=" + edited)) << list;
}

// A list file that cannot be read whole is left as it was: the person is
// told which file, the session starts empty, closing writes nothing, and
// Save asks for a name. Notepad's UTF-16 is read converted.
TEST_F(QueueAndListTest, UnreadableListFilesAreNeverWrittenOver)
{
    const std::string header = "; Created by test\r\n";
    const std::string unreadable[] = {
        std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\0", 20),
        header + ";\r\nUrl=http://127.0.0.1:9/kept.bin\r\n" + std::string(1, '\0') + "\r\n",
        header + ";\r\nUrl=http://127.0.0.1:9/" + std::string(kUrlTextMax, 'x') + "\r\n",
    };
    for (const std::string& bytes : unreadable) {
        WriteHostSettings(host_, false, 2);
        WriteWholeFile(host_.listPath, bytes);
        ModalDriver told({ModalAnswer(ModalKind::MessageBox)});
        ASSERT_EQ(0, CreateHostWindow(&host_));
        std::vector<SeenModal> seen = told.Finish();
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ(kListNotReadText + host_.listPath, MessageText(seen, 0));
        EXPECT_EQ(nullptr, FirstListItem());

        SendMessageA(host_.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>("http://127.0.0.1:9/new.bin"));
        ModalDriver asked({ModalAnswer(ModalKind::FileDialog, "", true)});
        SendCommand(host_, IDM_FILE_SAVE);
        std::vector<SeenModal> dialogs = asked.Finish();
        ASSERT_EQ(1u, dialogs.size());
        EXPECT_EQ(ModalKind::FileDialog, dialogs[0].kind);
        CloseQuietly();
        EXPECT_EQ(bytes, ReadWholeFile(host_.listPath));
    }

    const std::string text = header + ";\r\nStoreIn=" + host_.folder + "\r\nUrl=http://127.0.0.1:9/wide.bin\r\n";
    std::string wide = "\xFF\xFE";
    for (char c : text) wide += std::string{c, '\0'};
    WriteWholeFile(host_.listPath, wide);
    ModalDriver none({});
    ASSERT_EQ(0, CreateHostWindow(&host_));
    EXPECT_TRUE(none.Finish().empty());
    ASSERT_NE(nullptr, FirstListItem());
    EXPECT_STREQ("http://127.0.0.1:9/wide.bin", FirstListItem()->url);
    CloseQuietly();
    EXPECT_NE(std::string::npos, ReadWholeFile(host_.listPath).find("\r\nUrl=http://127.0.0.1:9/wide.bin\r\n"));
}

// Signed download links run to several KB: one of 4,000 bytes is requested,
// saved and listed whole; one beyond the limit is refused with a message.
TEST_F(QueueAndListTest, LongSignedLinkIsDownloadedWhole)
{
    std::string base = ServerUrl("long1/signed.bin?size=6000&expires=1999999999&token=");
    if (base.empty()) GTEST_SKIP() << "needs the scripted server";
    std::string url = base + std::string(4000 - base.size() - 12, 't') + "&sig=abcdEND";
    ASSERT_EQ(4000u, url.size());
    Start(true);
    mw_text::Copy(g_settings.defaultFolder, host_.folder.c_str());
    SendMessageA(host_.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>(url.c_str()));
    ASSERT_TRUE(RunLoopUntil(
        host_, [&] { return Ended(0); }, 20000));
    EXPECT_EQ(ItemState::Completed, Item(0)->state);
    EXPECT_EQ(url, Item(0)->url);
    EXPECT_TRUE(Pattern(6000) == ReadWholeFile(host_.folder + "signed.bin"));
    std::string target = url.substr(url.find("/long1/"));
    EXPECT_EQ(0u, RecordedRequest("long1.1").find("GET " + target + " HTTP/1.0\r\n"));

    std::string tooLong = "http://127.0.0.1:9/x?sig=" + std::string(kUrlTextMax, 's');
    ModalDriver told({ModalAnswer(ModalKind::MessageBox)});
    SendMessageA(host_.window, WM_ADD_URL, 0, reinterpret_cast<LPARAM>(tooLong.c_str()));
    EXPECT_EQ(kUrlTooLongText, MessageText(told.Finish(), 0));
    EXPECT_EQ(nullptr, Item(1));

    CloseQuietly();
    EXPECT_NE(std::string::npos, ReadWholeFile(host_.listPath).find("\r\nUrl=" + url + "\r\n"));
}

}  // namespace
