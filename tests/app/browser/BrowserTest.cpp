// The folder browser that each "Browse" button opens: the tree of the device's folders and the
// path that "OK" writes into the edit beside the button.
#include "AppHarness.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include <sys/xattr.h>

#include "common/ControlIds.h"
#include "screens/FolderBrowser.h"

using namespace apptest;

namespace {

std::u16string ItemText(HTREEITEM item) {
    WCHAR text[1024] = {0};
    TVITEMW tvi = {};
    tvi.mask = TVIF_TEXT;
    tvi.hItem = item;
    tvi.pszText = text;
    tvi.cchTextMax = 1024;
    SendMessageW(g_hBrowserTree, TVM_GETITEMW, 0, (LPARAM)&tvi);
    return text;
}

HTREEITEM Root() {
    return (HTREEITEM)SendMessageW(g_hBrowserTree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
}

std::vector<HTREEITEM> Children(HTREEITEM parent) {
    std::vector<HTREEITEM> items;
    HTREEITEM item =
        (HTREEITEM)SendMessageW(g_hBrowserTree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)parent);
    while (item != NULL) {
        items.push_back(item);
        item = (HTREEITEM)SendMessageW(g_hBrowserTree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)item);
    }
    return items;
}

std::vector<std::u16string> ChildNames(HTREEITEM parent) {
    std::vector<std::u16string> names;
    for (HTREEITEM item : Children(parent)) names.push_back(ItemText(item));
    return names;
}

HTREEITEM Child(HTREEITEM parent, const std::u16string& name) {
    for (HTREEITEM item : Children(parent))
        if (ItemText(item) == name)
            return item;
    return NULL;
}

// Asking for an item's children count makes the tree ask the browser when it does not know.
int ChildrenOf(HTREEITEM item) {
    TVITEMW tvi = {};
    tvi.mask = TVIF_CHILDREN;
    tvi.hItem = item;
    SendMessageW(g_hBrowserTree, TVM_GETITEMW, 0, (LPARAM)&tvi);
    return tvi.cChildren;
}

HWND Edit(int screen, int pos) {
    return ScreenControl(screen, pos);
}

void MakeFolder(const char16_t* path, DWORD attributes = 0) {
    ASSERT_TRUE(CreateDirectoryW((LPCWSTR)path, NULL)) << "creating a folder of the test";
    if (attributes != 0)
        ASSERT_TRUE(SetFileAttributesW((LPCWSTR)path, attributes | FILE_ATTRIBUTE_DIRECTORY));
}

void OpenBrowserFor(Driver& driver, int browseId) {
    driver.tapId(browseId);
    ASSERT_NE(g_hBrowserTree, nullptr);
    ASSERT_EQ(driver.navTitle(), u"TreeView");
}

void ExpectBrowserClosed(Driver& driver) {
    EXPECT_EQ(g_hBrowserTree, nullptr);
    EXPECT_EQ(driver.find(Query{.text = u"TreeView"}), nullptr);
    EXPECT_TRUE(IsWindowVisible(Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT)));
}

}  // namespace

TEST(BrowserOk, TheRootWritesABackslash) {
    App app;
    OpenBrowserFor(app.driver(), 50003);
    app.driver().tapText(u"\\");
    app.driver().tapText(u"OK");
    EXPECT_EQ(WindowText(Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT)), u"\\");
    ExpectBrowserClosed(app.driver());
}

TEST(BrowserOk, AFirstLevelFolderWritesItsNameBetweenBackslashes) {
    App app;
    OpenBrowserFor(app.driver(), 50003);
    app.driver().tapText(u"Windows");
    app.driver().tapText(u"OK");
    EXPECT_EQ(WindowText(Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT)), u"\\Windows\\");
    ExpectBrowserClosed(app.driver());
}

