// The drop target through its COM interfaces: reference counting, the
// effects it reports during a drag, and the text it sends on a drop.
#include <gtest/gtest.h>

#include <string>
#include <windows.h>
#include <ole2.h>

#include "marrowby/dialogs/url_drop_target.h"
#include "tests/ui/test_data_object.h"
#include "tests/ui/ui_support.h"

namespace {

constexpr UINT kDropMessage = WM_APP + 105;
const POINTL kPoint = {10, 10};

class DropTarget : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OleInitialize(nullptr); }
    static void TearDownTestSuite() { OleUninitialize(); }

    void SetUp() override
    {
        ASSERT_TRUE(OpenRecordingWindow(&recorder_, WM_APP, WM_APP + 200));
        target_ = CreateUrlDropTarget();
        ASSERT_NE(nullptr, target_);
        target_->Attach(recorder_.window, kDropMessage);
    }
    void TearDown() override
    {
        if (target_) {
            EXPECT_EQ(0u, target_->Release());
        }
        CloseRecordingWindow(&recorder_);
    }

    RecordingWindow recorder_;
    UrlDropTarget* target_ = nullptr;
};

TEST_F(DropTarget, ReferencesAreCounted)
{
    EXPECT_EQ(2u, target_->AddRef());
    EXPECT_EQ(3u, target_->AddRef());
    EXPECT_EQ(2u, target_->Release());
    EXPECT_EQ(1u, target_->Release());
}

TEST_F(DropTarget, AnswersOnlyForDropTargetAndUnknown)
{
    void* object = nullptr;
    EXPECT_EQ(S_OK, target_->QueryInterface(IID_IDropTarget, &object));
    EXPECT_EQ(static_cast<IDropTarget*>(target_), object);
    EXPECT_EQ(S_OK, target_->QueryInterface(IID_IUnknown, &object));
    EXPECT_EQ(static_cast<IDropTarget*>(target_), object);
    EXPECT_EQ(2u, target_->Release());  // the two answers each added one
    EXPECT_EQ(1u, target_->Release());

    for (const IID* iid : {&IID_IDataObject, &IID_IDropSource, &IID_IClassFactory}) {
        object = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, target_->QueryInterface(*iid, &object));
        EXPECT_EQ(nullptr, object);
    }
    EXPECT_EQ(2u, target_->AddRef());
    EXPECT_EQ(1u, target_->Release());
}

