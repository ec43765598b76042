// The checksum field of the download sheets: what it takes, what it refuses
// (the sheet stays open to correct it), and how the properties sheet shows
// whether a finished file matched it, also when it was set mid-transfer.
#include <gtest/gtest.h>

#include <ctype.h>
#include <stdio.h>

#include <string>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "marrowby/app/download_list.h"
#include "marrowby/app/file_checksum.h"
#include "marrowby/app/main_window.h"
#include "marrowby/dialogs/download_sheets.h"
#include "marrowby/engine/job_failure.h"
#include "marrowby/resources/resource.h"
#include "tests/support/served_pattern.h"
#include "tests/ui/command_test_support.h"
#include "tests/ui/modal_driver.h"
#include "tests/ui/program_support.h"
#include "tests/ui/sheet_driver.h"
#include "tidewell/updater/signing.h"

namespace {

const char kDeadUrl[] = "http://127.0.0.1:9/dead.bin";

std::string StringText(int id)
{
    char text[512] = "";
    LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof(text));
    return text;
}

std::string Sha256Hex(const std::string& bytes)
{
    uint8_t digest[kSha256Size];
    EXPECT_TRUE(Sha256(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), digest));
    char hex[2 * kSha256Size + 1];
    for (size_t i = 0; i < kSha256Size; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return hex;
}

// The digits as a web page may show them: upper case, in groups of eight.
std::string Spaced(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i < hex.size(); ++i) {
        if (i && i % 8 == 0) out += ' ';
        out += static_cast<char>(toupper(static_cast<unsigned char>(hex[i])));
    }
    return out;
}

std::string OtherDigest(std::string hex)
{
    hex[20] = hex[20] == '0' ? '1' : '0';
    return hex;
}

bool Visible(HWND page, int id)
{
    return IsWindowVisible(GetDlgItem(page, id)) != FALSE;
}

class ChecksumSheets : public CommandTest {
protected:
    // OK with a checksum the page refuses: the message names what is wrong,
    // and the sheet stays open with the caret in the checksum field.
    void ExpectRefused(HWND sheet, const std::string& typed, int messageId)
    {
        HWND page = CurrentPage(sheet);
        SetField(page, IDC_CHECKSUM, typed);
        ModalDriver driver({ModalAnswer(ModalKind::MessageBox)});
        SendMessageA(GetDlgItem(sheet, IDOK), BM_CLICK, 0, 0);
        RunLoopFor(host_, 300);
        std::vector<SeenModal> seen = driver.Finish();
        ASSERT_EQ(1u, seen.size()) << typed;
        EXPECT_EQ(StringText(messageId), MessageText(seen, 0)) << typed;
        EXPECT_TRUE(IsWindow(sheet)) << typed;
        EXPECT_EQ(page, CurrentPage(sheet)) << typed;  // not finished
        EXPECT_EQ(GetDlgItem(page, IDC_CHECKSUM), GetFocus()) << typed;
    }

    HWND OpenProperties(int row)
    {
        SelectRows({row});
        SendCommand(host_, IDM_DOWNLOAD_PROPERTIES);
        return DownloadPropertiesSheet();
    }

    bool WaitForState(DownloadItem* item, ItemState state)
    {
        return RunLoopUntil(
            host_, [item, state] { return item->state == state; }, 20000);
    }
};