TEST(BrowserOk, NothingSelectedWritesAnEmptyText) {
    App app;
    SetWindowTextW(Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT), TEXT("\\Old\\"));
    OpenBrowserFor(app.driver(), 50003);
    ASSERT_EQ(SendMessageW(g_hBrowserTree, TVM_GETNEXTITEM, TVGN_CARET, 0), 0);
    app.driver().tapText(u"OK");
    EXPECT_EQ(WindowText(Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT)), u"");
    ExpectBrowserClosed(app.driver());
}

TEST(BrowserCancel, LeavesTheEditAsItWas) {
    App app;
    SetWindowTextW(Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR2_EDIT), TEXT("\\Old\\"));
    OpenBrowserFor(app.driver(), 50006);
    app.driver().tapText(u"Windows");
    app.driver().tapText(u"Cancel");
    EXPECT_EQ(WindowText(Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR2_EDIT)), u"\\Old\\");
    ExpectBrowserClosed(app.driver());
}

TEST(BrowserCancel, TheCaptionDoneButtonLeavesTheBrowserOpen) {
    App app;
    OpenBrowserFor(app.driver(), 50003);
    HWND tree = g_hBrowserTree;
    app.driver().ok();
    EXPECT_EQ(g_hBrowserTree, tree);
    EXPECT_TRUE(IsWindowVisible(tree));
    EXPECT_EQ(app.driver().navTitle(), u"TreeView");
    app.driver().tapText(u"Cancel");
    ExpectBrowserClosed(app.driver());
}

// Each "Browse" fills the edit directly to its left, on its own screen.
TEST(BrowserOk, EveryBrowseButtonFillsTheEditBesideIt) {
    struct Pair {
        int screen, browseId, editPos;
    };
    const Pair pairs[] = {{0, 50003, 1}, {0, 50006, 4}, {1, 50025, 3}, {1, 50034, 12},
                          {3, 50038, 1}, {3, 50041, 4}, {3, 50044, 7}};
    App app;
    for (const Pair& pair : pairs) {
        ChooseTab(app.driver(), pair.screen);
        OpenBrowserFor(app.driver(), pair.browseId);
        app.driver().tapText(u"Windows");
        app.driver().tapText(u"OK");
        EXPECT_EQ(WindowText(Edit(pair.screen, pair.editPos)), u"\\Windows\\") << pair.browseId;
        EXPECT_EQ(g_hBrowserTree, nullptr);
    }
    // Only the edit beside each button was written.
    EXPECT_EQ(WindowText(Edit(SCREEN_CLEAN_TEMP, POS_FILES_CUSTOM_EDIT)), u"");
}

// The tree: hidden folders never appear, system ones do, siblings come sorted, and a folder's
// button goes once it is known to have no visible subfolders.
TEST(BrowserTree, ShowsSystemFoldersButNeverHiddenOnes) {
    App app(u"", TempDevice::Contents::Factory, [](TempDevice&) {
        MakeFolder(u"\\Secret", FILE_ATTRIBUTE_HIDDEN);
        MakeFolder(u"\\Sysfolder", FILE_ATTRIBUTE_SYSTEM);
        MakeFolder(u"\\Locked", FILE_ATTRIBUTE_READONLY);
    });
    OpenBrowserFor(app.driver(), 50003);
    HTREEITEM root = Root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(ItemText(root), u"\\");
    std::vector<std::u16string> names = ChildNames(root);
    EXPECT_EQ(std::count(names.begin(), names.end(), u"Secret"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), u"Sysfolder"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), u"Locked"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), u"Windows"), 1);
    EXPECT_EQ(app.driver().findText(u"Secret"), nullptr);
}

