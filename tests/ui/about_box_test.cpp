// The modeless about box: opened once, white, closed by its OK button.
#include <gtest/gtest.h>

#include <string>
#include <windows.h>

#include "marrowby/dialogs/about_box.h"
#include "product_version.h"
#include "tests/ui/ui_support.h"

namespace {

// "Marrowby" followed by "ni tsu i te" in Shift-JIS.
const char kAboutTitle[] = "Marrowby\x82\xc9\x82\xc2\x82\xa2\x82\xc4";

std::string WindowText(HWND window)
{
    char text[256] = "";
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

BOOL CALLBACK CollectText(HWND child, LPARAM lParam)
{
    auto* texts = reinterpret_cast<std::string*>(lParam);
    *texts += WindowText(child) + "|";
    return TRUE;
}

class AboutBox : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(OpenRecordingWindow(&owner_, WM_APP, WM_APP)); }
    void TearDown() override
    {
        if (AboutBoxWindow()) DestroyWindow(AboutBoxWindow());
        CloseRecordingWindow(&owner_);
    }
    RecordingWindow owner_;
};

TEST_F(AboutBox, OpensOnceOwnedByTheMainWindow)
{
    ASSERT_EQ(nullptr, AboutBoxWindow());
    EXPECT_EQ(0, ShowAboutBox(owner_.window));
    HWND box = AboutBoxWindow();
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(IsWindowVisible(box));
    EXPECT_EQ(owner_.window, GetWindow(box, GW_OWNER));
    EXPECT_EQ(kAboutTitle, WindowText(box));

    EXPECT_EQ(1, ShowAboutBox(owner_.window));
    EXPECT_EQ(box, AboutBoxWindow());

    std::string texts;
    EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&texts));
    EXPECT_NE(std::string::npos, texts.find("|Marrowby|")) << texts;
    // The version of the file VERSION, in the form "Version 0.2.3.1".
    EXPECT_NE(std::string::npos, texts.find(std::string("|Version ") + MW_VERSION_TEXT + "|")) << texts;
    EXPECT_NE(std::string::npos, texts.find("|OK|")) << texts;
    // Centred on the screen, size from the template.
    RECT frame;
    GetWindowRect(box, &frame);
    EXPECT_GT(frame.right - frame.left, 134);
    EXPECT_GT(frame.bottom - frame.top, 109);
}

TEST_F(AboutBox, PaintsItsBackgroundAndTextsWhite)
{
    ASSERT_EQ(0, ShowAboutBox(owner_.window));
    HWND box = AboutBoxWindow();
    HDC dc = GetDC(box);
    HWND label = GetWindow(box, GW_CHILD);
    EXPECT_EQ(reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH)),
              SendMessageA(box, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(box)));
    EXPECT_EQ(reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH)),
              SendMessageA(box, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)));
    ReleaseDC(box, dc);

    // And so it looks: a pixel of the client area below the texts is white.
    UpdateWindow(box);
    PumpPending();
    RECT client;
    GetClientRect(box, &client);
    POINT probe = {4, client.bottom / 2 + 6};
    HDC screen = GetDC(box);
    COLORREF colour = GetPixel(screen, probe.x, probe.y);
    ReleaseDC(box, screen);
    if (colour != CLR_INVALID) {  // only when the display lets us read it back
        EXPECT_EQ(RGB(255, 255, 255), colour);
    }
}

TEST_F(AboutBox, OkClosesItAndItCanOpenAgain)
{
    ASSERT_EQ(0, ShowAboutBox(owner_.window));
    HWND box = AboutBoxWindow();
    SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindow(box));
    EXPECT_EQ(nullptr, AboutBoxWindow());
    EXPECT_EQ(0, ShowAboutBox(owner_.window));
    EXPECT_NE(nullptr, AboutBoxWindow());
}

TEST_F(AboutBox, ClosedWithItsOwner)
{
    ASSERT_EQ(0, ShowAboutBox(owner_.window));
    CloseRecordingWindow(&owner_);
    EXPECT_EQ(nullptr, AboutBoxWindow());
}

}  // namespace