TEST_F(ChecksumSheets, NewDownloadSheetTakesAChecksumInAnyFormAndRefusesWhatIsNone)
{
    Start(false);
    const std::string digest = Sha256Hex("checksum");
    SendCommand(host_, IDM_DOWNLOAD_NEW);
    HWND sheet = NewDownloadSheet();
    ASSERT_NE(nullptr, sheet);
    HWND page = CurrentPage(sheet);
    EXPECT_TRUE(Visible(page, IDC_CHECKSUM));
    EXPECT_TRUE(Visible(page, IDC_CHECKSUM_LABEL));
    EXPECT_EQ("", FieldText(page, IDC_CHECKSUM));
    EXPECT_EQ("", FieldText(page, IDC_CHECKSUM_RESULT));
    EXPECT_EQ(160, static_cast<int>(SendDlgItemMessageA(page, IDC_CHECKSUM, EM_GETLIMITTEXT, 0, 0)));
    SetField(page, IDC_URL, kDeadUrl);
    ExpectRefused(sheet, "sha256:" + digest.substr(0, 63) + "g", IDS_CHECKSUM_NOT_HEX);
    ExpectRefused(sheet, digest + "00", IDS_CHECKSUM_BAD_LENGTH);
    ExpectRefused(sheet, "sha256:" + digest.substr(0, 40), IDS_CHECKSUM_WRONG_PREFIX);
    EXPECT_EQ(0, RowCount(MainListControl()));

    // Corrected: stored in its one form.
    SetField(page, IDC_CHECKSUM, "  Sha256: " + Spaced(digest));
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    ASSERT_EQ(1, RowCount(MainListControl()));
    EXPECT_EQ("sha256:" + digest, LastListItem()->checksum);

    // Nothing (or only spaces) is no checksum; MD5 and SHA-1 go by length.
    const struct {
        const char* typed;
        const char* stored;
    } cases[] = {
        {"   ", ""},
        {"D41D8CD98F00B204E9800998ECF8427E", "md5:d41d8cd98f00b204e9800998ecf8427e"},
        {"da39a3ee 5e6b4b0d 3255bfef 95601890 afd80709", "sha1:da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    };
    for (const auto& c : cases) {
        SendCommand(host_, IDM_DOWNLOAD_NEW);
        SetField(CurrentPage(NewDownloadSheet()), IDC_URL, kDeadUrl);
        SetField(CurrentPage(NewDownloadSheet()), IDC_CHECKSUM, c.typed);
        ASSERT_TRUE(CloseSheetWith(host_, NewDownloadSheet(), IDOK)) << c.typed;
        EXPECT_STREQ(c.stored, LastListItem()->checksum) << c.typed;
    }
    EXPECT_EQ(4, RowCount(MainListControl()));

    // The default sheet's page has no checksum to give.
    SendCommand(host_, IDM_OPTIONS_DEFAULT_PROPERTIES);
    page = CurrentPage(DefaultPropertiesSheet());
    for (int id : {IDC_CHECKSUM, IDC_CHECKSUM_LABEL, IDC_CHECKSUM_RESULT}) EXPECT_FALSE(Visible(page, id)) << id;
    ASSERT_TRUE(CloseSheetWith(host_, DefaultPropertiesSheet(), IDOK));
}

// A right checksum entered in the properties sheet: the download completes
// and the sheet says it matched. A refused one changes nothing. A wrong one
// queues the download afresh, which fails and keeps its file. A checksum
// given while the transfer runs is the one its file is checked against.
TEST_F(ChecksumSheets, PropertiesSheetEditsTheChecksumAndShowsHowTheFileCompared)
{
    std::string url = ServerUrl("sumprops/sum.bin?size=40000");
    if (url.empty()) GTEST_SKIP() << "needs the scripted server";
    const std::string body = Pattern(0, 40000);
    const std::string right = Sha256Hex(body);
    Start(false, {{url, 0, 0, ""}});
    DownloadItem* item = FirstListItem();

    HWND sheet = OpenProperties(0);
    ASSERT_NE(nullptr, sheet);
    EXPECT_EQ("", FieldText(CurrentPage(sheet), IDC_CHECKSUM));
    SetField(CurrentPage(sheet), IDC_CHECKSUM, "SHA256:" + Spaced(right));
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    EXPECT_EQ("sha256:" + right, item->checksum);
    SelectRows({0});
    SendCommand(host_, IDM_DOWNLOAD_START);
    ASSERT_TRUE(WaitForState(item, ItemState::Completed));
    EXPECT_EQ(kChecksumMatched, item->checksumResult);

    sheet = OpenProperties(0);
    ASSERT_NE(nullptr, sheet);
    HWND page = CurrentPage(sheet);
    EXPECT_EQ("sha256:" + right, FieldText(page, IDC_CHECKSUM));
    EXPECT_EQ(StringText(IDS_CHECKSUM_MATCHED), FieldText(page, IDC_CHECKSUM_RESULT));
    ExpectRefused(sheet, "12345", IDS_CHECKSUM_BAD_LENGTH);
    EXPECT_EQ("sha256:" + right, item->checksum);
    EXPECT_EQ(ItemState::Completed, item->state);

    SetField(page, IDC_CHECKSUM, OtherDigest(right));
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    EXPECT_EQ(ItemState::Waiting, item->state);
    EXPECT_EQ(kChecksumUnchecked, item->checksumResult);
    SelectRows({0});
    SendCommand(host_, IDM_DOWNLOAD_START);
    ASSERT_TRUE(WaitForState(item, ItemState::Failed));
    EXPECT_EQ(kChecksumMismatched, item->checksumResult);
    EXPECT_EQ(JobFailureChecksum, item->failure);
    EXPECT_TRUE(body == ReadWholeFile(host_.folder + item->fileName)) << item->fileName;
    sheet = OpenProperties(0);
    ASSERT_NE(nullptr, sheet);
    EXPECT_EQ(StringText(IDS_CHECKSUM_MISMATCHED), FieldText(CurrentPage(sheet), IDC_CHECKSUM_RESULT));
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDCANCEL));
    // Known only from the failure, as after a restart.
    item->checksumResult = kChecksumUnchecked;
    sheet = OpenProperties(0);
    ASSERT_NE(nullptr, sheet);
    EXPECT_EQ(StringText(IDS_CHECKSUM_MISMATCHED), FieldText(CurrentPage(sheet), IDC_CHECKSUM_RESULT));
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDCANCEL));

    // Running: the right checksum replaces the wrong one without a restart.
    std::string slow = ServerUrl("sumslow/slow.bin?size=40960&slow=150");
    SendCommand(host_, IDM_DOWNLOAD_NEW);
    SetField(CurrentPage(NewDownloadSheet()), IDC_URL, slow);
    SetField(CurrentPage(NewDownloadSheet()), IDC_FOLDER, host_.folder);
    SetField(CurrentPage(NewDownloadSheet()), IDC_CHECKSUM, OtherDigest(Sha256Hex(Pattern(0, 40960))));
    ASSERT_TRUE(CloseSheetWith(host_, NewDownloadSheet(), IDOK));
    DownloadItem* running = LastListItem();
    SelectRows({1});
    SendCommand(host_, IDM_DOWNLOAD_START);
    ASSERT_EQ(ItemState::Running, running->state);
    DownloadJob* job = running->job;
    sheet = OpenProperties(1);
    ASSERT_NE(nullptr, sheet);
    EXPECT_EQ("", FieldText(CurrentPage(sheet), IDC_CHECKSUM_RESULT));
    SetField(CurrentPage(sheet), IDC_CHECKSUM, Sha256Hex(Pattern(0, 40960)));
    ASSERT_TRUE(CloseSheetWith(host_, sheet, IDOK));
    EXPECT_EQ(job, running->job);
    ASSERT_TRUE(WaitForState(running, ItemState::Completed));
    EXPECT_EQ(kChecksumMatched, running->checksumResult);
}

}  // namespace
