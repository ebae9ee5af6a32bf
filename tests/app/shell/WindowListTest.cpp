// CWindowList: the ordered handle lists behind every screen and the About window.
#include <gtest/gtest.h>

#include <windows.h>

#include "common/WindowList.h"

namespace {

HWND FakeHandle(int n) {
    // Never used as a window: the list only stores and hands back handles.
    return (HWND)(UINT_PTR)(0x1000 + n);
}

}  // namespace

TEST(WindowList, GivesHandlesInAppendOrderAndNullPastTheEnd) {
    CWindowList list;
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetAt(0), nullptr);
    for (int i = 0; i < 5; i++) list.Append(FakeHandle(i));
    ASSERT_EQ(list.GetCount(), 5);
    for (int i = 0; i < 5; i++) EXPECT_EQ(list.GetAt(i), FakeHandle(i));
    EXPECT_EQ(list.GetAt(5), nullptr);
    EXPECT_EQ(list.GetAt(-1), nullptr);
}

TEST(WindowList, KeepsANullHandleInItsPlace) {
    CWindowList list;
    list.Append(FakeHandle(0));
    list.Append(NULL);
    list.Append(FakeHandle(2));
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetAt(1), nullptr);
    EXPECT_EQ(list.GetAt(2), FakeHandle(2));
}

TEST(WindowList, RemoveLastUnlinksOnlyTheTailAndLeavesAnEmptyListAlone) {
    CWindowList list;
    list.RemoveLast();
    EXPECT_EQ(list.GetCount(), 0);
    list.Append(FakeHandle(0));
    list.Append(FakeHandle(1));
    list.RemoveLast();
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0), FakeHandle(0));
    EXPECT_EQ(list.GetAt(1), nullptr);
    // The new tail takes the next append.
    list.Append(FakeHandle(7));
    EXPECT_EQ(list.GetAt(1), FakeHandle(7));
    list.RemoveLast();
    list.RemoveLast();
    EXPECT_EQ(list.GetCount(), 0);
    list.RemoveLast();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetAt(0), nullptr);
}

TEST(WindowList, ClearEmptiesAndTheListCanBeFilledAgain) {
    CWindowList list;
    list.Clear();
    for (int i = 0; i < 3; i++) list.Append(FakeHandle(i));
    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetAt(0), nullptr);
    list.Append(FakeHandle(9));
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0), FakeHandle(9));
}
