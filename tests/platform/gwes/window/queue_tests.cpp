// The queue: posted messages in order, WM_QUIT and its exit code, filters, key translation,
// and painting of invalid windows before the program waits.
#include "support/msglog.h"

#include "testing/device.h"

using namespace gwestest;

namespace {

class Queue : public ::testing::Test {
  protected:
    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
    ScriptedInput input;
    HWND top = nullptr;
    void SetUp() override {
        MessageLog::get().clear();
        MessageLog::get().names.clear();
        registerLogging(u"LogWindow");
        top = CreateWindowExW(0, u"LogWindow", u"t", WS_VISIBLE, 0, 26, 240, 294, nullptr, nullptr,
                              nullptr, nullptr);
        MessageLog::get().name(top, "top");
        ce::gwes::state()->input = &input;
    }
    void TearDown() override { ce::gwes::state()->input = nullptr; }
};

TEST_F(Queue, QuitEndsGetMessageWithTheExitCodeAfterPostedMessages) {
    PostMessageW(top, WM_USER + 1, 0, 0);
    PostQuitMessage(3);
    PostMessageW(top, WM_USER + 2, 0, 0);
    MSG m;
    ASSERT_TRUE(GetMessageW(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, WM_USER + 1u);
    ASSERT_TRUE(GetMessageW(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, WM_USER + 2u);
    EXPECT_FALSE(GetMessageW(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 3u);
    // nothing more: the next call waits for input, and there is none
    EXPECT_THROW(GetMessageW(&m, nullptr, 0, 0), ce::gwes::ProgramEnd);
}

TEST_F(Queue, ALoopThatIgnoresQuitKeepsRunning) {
    PostQuitMessage(0);
    PostMessageW(top, WM_USER + 5, 0, 0);
    int seen = 0, quits = 0;
    try {
        for (int i = 0; i < 10; ++i) {
            MSG m;
            if (!GetMessageW(&m, nullptr, 0, 0)) {
                ++quits;
                PostMessageW(top, WM_USER + 5, 0, 0);  // the loop goes on and gets more work
                continue;
            }
            if (m.message == WM_USER + 5)
                ++seen;
        }
    } catch (const ce::gwes::ProgramEnd&) {
    }
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(seen, 2);
}

TEST_F(Queue, PeekMessageFiltersByRangeAndCanLeaveTheMessage) {
    PostMessageW(top, WM_USER + 1, 11, 0);
    PostMessageW(top, WM_USER + 9, 99, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_USER + 9, WM_USER + 9, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, 99u);
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_USER + 9, WM_USER + 9, PM_REMOVE));
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 11u);
    EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Queue, MessagesForAWindowDestroyedAfterPostingAreDropped) {
    HWND other =
        CreateWindowExW(0, u"LogWindow", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    PostMessageW(other, WM_USER, 0, 0);
    PostMessageW(top, WM_USER + 1, 0, 0);
    DestroyWindow(other);
    MSG m;
    ASSERT_TRUE(GetMessageW(&m, nullptr, 0, 0));
    EXPECT_EQ(m.hwnd, top);
}

TEST_F(Queue, InvalidWindowsArePaintedParentFirstBeforeWaiting) {
    HWND child = CreateWindowExW(0, u"LogWindow", u"", WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, top,
                                 nullptr, nullptr, nullptr);
    MessageLog::get().name(child, "child");
    runUntilIdle();  // paints everything once
    MessageLog::get().clear();
    InvalidateRect(child, nullptr, TRUE);
    InvalidateRect(top, nullptr, TRUE);
    runUntilIdle();
    EXPECT_TRUE(sequenceIs({
        {"top", WM_NCPAINT, kOptional},
        {"top", WM_PAINT},
        {"top", WM_ERASEBKGND},
        {"child", WM_NCPAINT, kOptional},
        {"child", WM_PAINT},
        {"child", WM_ERASEBKGND},
    }));
    // painted windows are valid again: a further idle round paints nothing
    MessageLog::get().clear();
    runUntilIdle();
    EXPECT_EQ(countOf(top, WM_PAINT) + countOf(child, WM_PAINT), 0u);
    RECT r;
    EXPECT_FALSE(GetUpdateRect(top, &r, FALSE));
}

TEST_F(Queue, KeysGoToTheFocusWindowAndControlKeysAreTranslated) {
    HWND child = CreateWindowExW(0, u"LogWindow", u"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, top,
                                 nullptr, nullptr, nullptr);
    MessageLog::get().name(child, "child");
    SetFocus(child);
    runUntilIdle();  // the first paint
    MessageLog::get().clear();
    using K = ce::gwes::InputEvent::Kind;
    input.events.push_back({K::KeyDown, 0, 0, VK_RETURN});
    input.events.push_back({K::KeyUp, 0, 0, VK_RETURN});
    input.events.push_back({K::Char, 0, 0, 0, u'x'});
    runUntilIdle();
    EXPECT_TRUE(sequenceIs({
        {"child", WM_KEYDOWN, kWParam, VK_RETURN},
        {"child", WM_CHAR, kWParam, u'\r'},
        {"child", WM_KEYUP, kWParam, VK_RETURN},
        {"child", WM_CHAR, kWParam, u'x'},
    }));
}

TEST_F(Queue, PowerKeyLogsPowerOffAndIsNotDelivered) {
    MessageLog::get().clear();
    keybd_event(VK_OFF, 0, KEYEVENTF_SILENT, 0);
    keybd_event(VK_OFF, 0, KEYEVENTF_KEYUP | KEYEVENTF_SILENT, 0);
    MSG m;
    EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_NE(device.log().find("power off"), std::string::npos);
    keybd_event('A', 0, 0, 0);
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(m.wParam, static_cast<WPARAM>('A'));
}

}  // namespace