TEST_F(DropTarget, EffectsDuringADrag)
{
    TestDataObject data("http://127.0.0.1/a.bin", true);
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(S_OK, target_->DragOver(0, kPoint, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);  // no drag entered

    effect = DROPEFFECT_COPY | DROPEFFECT_LINK;
    EXPECT_EQ(S_OK, target_->DragEnter(&data, MK_LBUTTON, kPoint, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_MOVE), effect);
    EXPECT_EQ(2, data.references());
    EXPECT_EQ(0, data.getDataCalls());  // formats are not looked at yet

    EXPECT_EQ(S_OK, target_->DragOver(MK_LBUTTON, kPoint, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_LINK), effect);

    EXPECT_EQ(S_OK, target_->DragLeave());
    EXPECT_EQ(1, data.references());
    EXPECT_EQ(S_OK, target_->DragOver(MK_LBUTTON, kPoint, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
    EXPECT_TRUE(recorder_.received.empty());
}

TEST_F(DropTarget, DropSendsTheTextToTheWindow)
{
    TestDataObject data("http://127.0.0.1:8080/dir/file.zip?a=b", true);
    DWORD effect = DROPEFFECT_COPY;
    target_->DragEnter(&data, MK_LBUTTON, kPoint, &effect);
    EXPECT_EQ(S_OK, target_->Drop(&data, 0, kPoint, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_LINK), effect);
    ASSERT_EQ(1u, recorder_.received.size());
    EXPECT_EQ(kDropMessage, recorder_.received[0].message);
    EXPECT_EQ(0u, recorder_.received[0].wParam);
    EXPECT_EQ("http://127.0.0.1:8080/dir/file.zip?a=b", recorder_.received[0].text);
    EXPECT_EQ(1, data.mediaReleased());
    EXPECT_EQ(1, data.references());  // DragEnter's reference was given back
    // The drag is over: the next one must start with DragEnter.
    EXPECT_EQ(E_FAIL, target_->Drop(&data, 0, kPoint, &effect));
    EXPECT_EQ(1u, recorder_.received.size());
}

TEST_F(DropTarget, AnyTextIsPassedOnAsItIs)
{
    // Deciding what is a URL is the window's business.
    TestDataObject data("ftp://127.0.0.1/x and some words\r\n", true);
    DWORD effect = 0;
    target_->DragEnter(&data, MK_LBUTTON, kPoint, &effect);
    EXPECT_EQ(S_OK, target_->Drop(&data, 0, kPoint, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_LINK), effect);
    ASSERT_EQ(1u, recorder_.received.size());
    EXPECT_EQ("ftp://127.0.0.1/x and some words\r\n", recorder_.received[0].text);
}

TEST_F(DropTarget, UnterminatedTextArrivesTerminated)
{
    TestDataObject data("http://127.0.0.1/no-nul", true, false);
    DWORD effect = 0;
    target_->DragEnter(&data, MK_LBUTTON, kPoint, &effect);
    EXPECT_EQ(S_OK, target_->Drop(&data, 0, kPoint, &effect));
    ASSERT_EQ(1u, recorder_.received.size());
    // GlobalAlloc may round the block up; the text is what was put there.
    EXPECT_EQ(0u, recorder_.received[0].text.find("http://127.0.0.1/no-nul"));
}

TEST_F(DropTarget, DropWithoutTextFails)
{
    TestDataObject data("", false);
    DWORD effect = 0;
    target_->DragEnter(&data, MK_LBUTTON, kPoint, &effect);
    EXPECT_EQ(E_FAIL, target_->Drop(&data, 0, kPoint, &effect));
    EXPECT_EQ(1, data.getDataCalls());
    EXPECT_TRUE(recorder_.received.empty());
    EXPECT_EQ(1, data.references());  // not kept after a failed drop
    EXPECT_EQ(S_OK, target_->DragOver(0, kPoint, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
}

TEST_F(DropTarget, DropWithoutDragEnterFails)
{
    TestDataObject data("http://127.0.0.1/a", true);
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(E_FAIL, target_->Drop(&data, 0, kPoint, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
    EXPECT_EQ(0, data.getDataCalls());
    EXPECT_EQ(1, data.references());
    EXPECT_TRUE(recorder_.received.empty());
}

TEST_F(DropTarget, SecondDragEnterReplacesTheFirstDataObject)
{
    TestDataObject first("http://127.0.0.1/1", true);
    TestDataObject second("http://127.0.0.1/2", true);
    DWORD effect = 0;
    target_->DragEnter(&first, MK_LBUTTON, kPoint, &effect);
    target_->DragEnter(&second, MK_LBUTTON, kPoint, &effect);
    EXPECT_EQ(1, first.references());
    EXPECT_EQ(2, second.references());
    target_->DragLeave();
    EXPECT_EQ(1, second.references());
}

TEST_F(DropTarget, RegistersWithOleForItsWindow)
{
    ASSERT_EQ(S_OK, CoLockObjectExternal(target_, TRUE, FALSE));
    ASSERT_EQ(S_OK, RegisterDragDrop(recorder_.window, target_));
    EXPECT_EQ(DRAGDROP_E_ALREADYREGISTERED, RegisterDragDrop(recorder_.window, target_));
    EXPECT_EQ(S_OK, RevokeDragDrop(recorder_.window));
    EXPECT_EQ(S_OK, CoLockObjectExternal(target_, FALSE, TRUE));
    // Every reference OLE took is given back: ours is the last one.
    EXPECT_EQ(2u, target_->AddRef());
    EXPECT_EQ(1u, target_->Release());
}

}  // namespace