TEST(BrowserTree, AFolderHiddenOnTheHostByAnotherToolIsNotOffered) {
    App app(u"", TempDevice::Contents::Factory, [](TempDevice& device) {
        MakeFolder(u"\\Shared");
        MakeFolder(u"\\Shared\\Child");
        // as setfattr -n user.DOSATTRIB -v '"0x2"' leaves it: the text alone
        ASSERT_EQ(setxattr(device.host(u"\\Shared").c_str(), "user.DOSATTRIB", "0x2", 3, 0), 0);
    });
    OpenBrowserFor(app.driver(), 50003);
    std::vector<std::u16string> names = ChildNames(Root());
    EXPECT_EQ(std::count(names.begin(), names.end(), u"Shared"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), u"Windows"), 1);
    EXPECT_EQ(app.driver().findText(u"Shared"), nullptr);
}

TEST(BrowserTree, SiblingsAreSorted) {
    App app(u"", TempDevice::Contents::Factory, [](TempDevice&) {
        MakeFolder(u"\\zebra");
        MakeFolder(u"\\Aardvark");
    });
    OpenBrowserFor(app.driver(), 50003);
    std::vector<std::u16string> names = ChildNames(Root());
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names.front(), u"Aardvark");
    EXPECT_EQ(names.back(), u"zebra");
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(),
                               [](const std::u16string& a, const std::u16string& b) {
                                   return _wcsicmp((LPCWSTR)a.c_str(), (LPCWSTR)b.c_str()) < 0;
                               }));
}

TEST(BrowserTree, AFolderWithOnlyHiddenSubfoldersLosesItsButton) {
    App app(u"", TempDevice::Contents::Factory, [](TempDevice&) {
        MakeFolder(u"\\Parent");
        MakeFolder(u"\\Parent\\One", FILE_ATTRIBUTE_HIDDEN);
        MakeFolder(u"\\Parent\\Two", FILE_ATTRIBUTE_HIDDEN);
        MakeFolder(u"\\Full");
        MakeFolder(u"\\Full\\Child");
    });
    OpenBrowserFor(app.driver(), 50003);
    HTREEITEM parent = Child(Root(), u"Parent");
    HTREEITEM full = Child(Root(), u"Full");
    ASSERT_NE(parent, nullptr);
    ASSERT_NE(full, nullptr);
    // Selected and opened with the right-arrow key, as a person opens a folder.
    app.driver().tapText(u"Parent");
    app.driver().key(VK_RIGHT);
    app.driver().tapText(u"Full");
    app.driver().key(VK_RIGHT);
    EXPECT_EQ(ChildrenOf(parent), 0);
    EXPECT_TRUE(Children(parent).empty());
    EXPECT_EQ(ChildrenOf(full), 1);
    // Asked again, the folders are not searched twice: Full has its one child once.
    EXPECT_EQ(ChildrenOf(full), 1);
    EXPECT_EQ(ChildNames(full), std::vector<std::u16string>{u"Child"});

    app.driver().tapText(u"Child");
    app.driver().tapText(u"OK");
    EXPECT_EQ(WindowText(Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT)), u"\\Full\\Child\\");
}

// Folders whose host names are not UTF-8 (written by a host tool): one item each, even when
// they differ only in such a byte, and the path chosen leads back to the folder picked.
TEST(BrowserTree, FoldersNamedInBytesThatAreNotUtf8KeepTheirOwnNames) {
    App app(u"", TempDevice::Contents::Factory, [](TempDevice& device) {
        std::filesystem::create_directories(device.host(u"\\") / "caf\xE9" / "In\xFF");
        std::filesystem::create_directories(device.host(u"\\") / "caf\xE8");
        MakeFolder(u"\\caf\u00E9");  // the same word in UTF-8
    });
    OpenBrowserFor(app.driver(), 50003);
    std::vector<std::u16string> names = ChildNames(Root());
    for (const char16_t* name : {u"caf\xDCE9", u"caf\xDCE8", u"caf\u00E9"})
        EXPECT_EQ(std::count(names.begin(), names.end(), name), 1);
    app.driver().tapText(u"caf\xDCE9");
    app.driver().key(VK_RIGHT);
    EXPECT_EQ(ChildNames(Child(Root(), u"caf\xDCE9")), std::vector<std::u16string>{u"In\xDCFF"});
    app.driver().tapText(u"In\xDCFF");
    app.driver().tapText(u"OK");
    std::u16string chosen = WindowText(Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT));
    EXPECT_EQ(chosen, u"\\caf\xDCE9\\In\xDCFF\\");
    EXPECT_EQ(GetFileAttributesW((LPCWSTR)chosen.c_str()), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_TRUE(std::filesystem::is_directory(app.device().host(u"\\") / "caf\xE9" / "In\xFF"));
}

