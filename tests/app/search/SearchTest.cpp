// The two "Refresh" searches of the Clean Temp Files screen, run by tapping their buttons, and
// what their selections do when applied.
#include "AppCoreTest.h"

#include "search/Search.h"

#include <sys/xattr.h>

namespace appcore {
namespace {

class Search : public AppCoreTest {
  protected:
    // The longest-entry lengths live as long as the process, as on the device; each test is a
    // fresh start of the program, so they start from 0 as a new process would.
    explicit Search(TempDevice::Contents contents = TempDevice::Contents::Factory)
        : AppCoreTest(contents) {
        g_maxFolderEntryLength = 0;
        g_maxFileEntryLength = 0;
    }
    std::vector<std::u16string> Folders() {
        return ListEntries(Control(SCREEN_CLEAN_TEMP, POS_FOUND_FOLDERS_LIST));
    }
    std::vector<std::u16string> Files() {
        return ListEntries(Control(SCREEN_CLEAN_TEMP, POS_FOUND_FILES_LIST));
    }
    bool Has(const std::vector<std::u16string>& list, const std::u16string& entry) {
        return std::find(list.begin(), list.end(), entry) != list.end();
    }
    // The "SEARCHING" window never outlives the search.
    void ExpectNoSearchWindow() {
        EXPECT_EQ(g_searchWindowUsers, 0);
        EXPECT_EQ(g_hSearchWindow, nullptr);
        Query query;
        query.text = u"SEARCHING";
        query.includeHidden = true;
        EXPECT_EQ(driver().find(query), nullptr);
    }
};

class EmptyDeviceSearch : public Search {
  protected:
    // The empty image still has the animation values the Apply pass reads, so that its only box
    // is the clean-up's result.
    EmptyDeviceSearch() : Search(TempDevice::Contents::Empty) {
        SetRegDword(HKEY_LOCAL_MACHINE, u"System\\GWE\\Menu", u"AniType", 6);
        SetRegDword(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Animate", 1);
    }
};

// The folders of the image whose names hold Temp or temp, found by walking the host tree and
// passing over hidden folders and everything below them.
std::vector<std::u16string> TempFoldersOnImage(const fs::path& root) {
    std::vector<std::u16string> found;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        if (!it->is_directory() || it->is_symlink())
            continue;
        std::string relative = fs::relative(it->path(), root).string();
        std::u16string device = u"\\";
        for (char c : relative) device += c == '/' ? u'\\' : (char16_t)c;
        if (GetFileAttributesW(device.c_str()) & FILE_ATTRIBUTE_HIDDEN) {
            it.disable_recursion_pending();
            continue;
        }
        std::string name = it->path().filename().string();
        if (name.find("Temp") != std::string::npos || name.find("temp") != std::string::npos)
            found.push_back(device + u"\\");
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
    return found;
}

TEST_F(Search, FoldersOfTheFactoryImageAreListedSortedWithoutHiddenOnes) {
    StartPlain();
    Tap(50011);
    std::vector<std::u16string> folders = Folders();
    EXPECT_EQ(folders, TempFoldersOnImage(Host(u"\\")));
    for (const char16_t* expected : {u"\\Temp\\", u"\\Windows\\Temp\\", u"\\My Documents\\Temp\\",
                                     u"\\My Documents\\Templates\\"})
        EXPECT_TRUE(Has(folders, expected))
            << std::string(expected, expected + std::char_traits<char16_t>::length(expected));
    EXPECT_FALSE(Has(folders, u"\\My Documents\\Hidden Temp\\"));
    ExpectNoSearchWindow();
}

TEST_F(EmptyDeviceSearch, FolderNamesMatchTempCaseSensitivelyAtAnyDepth) {
    for (const char16_t* folder :
         {u"\\Templates", u"\\Attempts", u"\\TEMP", u"\\temporary", u"\\Templates\\Inner Temp",
          u"\\Plain\\deep\\my temp", u"\\Hidden Temp", u"\\Hidden Temp\\Temp"})
        fs::create_directories(Host(folder));
    SetFileAttributesW(u"\\Hidden Temp", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    MakeFile(Host(u"\\Plain\\Temp.txt"), 1);  // a file is no folder
    StartPlain();
    Tap(50011);
    std::vector<std::u16string> folders = Folders();
    EXPECT_TRUE(Has(folders, u"\\Templates\\"));
    EXPECT_TRUE(Has(folders, u"\\Attempts\\"));
    EXPECT_TRUE(Has(folders, u"\\temporary\\"));
    EXPECT_TRUE(Has(folders, u"\\Templates\\Inner Temp\\"));
    EXPECT_TRUE(Has(folders, u"\\Plain\\deep\\my temp\\"));
    EXPECT_FALSE(Has(folders, u"\\TEMP\\"));
    EXPECT_FALSE(Has(folders, u"\\Hidden Temp\\"));
    EXPECT_FALSE(Has(folders, u"\\Hidden Temp\\Temp\\"));
    EXPECT_FALSE(Has(folders, u"\\Plain\\Temp.txt\\"));
}

// A folder hidden on the host by another tool (setfattr -n user.DOSATTRIB -v '"0x2"'), with no
// help from the platform: neither it nor what lies below it is searched.
TEST_F(EmptyDeviceSearch, AFolderHiddenOnTheHostIsPassedOver) {
    MakeFile(Host(u"\\Shared Temp\\Inner Temp\\a.tmp"), 1);
    MakeFile(Host(u"\\Open Temp\\b.tmp"), 1);
    ASSERT_EQ(setxattr(Host(u"\\Shared Temp").c_str(), "user.DOSATTRIB", "0x2", 3, 0), 0);
    StartPlain();
    Tap(50011);
    std::vector<std::u16string> folders = Folders();
    EXPECT_TRUE(Has(folders, u"\\Open Temp\\"));
    EXPECT_FALSE(Has(folders, u"\\Shared Temp\\"));
    EXPECT_FALSE(Has(folders, u"\\Shared Temp\\Inner Temp\\"));
    Tap(50015);  // "*.tmp"
    Tap(50014);
    EXPECT_EQ(Files(), std::vector<std::u16string>{u"\\Open Temp\\b.tmp"});
}

TEST_F(EmptyDeviceSearch, ExtensionMatchesTheFirstThreeCharactersAfterTheLastDot) {
    for (const char16_t* file : {u"\\F\\a.tmp", u"\\F\\B.TMP", u"\\F\\c.tmpx", u"\\F\\d.tm",
                                 u"\\F\\e.tmp.txt", u"\\F\\ftmp", u"\\F\\Sub\\g.Tmp"})
        MakeFile(Host(file), 1);
    MakeFile(Host(u"\\F\\hidden.tmp"), 1);
    SetFileAttributesW(u"\\F\\hidden.tmp", FILE_ATTRIBUTE_HIDDEN);
    StartPlain();
    Tap(50015);  // "*.tmp"
    Tap(50014);
    std::vector<std::u16string> expected = {u"\\F\\a.tmp", u"\\F\\B.TMP", u"\\F\\c.tmpx",
                                            u"\\F\\hidden.tmp", u"\\F\\Sub\\g.Tmp"};
    std::vector<std::u16string> files = Files();
    std::sort(files.begin(), files.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
    ExpectNoSearchWindow();
}

TEST_F(EmptyDeviceSearch, TwoExtensionsGatherInOneListAndTheSameTwiceListsTwice) {
    MakeFile(Host(u"\\D\\one.tmp"), 1);
    MakeFile(Host(u"\\D\\two.log"), 1);
    MakeFile(Host(u"\\D\\three.bak"), 1);
    StartPlain();
    Tap(50015);
    Tap(50016);
    Tap(50014);
    EXPECT_EQ(Files(), (std::vector<std::u16string>{u"\\D\\one.tmp", u"\\D\\two.log"}));

    Tap(50016);  // "*.log" off
    Tap(50018);  // "*." with "tmp" typed: the same extension as "*.tmp"
    Tap(50019);
    driver().type(u"tmp");
    Tap(50014);
    EXPECT_EQ(Files(), (std::vector<std::u16string>{u"\\D\\one.tmp", u"\\D\\one.tmp"}));
    ExpectNoSearchWindow();
}

TEST_F(EmptyDeviceSearch, CustomExtensionUsesItsFirstThreeCharactersOrMatchesTrailingDots) {
    MakeFile(Host(u"\\E\\notes.txt"), 1);
    MakeFile(Host(u"\\E\\odd."), 1);
    MakeFile(Host(u"\\E\\plain"), 1);
    StartPlain();
    Tap(50018);
    SetText(SCREEN_CLEAN_TEMP, POS_FILES_CUSTOM_EDIT, u"txtx");
    Tap(50014);
    EXPECT_EQ(Files(), (std::vector<std::u16string>{u"\\E\\notes.txt"}));

    SetText(SCREEN_CLEAN_TEMP, POS_FILES_CUSTOM_EDIT, u"");
    Tap(50014);
    EXPECT_EQ(Files(), (std::vector<std::u16string>{u"\\E\\odd."}));
}

TEST_F(EmptyDeviceSearch, NothingTickedEmptiesTheFileList) {
    MakeFile(Host(u"\\G\\x.tmp"), 1);
    StartPlain();
    Tap(50015);
    Tap(50014);
    ASSERT_EQ(Files().size(), 1u);
    Tap(50015);
    Tap(50014);
    EXPECT_TRUE(Files().empty());
    ExpectNoSearchWindow();
}

TEST_F(EmptyDeviceSearch, HorizontalExtentGrowsAndNeverShrinks) {
    std::u16string longName = u"\\Deep Temp Folder\\" + std::u16string(40, u'n') + u".tmp";
    MakeFile(Host(longName), 1);
    MakeFile(Host(u"\\short.tmp"), 1);
    StartPlain();
    HWND list = Control(SCREEN_CLEAN_TEMP, POS_FOUND_FILES_LIST);
    Tap(50015);
    Tap(50014);
    EXPECT_EQ(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), (LRESULT)longName.size() * 6);

    // The long file goes: a refresh lists only short entries, the extent stays.
    fs::remove(Host(longName));
    Tap(50014);
    EXPECT_EQ(Files().size(), 1u);
    EXPECT_EQ(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), (LRESULT)longName.size() * 6);
    EXPECT_EQ(g_maxFileEntryLength, (LONG)longName.size());

    // The folder list keeps its own longest length, whatever the file list reached.
    Tap(50011);
    LONG longestFolder = 0;
    for (const std::u16string& folder : Folders())
        if (folder.size() > 32 && (LONG)folder.size() > longestFolder)
            longestFolder = (LONG)folder.size();
    ASSERT_LT(longestFolder, (LONG)longName.size());
    EXPECT_EQ(g_maxFolderEntryLength, longestFolder);
    EXPECT_EQ(SendMessageW(Control(SCREEN_CLEAN_TEMP, POS_FOUND_FOLDERS_LIST),
                           LB_GETHORIZONTALEXTENT, 0, 0),
              (LRESULT)longestFolder * 6);
}

TEST_F(EmptyDeviceSearch, PathsTooLongForTheBufferAreSkippedNotCut) {
    // A folder chain whose files' full paths pass 1023 characters.
    std::u16string folder;
    while (folder.size() < 1000) folder += u"\\" + std::u16string(60, u'd');
    MakeFile(Host(folder + u"\\" + std::u16string(40, u'f') + u".tmp"), 1);
    MakeFile(Host(u"\\ok.tmp"), 1);
    StartPlain();
    Tap(50015);
    Tap(50014);
    for (const std::u16string& entry : Files()) EXPECT_LE(entry.size(), 1023u);
    EXPECT_EQ(Files(), (std::vector<std::u16string>{u"\\ok.tmp"}));
}

// A file's full path may fill all 1023 units: it is listed, and deleted when selected. One unit
// more and it could not be named; a folder needs one unit left for its search pattern.
TEST_F(EmptyDeviceSearch, FilePathsOfExactly1023UnitsAreListed) {
    std::u16string folder;
    while (folder.size() < 900) folder += u"\\" + std::u16string(60, u'd');
    std::u16string exact =
        folder + u"\\" + std::u16string(1023 - folder.size() - 5, u'e') + u".tmp";
    std::u16string over = folder + u"\\" + std::u16string(1024 - folder.size() - 5, u'o') + u".tmp";
    ASSERT_EQ(exact.size(), 1023u);
    ASSERT_EQ(over.size(), 1024u);
    MakeFile(Host(exact), 11);
    MakeFile(Host(over), 13);
    StartPlain();
    Tap(50015);
    Tap(50014);
    EXPECT_EQ(Files(), (std::vector<std::u16string>{exact}));
    SendMessageW(Control(SCREEN_CLEAN_TEMP, POS_FOUND_FILES_LIST), LB_SETSEL, TRUE, -1);
    EXPECT_EQ(ApplyAndFinish(false), u"11 Bytes Cleaned");
    EXPECT_FALSE(fs::exists(Host(exact)));
    EXPECT_TRUE(fs::exists(Host(over)));
}

TEST_F(EmptyDeviceSearch, SelectedFilesAreDeletedAndCounted) {
    MakeFile(Host(u"\\H\\big.tmp"), 300);
    MakeFile(Host(u"\\H\\small.tmp"), 20);
    MakeFile(Host(u"\\H\\keep.tmp"), 5);
    StartPlain();
    Tap(50015);
    Tap(50014);
    driver().tapText(u"\\H\\big.tmp");
    driver().tapText(u"\\H\\small.tmp");
    EXPECT_EQ(SendMessageW(Control(SCREEN_CLEAN_TEMP, POS_FOUND_FILES_LIST), LB_GETSELCOUNT, 0, 0),
              2);
    EXPECT_EQ(ApplyAndFinish(false), u"320 Bytes Cleaned");
    EXPECT_FALSE(fs::exists(Host(u"\\H\\big.tmp")));
    EXPECT_TRUE(fs::exists(Host(u"\\H\\keep.tmp")));
}

TEST_F(EmptyDeviceSearch, SelectedFoldersAreCleanedWithTheirSubfoldersKept) {
    MakeFile(Host(u"\\App Temp\\a"), 4);
    MakeFile(Host(u"\\App Temp\\Nested\\b"), 6);
    MakeFile(Host(u"\\Other Temp\\c"), 8);
    StartPlain();
    Tap(50011);
    driver().tapText(u"\\App Temp\\");
    EXPECT_EQ(ApplyAndFinish(false), u"10 Bytes Cleaned");
    EXPECT_TRUE(fs::is_directory(Host(u"\\App Temp\\Nested")));
    EXPECT_FALSE(fs::exists(Host(u"\\App Temp\\Nested\\b")));
    EXPECT_TRUE(fs::exists(Host(u"\\Other Temp\\c")));
}

// Watches the found-files list during a refresh: each entry must arrive while the "SEARCHING"
// window is up, and each search of the refresh has a window of its own.
WNDPROC g_listProc = nullptr;
std::vector<HWND> g_windowsSeen;
bool g_entryWithoutWindow = false;

LRESULT CALLBACK WatchingListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == LB_ADDSTRING) {
        if (!g_hSearchWindow || !IsWindowVisible(g_hSearchWindow) || g_searchWindowUsers < 1)
            g_entryWithoutWindow = true;
        else if (g_windowsSeen.empty() || g_windowsSeen.back() != g_hSearchWindow)
            g_windowsSeen.push_back(g_hSearchWindow);
    }
    return CallWindowProcW(g_listProc, hwnd, msg, wParam, lParam);
}

TEST_F(EmptyDeviceSearch, SearchingWindowIsUpDuringEachSearchOfARefresh) {
    MakeFile(Host(u"\\W\\Deep\\a.tmp"), 1);
    MakeFile(Host(u"\\W\\b.log"), 1);
    StartPlain();
    HWND list = Control(SCREEN_CLEAN_TEMP, POS_FOUND_FILES_LIST);
    g_listProc = (WNDPROC)GetWindowLongPtrW(list, GWLP_WNDPROC);
    SetWindowLongPtrW(list, GWLP_WNDPROC, (LONG_PTR)WatchingListProc);
    Tap(50015);
    Tap(50016);
    Tap(50014);
    SetWindowLongPtrW(list, GWLP_WNDPROC, (LONG_PTR)g_listProc);
    EXPECT_EQ(Files().size(), 2u);
    EXPECT_FALSE(g_entryWithoutWindow);
    // Two searches, two windows: the first one's was gone before the second began.
    ASSERT_EQ(g_windowsSeen.size(), 2u);
    EXPECT_FALSE(IsWindow(g_windowsSeen[0]));
    ExpectNoSearchWindow();
}

TEST_F(EmptyDeviceSearch, SearchWindowCountsNestedUsersAndIsGoneAfterTheLast) {
    StartPlain();
    CSearchWindow::Show();
    HWND first = g_hSearchWindow;
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(IsWindowVisible(first));
    CSearchWindow::Show();
    EXPECT_EQ(g_hSearchWindow, first);
    EXPECT_EQ(g_searchWindowUsers, 2);
    CSearchWindow::Hide();
    EXPECT_TRUE(IsWindow(first));
    CSearchWindow::Hide();
    EXPECT_FALSE(IsWindow(first));
    ExpectNoSearchWindow();
    // An unmatched Hide leaves the count at zero for the next search.
    CSearchWindow::Hide();
    EXPECT_EQ(g_searchWindowUsers, 0);
}

}  // namespace
}  // namespace appcore
