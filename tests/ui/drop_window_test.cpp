// Links dropped on the main window, through the drop target it registered.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include "marrowby/app/download_list.h"
#include "marrowby/app/main_window.h"
#include "tests/ui/test_data_object.h"
#include "tests/ui/ui_support.h"
#include "tests/ui/window_host.h"

namespace {

const POINTL kPoint = {40, 80};

class DropOnWindow : public HostedWindowTest {
protected:
    void Start(bool autoStart)
    {
        WriteHostSettings(host_, autoStart, 2);
        ASSERT_EQ(0, CreateHostWindow(&host_));
        ASSERT_NE(nullptr, MainDropTarget());
        ASSERT_EQ(S_OK, MainDropTarget()->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target_)));
    }
    void TearDown() override
    {
        if (target_) target_->Release();
        HostedWindowTest::TearDown();
    }

    // One whole drag: enter, move over, drop. Returns Drop's result.
    HRESULT Drag(TestDataObject* data, DWORD* enterEffect, DWORD* overEffect, DWORD* dropEffect)
    {
        *enterEffect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
        EXPECT_EQ(S_OK, target_->DragEnter(data, MK_LBUTTON, kPoint, enterEffect));
        *overEffect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
        EXPECT_EQ(S_OK, target_->DragOver(MK_LBUTTON, kPoint, overEffect));
        *dropEffect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
        return target_->Drop(data, 0, kPoint, dropEffect);
    }

    IDropTarget* target_ = nullptr;
};

TEST_F(DropOnWindow, DroppedLinkIsAddedAndStartedWithAutoStart)
{
    Start(true);
    TestDataObject data("http://127.0.0.1:9/dropped.bin", true);
    DWORD enter, over, drop;
    EXPECT_EQ(S_OK, Drag(&data, &enter, &over, &drop));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_MOVE), enter);
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_LINK), over);
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_LINK), drop);
    HWND list = MainListControl();
    ASSERT_EQ(1, RowCount(list));
    EXPECT_EQ("http://127.0.0.1:9/dropped.bin", CellText(list, 0, 5));
    ASSERT_NE(nullptr, FirstListItem());
    EXPECT_EQ(1, FirstListItem()->tries);  // the pass ran before Drop returned
    EXPECT_EQ(1, data.references());
}

TEST_F(DropOnWindow, DroppedLinkWaitsWithoutAutoStart)
{
    Start(false);
    TestDataObject data("http://127.0.0.1:9/waiting.bin", true);
    DWORD enter, over, drop;
    EXPECT_EQ(S_OK, Drag(&data, &enter, &over, &drop));
    ASSERT_EQ(1, RowCount(MainListControl()));
    EXPECT_EQ(ItemState::Waiting, FirstListItem()->state);
    EXPECT_EQ(0, FirstListItem()->tries);
}

TEST_F(DropOnWindow, TextThatIsNoHttpUrlAddsNothing)
{
    Start(true);
    for (const char* text : {"ftp://127.0.0.1/file.bin", "just some words", ""}) {
        TestDataObject data(text, true);
        DWORD enter, over, drop;
        EXPECT_EQ(S_OK, Drag(&data, &enter, &over, &drop)) << text;
        EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_LINK), drop) << text;
    }
    EXPECT_EQ(0, RowCount(MainListControl()));
    EXPECT_EQ(nullptr, FirstListItem());
}

TEST_F(DropOnWindow, DataWithoutTextFailsTheDrop)
{
    Start(true);
    TestDataObject data("http://127.0.0.1:9/hidden.bin", false);
    DWORD enter, over, drop;
    EXPECT_EQ(E_FAIL, Drag(&data, &enter, &over, &drop));
    EXPECT_EQ(0, RowCount(MainListControl()));
    EXPECT_EQ(1, data.references());
}

TEST_F(DropOnWindow, ClosingTheWindowGivesBackEveryReferenceToTheTarget)
{
    Start(false);
    HWND window = host_.window;
    EXPECT_GT(target_->AddRef(), 3u);  // ours, the window's, OLE's
    target_->Release();
    CloseHostWindow(&host_);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, MainDropTarget());
    // Revoked, unlocked and released by the window: only ours is left.
    EXPECT_EQ(0u, target_->Release());
    target_ = nullptr;
}

TEST_F(DropOnWindow, TargetAnswersOnlyItsOwnInterfaces)
{
    Start(false);
    IUnknown* unknown = nullptr;
    EXPECT_EQ(S_OK, target_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(target_), unknown);
    unknown->Release();
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, target_->QueryInterface(IID_IDataObject, &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(E_NOINTERFACE, target_->QueryInterface(IID_IOleWindow, &other));
    EXPECT_EQ(nullptr, other);
}

}  // namespace