TEST(BrowserOpen, ASecondBrowseWhileOneIsOpenKeepsTheFirst) {
    App app;
    OpenBrowserFor(app.driver(), 50003);
    HWND tree = g_hBrowserTree;
    CFolderBrowser second;
    EXPECT_EQ(second.Browse(NULL, Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR2_EDIT)), 0);
    EXPECT_EQ(g_hBrowserTree, tree);
    EXPECT_EQ(g_hBrowserTarget, Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT));
    app.driver().tapText(u"\\");
    app.driver().tapText(u"OK");
    EXPECT_EQ(WindowText(Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT)), u"\\");
    EXPECT_EQ(WindowText(Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR2_EDIT)), u"");
    ExpectBrowserClosed(app.driver());
}

// Paths are built from the tree alone.
TEST(BrowserPaths, TheRootAndAFolderGiveTheirPathsAndPatterns) {
    App app;
    OpenBrowserFor(app.driver(), 50003);
    HTREEITEM root = Root();
    HTREEITEM windows = Child(root, u"Windows");
    ASSERT_NE(windows, nullptr);
    struct Case {
        HTREEITEM item;
        BOOL pattern;
        const char16_t* path;
    };
    const Case cases[] = {{root, FALSE, u"\\"},
                          {root, TRUE, u"\\*"},
                          {windows, FALSE, u"\\Windows\\"},
                          {windows, TRUE, u"\\Windows\\*"},
                          {NULL, FALSE, u""},
                          {NULL, TRUE, u""}};
    for (const Case& c : cases) {
        LPWSTR path = CFolderBrowser::GetItemPath(c.item, c.pattern);
        ASSERT_NE(path, nullptr);
        EXPECT_EQ(std::u16string((const char16_t*)path), c.path);
        delete[] path;
    }
    app.driver().tapText(u"Cancel");
}

// A path longer than the 1024-unit buffer is never cut: nothing is searched or written.
TEST(BrowserPaths, APathTooLongForTheBufferIsNotActedOn) {
    App app;
    SetWindowTextW(Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT), TEXT("\\Old\\"));
    OpenBrowserFor(app.driver(), 50003);
    std::u16string longName(250, u'x');
    HTREEITEM item = Root();
    for (int level = 0; level < 5; level++) {
        TVINSERTSTRUCTW insert = {};
        insert.hParent = item;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
        insert.item.pszText = (LPWSTR)longName.c_str();
        insert.item.cChildren = level < 4 ? 1 : I_CHILDRENCALLBACK;
        insert.item.lParam = level < 4 ? 1 : -1;
        item = (HTREEITEM)SendMessageW(g_hBrowserTree, TVM_INSERTITEMW, 0, (LPARAM)&insert);
        ASSERT_NE(item, nullptr);
    }
    LPWSTR path = CFolderBrowser::GetItemPath(item, FALSE);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path[0], 0);
    delete[] path;
    EXPECT_EQ(CFolderBrowser::AddSubfolders(TEXT(""), item), 0);

    SendMessageW(g_hBrowserTree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)item);
    app.driver().tapText(u"OK");
    app.driver().answerBox(u"Error", u"too long", IDOK);
    EXPECT_EQ(WindowText(Edit(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT)), u"\\Old\\");
    EXPECT_NE(g_hBrowserTree, nullptr);
    app.driver().tapText(u"Cancel");
    ExpectBrowserClosed(app.driver());
}
