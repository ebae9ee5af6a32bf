// settings.dat through the running program: Exit writes it, the next start restores it, and a
// damaged or unwritable file is reported without losing anything.
#include "AppCoreTest.h"

#include "kernel/kernel.h"

namespace appcore {
namespace {

class SettingsStore : public AppCoreTest {};

// The catalogue's check boxes with their screen positions, one per option bit.
struct OptionBox {
    int screen;
    int pos;
};
const OptionBox kOptionBoxes[25] = {
    {0, 0}, {0, 3}, {0, 6}, {0, 7}, {0, 8}, {0, 14}, {0, 15}, {0, 16}, {1, 0},
    {1, 1}, {1, 2}, {1, 5}, {1, 7}, {1, 9}, {1, 11}, {2, 0},  {3, 0},  {3, 3},
    {3, 6}, {4, 0}, {5, 0}, {5, 5}, {5, 6}, {5, 7},  {0, 17},
};

Bytes TwentyTwoByteExample() {
    return {0x05, 0x08, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x5C, 0x00, 0x54,
            0x00, 0x65, 0x00, 0x6D, 0x00, 0x70, 0x00, 0x02, 0x00, 0x00, 0x00};
}

TEST_F(SettingsStore, ExitWritesTheTwentyTwoByteExample) {
    WriteBytes(SettingsPath(), {0, 0, 0, 0});  // not a first run: nothing ticked
    Driver& d = Start();
    Tap(50001);  // "User Defined 1"
    Tap(50002);  // its edit
    d.type(u"\\Temp");
    Tap(50007);  // "\Temp"
    ShowScreen(u"Pocket IE");
    Tap(50026);  // "Limit Pocket IE Cache"
    SendMessageW(Control(SCREEN_POCKET_IE, POS_IE_CACHE_LIMIT_LIST), CB_SETCURSEL, 2,
                 0);  // "3072 kb"
    Exit();
    EXPECT_EQ(ReadBytes(SettingsPath()), TwentyTwoByteExample());
}

TEST_F(SettingsStore, NextStartRestoresTheExample) {
    WriteBytes(SettingsPath(), TwentyTwoByteExample());
    Start();
    EXPECT_TRUE(IsChecked(SCREEN_CLEAN_TEMP, POS_USER_DIR1_CHECK));
    EXPECT_EQ(WindowText(Control(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT)), u"\\Temp");
    EXPECT_TRUE(IsChecked(SCREEN_CLEAN_TEMP, POS_TEMP_CHECK));
    EXPECT_TRUE(IsChecked(SCREEN_POCKET_IE, POS_IE_CACHE_LIMIT_CHECK));
    EXPECT_EQ(SendMessageW(Control(SCREEN_POCKET_IE, POS_IE_CACHE_LIMIT_LIST), CB_GETCURSEL, 0, 0),
              2);
    // A file was there, so no first-run default.
    EXPECT_FALSE(IsChecked(SCREEN_PERFORMANCE, POS_WINDOW_ANIMATION_CHECK));
    EXPECT_FALSE(IsChecked(SCREEN_CLEAN_TEMP, POS_USER_DIR2_CHECK));
    // Loading leaves the file as it was.
    EXPECT_EQ(ReadBytes(SettingsPath()), TwentyTwoByteExample());
}

TEST_F(SettingsStore, EveryOptionRoundTripsThroughExitAndTheNextStart) {
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    Start();
    for (const OptionBox& box : kOptionBoxes)
        SendMessageW(Control(box.screen, box.pos), BM_SETCHECK, BST_CHECKED, 0);
    const std::u16string texts[8] = {u"\\A\\",     u"\\B\\",   u"abc",        u"\\Cache\\",
                                     u"\\Avant\\", u"\\Fav\\", u"\\Fonts2\\", u"\\Docs\\"};
    const OptionBox edits[8] = {{0, 1}, {0, 4}, {0, 18}, {1, 3}, {1, 12}, {3, 1}, {3, 4}, {3, 7}};
    for (int i = 0; i < 8; i++) SetText(edits[i].screen, edits[i].pos, texts[i]);
    SendMessageW(Control(SCREEN_POCKET_IE, POS_IE_CACHE_LIMIT_LIST), CB_SETCURSEL, 1, 0);
    SendMessageW(Control(SCREEN_POCKET_IE, POS_IE_HISTORY_LIMIT_LIST), CB_SETCURSEL, 2, 0);
    SendMessageW(Control(SCREEN_POCKET_IE, POS_IE_COOKIE_LIMIT_LIST), CB_SETCURSEL, 1, 0);
    SendMessageW(Control(SCREEN_PERFORMANCE, POS_FONT_CACHE_SLIDER), TBM_SETPOS, TRUE, 2);
    Exit();

    Bytes file = ReadBytes(SettingsPath());
    ASSERT_GE(file.size(), 4u);
    EXPECT_EQ(file[0] | file[1] << 8 | file[2] << 16 | file[3] << 24, 0x01FFFFFF);

    Start();
    for (const OptionBox& box : kOptionBoxes)
        EXPECT_TRUE(IsChecked(box.screen, box.pos)) << box.screen << "," << box.pos;
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(WindowText(Control(edits[i].screen, edits[i].pos)), texts[i]);
    EXPECT_EQ(SendMessageW(Control(SCREEN_POCKET_IE, POS_IE_CACHE_LIMIT_LIST), CB_GETCURSEL, 0, 0),
              1);
    EXPECT_EQ(
        SendMessageW(Control(SCREEN_POCKET_IE, POS_IE_HISTORY_LIMIT_LIST), CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendMessageW(Control(SCREEN_POCKET_IE, POS_IE_COOKIE_LIMIT_LIST), CB_GETCURSEL, 0, 0),
              1);
    EXPECT_EQ(SendMessageW(Control(SCREEN_PERFORMANCE, POS_FONT_CACHE_SLIDER), TBM_GETPOS, 0, 0),
              2);
}

TEST_F(SettingsStore, OptionThatIsOffLosesItsValue) {
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    Start();
    SetText(SCREEN_SYSTEM_FOLDERS, POS_MY_DOCUMENTS_EDIT,
            u"\\Storage Card\\Docs\\");  // beside "Move My Documents", unticked
    SendMessageW(Control(SCREEN_PERFORMANCE, POS_FONT_CACHE_SLIDER), TBM_SETPOS, TRUE,
                 2);  // "4x", "Set font cache size" unticked
    SendMessageW(Control(SCREEN_POCKET_IE, POS_IE_HISTORY_LIMIT_LIST), CB_SETCURSEL, 2, 0);
    Exit();
    EXPECT_EQ(ReadBytes(SettingsPath()), Bytes({0, 0, 0, 0}));

    Start();
    EXPECT_EQ(WindowText(Control(SCREEN_SYSTEM_FOLDERS, POS_MY_DOCUMENTS_EDIT)), u"");
    EXPECT_EQ(SendMessageW(Control(SCREEN_PERFORMANCE, POS_FONT_CACHE_SLIDER), TBM_GETPOS, 0, 0),
              0);
    EXPECT_EQ(
        SendMessageW(Control(SCREEN_POCKET_IE, POS_IE_HISTORY_LIMIT_LIST), CB_GETCURSEL, 0, 0), 0);
}

TEST_F(SettingsStore, RemoveSelectedStartupShortcutsIsNeverRestored) {
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    Driver& d = Start();
    ShowScreen(u"Shortcuts");
    Tap(50046);
    ASSERT_TRUE(IsChecked(SCREEN_SHORTCUTS, POS_STARTUP_CHECK));
    (void)d;
    Exit();
    EXPECT_EQ(ReadBytes(SettingsPath()), Bytes({0, 0, 0, 0}));
    Start();
    EXPECT_FALSE(IsChecked(SCREEN_SHORTCUTS, POS_STARTUP_CHECK));
}

TEST_F(SettingsStore, CheckedOptionWithEmptyEditStoresCountZero) {
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    Start();
    Tap(50001);
    Exit();
    EXPECT_EQ(ReadBytes(SettingsPath()), Bytes({1, 0, 0, 0, 0, 0, 0, 0}));
    Start();
    EXPECT_TRUE(IsChecked(SCREEN_CLEAN_TEMP, POS_USER_DIR1_CHECK));
    EXPECT_EQ(WindowText(Control(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT)), u"");
}

TEST_F(SettingsStore, LongestTextRoundTripsAndLongerIsCut) {
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    Start();
    std::u16string longest = u"\\" + std::u16string(1022, u'a');
    std::u16string longer = u"\\" + std::u16string(1500, u'b');
    SendMessageW(Control(SCREEN_CLEAN_TEMP, POS_USER_DIR1_CHECK), BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(Control(SCREEN_CLEAN_TEMP, POS_USER_DIR2_CHECK), BM_SETCHECK, BST_CHECKED, 0);
    SetText(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT, longest);
    SetText(SCREEN_CLEAN_TEMP, POS_USER_DIR2_EDIT, longer);
    Exit();
    EXPECT_EQ(ReadBytes(SettingsPath()).size(), 4u + 2 * (4 + 2 * 1023));
    Start();
    EXPECT_EQ(WindowText(Control(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT)), longest);
    EXPECT_EQ(WindowText(Control(SCREEN_CLEAN_TEMP, POS_USER_DIR2_EDIT)), longer.substr(0, 1023));
}

TEST_F(SettingsStore, CustomExtensionIsStoredBeforeThePocketIeCacheTarget) {
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    Start();
    SendMessageW(Control(SCREEN_CLEAN_TEMP, POS_FILES_CUSTOM_CHECK), BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(Control(SCREEN_POCKET_IE, POS_IE_MOVE_CACHE_CHECK), BM_SETCHECK, BST_CHECKED, 0);
    SetText(SCREEN_CLEAN_TEMP, POS_FILES_CUSTOM_EDIT, u"ab");
    SetText(SCREEN_POCKET_IE, POS_IE_MOVE_CACHE_EDIT, u"\\N\\");
    Exit();
    Bytes expected;
    PutDword(expected, OPT_FILES_CUSTOM | OPT_MOVE_IE_CACHE);
    PutText(expected, u"ab");
    PutText(expected, u"\\N\\");
    EXPECT_EQ(ReadBytes(SettingsPath()), expected);
}

TEST_F(SettingsStore, FirstRunTicksDisableWindowAnimationOnly) {
    Start();
    for (const OptionBox& box : kOptionBoxes) {
        bool expected = box.screen == 5 && box.pos == 7;
        EXPECT_EQ(IsChecked(box.screen, box.pos), expected) << box.screen << "," << box.pos;
    }
    EXPECT_FALSE(fs::exists(SettingsPath()));
}

TEST_F(SettingsStore, SilentRunWithoutSettingsTouchesNothing) {
    // Values the pass would change if it ran with no options at all.
    SetRegDword(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Animate", 0);
    WriteBytes(Host(kStartupShortcut), {'1', '#', 'x'});
    MakeFile(Host(u"\\Temp\\keep.tmp"), 10);
    Driver& d = Start(u"silent");
    EXPECT_FALSE(d.running());
    EXPECT_EQ(d.exitCode(), 0);
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Animate"), 0u);
    EXPECT_TRUE(fs::exists(Host(kStartupShortcut)));
    EXPECT_TRUE(fs::exists(Host(u"\\Temp\\keep.tmp")));
    EXPECT_EQ(device_.log().find("message box"), std::string::npos) << device_.log();
}

// A damaged file starts the program with what could be read whole, says so, and is left as it
// was until the user saves again.
struct DamagedFile {
    const char* name;
    Bytes bytes;
    bool reported;
    bool userDefined1Restored;
};

class SettingsDamage : public SettingsStore, public ::testing::WithParamInterface<int> {};

std::vector<DamagedFile> DamagedFiles() {
    std::vector<DamagedFile> files;
    Bytes cut;  // announces two texts, holds one and a half
    PutDword(cut, OPT_CLEAN_USER_DIR1 | OPT_CLEAN_USER_DIR2);
    PutText(cut, u"\\Keep\\");
    PutText(cut, u"\\Lost\\");
    cut.resize(cut.size() - 4);
    files.push_back({"cut", cut, true, true});
    Bytes huge;  // a count above 1023
    PutDword(huge, OPT_CLEAN_USER_DIR1);
    PutDword(huge, 5000);
    huge.insert(huge.end(), 64, 0x41);
    files.push_back({"count", huge, true, false});
    Bytes trailing;
    PutDword(trailing, OPT_CLEAN_USER_DIR1);
    PutText(trailing, u"\\Keep\\");
    trailing.insert(trailing.end(), 7, 0xEE);
    files.push_back({"trailing", trailing, false, true});
    files.push_back({"empty", Bytes(), false, false});
    files.push_back({"short", Bytes({0x01, 0x00}), true, false});
    files.push_back({"junk", Bytes(40, 0xFF), true, false});
    return files;
}

TEST_P(SettingsDamage, LoadsWithoutLosingTheFile) {
    DamagedFile file = DamagedFiles()[GetParam()];
    SCOPED_TRACE(file.name);
    WriteBytes(SettingsPath(), file.bytes);
    Driver& d = Start();
    if (file.reported) {
        MessageBoxInfo box = d.answerBox(u"Error!!!", u"settings.dat is damaged", IDOK);
        EXPECT_EQ(box.type & 0xF, (UINT)MB_OK);
    }
    ASSERT_TRUE(d.running()) << ::testing::PrintToString(d.describeScreen());
    EXPECT_FALSE(d.messageBox().has_value());
    EXPECT_EQ(IsChecked(SCREEN_CLEAN_TEMP, POS_USER_DIR1_CHECK), file.userDefined1Restored);
    EXPECT_EQ(WindowText(Control(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT)),
              file.userDefined1Restored ? u"\\Keep\\" : u"");
    EXPECT_FALSE(IsChecked(SCREEN_CLEAN_TEMP, POS_USER_DIR2_CHECK));
    EXPECT_EQ(WindowText(Control(SCREEN_CLEAN_TEMP, POS_USER_DIR2_EDIT)), u"");
    EXPECT_EQ(ReadBytes(SettingsPath()), file.bytes);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, SettingsDamage, ::testing::Range(0, 6));

// Every way settings.dat can refuse to be written: the user is told at Exit, the program still
// ends, and whatever stood there before is not destroyed.
enum class Unwritable { ReadOnlyFile, FolderInItsPlace, MissingProgramFolder };

class SettingsUnwritable : public SettingsStore,
                           public ::testing::WithParamInterface<Unwritable> {};

TEST_P(SettingsUnwritable, IsReportedAtExitAndTheProgramEnds) {
    Bytes before;
    PutDword(before, OPT_CLEAN_TEMP);
    WriteBytes(SettingsPath(), before);
    Driver& d = Start();
    ASSERT_TRUE(IsChecked(SCREEN_CLEAN_TEMP, POS_TEMP_CHECK));
    Tap(50008);  // a change that would be saved
    switch (GetParam()) {
        case Unwritable::ReadOnlyFile:
            ASSERT_TRUE(SetFileAttributesW(kSettingsFile, FILE_ATTRIBUTE_READONLY));
            break;
        case Unwritable::FolderInItsPlace:
            fs::remove(SettingsPath());
            fs::create_directories(SettingsPath());
            break;
        case Unwritable::MissingProgramFolder:
            fs::remove_all(Host(kProgramFolder));
            break;
    }
    d.menu(u"Varnello", u"Exit");
    MessageBoxInfo box =
        d.answerBox(u"Error!!!", u"settings.dat could not be opened for writing", IDOK);
    EXPECT_EQ(box.type & 0xF, (UINT)MB_OK);
    EXPECT_FALSE(d.messageBox().has_value());
    EXPECT_FALSE(d.running());
    EXPECT_EQ(d.exitCode(), 0);
    if (GetParam() == Unwritable::ReadOnlyFile)
        EXPECT_EQ(ReadBytes(SettingsPath()), before);
    if (GetParam() == Unwritable::MissingProgramFolder)
        EXPECT_FALSE(fs::exists(SettingsPath()));
}

std::string UnwritableName(const ::testing::TestParamInfo<Unwritable>& info) {
    static const char* const names[] = {"ReadOnlyFile", "FolderInItsPlace", "MissingProgramFolder"};
    return names[(int)info.param];
}

INSTANTIATE_TEST_SUITE_P(EveryKind, SettingsUnwritable,
                         ::testing::Values(Unwritable::ReadOnlyFile, Unwritable::FolderInItsPlace,
                                           Unwritable::MissingProgramFolder),
                         UnwritableName);

// LoadSettings' own answer: -1 without a file (the record untouched), the flags as read with one.
TEST_F(SettingsStore, LoadAnswersMinusOneOnlyWithoutAFile) {
    Start();
    CSettings record;
    record.m_ieCacheLimit = 9;
    EXPECT_EQ(LoadSettings(&record), -1);
    EXPECT_EQ(record.m_ieCacheLimit, 9);
    EXPECT_EQ(record.m_userDefined1Path, nullptr);
    WriteBytes(SettingsPath(), TwentyTwoByteExample());
    EXPECT_EQ(LoadSettings(&record), 0x805);
    EXPECT_EQ(record.m_ieCacheLimit, 2);
    // Interactive: the text went into its control and the record holds none.
    EXPECT_EQ(record.m_userDefined1Path, nullptr);
    WriteBytes(SettingsPath(), {});
    EXPECT_EQ(LoadSettings(&record), 0);
}

TEST_F(SettingsStore, ModulePathShorterThanTheProgramNameIsRefused) {
    ce::kernel::setModulePath(u"\\V.exe");
    Driver& d = Start();
    // The load finds no folder either; the first-run default stands, then Exit reports it.
    d.answerBox(u"Error!!!", u"Failed retrieving application directory", IDOK);
    d.menu(u"Varnello", u"Exit");
    d.answerBox(u"Error!!!", u"Failed retrieving application directory", IDOK);
    EXPECT_FALSE(d.running());
    ce::kernel::setModulePath(u"\\Program Files\\Varnello\\Varnello.exe");
}

}  // namespace
}  // namespace appcore
