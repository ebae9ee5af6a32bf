// The reactions to the option controls: every "Browse" fills the edit on its left, an ID
// outside the catalogue is reported, and all other controls only change themselves.
#include "AppCoreTest.h"

#include "screens/FolderBrowser.h"

namespace appcore {
namespace {

class ControlCallback : public AppCoreTest {
  protected:
    HWND Display() { return g_pDisplayWindow->GetHandle(); }
};

TEST_F(ControlCallback, EveryBrowseButtonFillsTheEditOnItsLeft) {
    struct Browse {
        const char16_t* tab;
        int id;
        int screen, editPos;
    } buttons[] = {
        {u"Clean Temp Files", 50003, 0, 1}, {u"Clean Temp Files", 50006, 0, 4},
        {u"Pocket IE", 50025, 1, 3},        {u"Pocket IE", 50034, 1, 12},
        {u"System Folders", 50038, 3, 1},   {u"System Folders", 50041, 3, 4},
        {u"System Folders", 50044, 3, 7},
    };
    StartPlain();
    for (const Browse& b : buttons) {
        SCOPED_TRACE(b.id);
        ShowScreen(b.tab);
        Tap(b.id);
        ASSERT_NE(g_hBrowserTree, nullptr) << ::testing::PrintToString(driver().describeScreen());
        driver().tapText(u"Windows");
        driver().tapText(u"OK");
        EXPECT_EQ(WindowText(Control(b.screen, b.editPos)), u"\\Windows\\");
    }
    // Each wrote only its own edit: the other edits of the screens are still empty.
    EXPECT_EQ(WindowText(Control(SCREEN_CLEAN_TEMP, POS_FILES_CUSTOM_EDIT)), u"");
}

TEST_F(ControlCallback, IdsOutsideTheCatalogueAreReported) {
    StartPlain();
    // Stray controls of the display window, such as a later version might add.
    int n = 0;
    for (int id : {50000, 50053, 60000}) {
        std::u16string label = u"Stray " + std::u16string(1, u'A' + n);
        CreateWindowExW(0, u"BUTTON", label.c_str(), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 216,
                        2 + 20 * n, 22, 18, Display(), (HMENU)(INT_PTR)id, g_hInstance, NULL);
        n++;
        driver().tapText(label);
        MessageBoxInfo box = driver().answerBox(u"Error", u"", IDOK);
        EXPECT_EQ(box.text, u"CScreens::ControlCallback() Unknown control ID") << id;
        EXPECT_EQ(box.type & 0xF, (UINT)MB_OK);
    }
}

TEST_F(ControlCallback, OtherOptionControlsChangeNothingButThemselves) {
    MakeFile(Host(u"\\Temp\\stay.tmp"), 3);
    StartPlain();
    Tap(50007);
    Tap(50002);
    driver().type(u"\\x");
    ShowScreen(u"Performance");
    Tap(50052);
    EXPECT_FALSE(driver().messageBox().has_value());
    EXPECT_TRUE(fs::exists(Host(u"\\Temp\\stay.tmp")));
    EXPECT_TRUE(
        SendMessageW(Control(SCREEN_CLEAN_TEMP, POS_FOUND_FOLDERS_LIST), LB_GETCOUNT, 0, 0) == 0);
    EXPECT_TRUE(IsChecked(SCREEN_PERFORMANCE, POS_WINDOW_ANIMATION_CHECK));
}

TEST_F(ControlCallback, RefreshOfFoldersSearchesFromTheRootWhateverTheEditsHold) {
    fs::create_directories(Host(u"\\Deep\\Down\\Temp Here"));
    StartPlain();
    SetText(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT, u"\\Deep\\");
    Tap(50011);
    std::vector<std::u16string> folders =
        ListEntries(Control(SCREEN_CLEAN_TEMP, POS_FOUND_FOLDERS_LIST));
    EXPECT_NE(std::find(folders.begin(), folders.end(), u"\\Deep\\Down\\Temp Here\\"),
              folders.end());
    EXPECT_NE(std::find(folders.begin(), folders.end(), u"\\Temp\\"), folders.end());
    // A second refresh starts from an empty list.
    size_t count = folders.size();
    Tap(50011);
    EXPECT_EQ(ListEntries(Control(SCREEN_CLEAN_TEMP, POS_FOUND_FOLDERS_LIST)).size(), count);
}

}  // namespace
}  // namespace appcore
