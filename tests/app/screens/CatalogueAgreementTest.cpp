// The tables that name option controls agree with the screen catalogue: the control IDs, the
// screen positions the code names, and the settings table with its option bits. A control added
// to a screen, or moved within it, either keeps every name right or fails here.
#include "AppHarness.h"

#include <map>
#include <set>
#include <string>

#include "common/ControlIds.h"
#include "screens/Catalogue.h"
#include "settings/SettingsTable.h"

using namespace apptest;

namespace {

bool InCatalogue(int screen, int pos) {
    return screen >= 0 && screen < SCREEN_COUNT && pos >= 0 && pos < g_catalogue[screen].count;
}

const ControlEntry& Entry(int screen, int pos) {
    return g_catalogue[screen].pControls[pos];
}

std::string Where(int screen, int pos) {
    return "screen " + std::to_string(screen) + " position " + std::to_string(pos);
}

// The class a control of each kind is made of, as Win32 names it.
const char16_t* ClassOf(ControlKind kind) {
    switch (kind) {
        case KIND_CHECKBOX:
        case KIND_PUSHBUTTON:
            return u"BUTTON";
        case KIND_EDIT:
            return u"EDIT";
        case KIND_LABEL:
            return u"STATIC";
        case KIND_LISTBOX:
            return u"LISTBOX";
        case KIND_DROPDOWN:
            return u"COMBOBOX";
        case KIND_SLIDER:
            return u"msctls_trackbar32";
    }
    return u"";
}

// The kind of control that holds each kind of value the settings table moves.
ControlKind KindHolding(SETTING_VALUE_KIND value) {
    switch (value) {
        case SVK_EDIT:
            return KIND_EDIT;
        case SVK_COMBO:
            return KIND_DROPDOWN;
        case SVK_TRACKBAR:
            return KIND_SLIDER;
        case SVK_NONE:
            break;
    }
    return KIND_LABEL;
}

int BitIndex(DWORD bit) {
    for (int i = 0; i < 32; i++)
        if (bit == (1u << i))
            return i;
    return -1;
}

// The option each bit of settings.dat's flag word stands for, by the label a person ticks. The
// files already on devices hold these bits, so no change of the screens may move them.
const char16_t* const kBitLabels[] = {
    u"User Defined 1",
    u"User Defined 2",
    u"\\Temp",
    u"\\Windows\\Temp",
    u"\\My Documents\\Temp",
    u"*.tmp",
    u"*.log",
    u"*.bak",
    u"Clear Pocket IE Cache",
    u"Clear Pocket IE History",
    u"Move Pocket IE Cache",
    u"Limit Pocket IE Cache",
    u"Limit Pocket IE History",
    u"Limit Pocket IE Cookies",
    u"Move AvantGo Cache",
    u"Clear Redundant Registry Keys",
    u"Move Favorites Storage",
    u"Move Fonts Folder",
    u"Move My Documents",
    u"Remove redundant start menu items",
    u"Set font cache size",
    u"Silent cleanup at startup",
    u"Disable start menu animation",
    u"Disable window animation",
    u"*.",
};
const int kOptionCount = sizeof(kBitLabels) / sizeof(kBitLabels[0]);

// What the program means by each position it names outside the catalogue: the kind of control,
// and its label or the label of the control it belongs to (the one before it in the list).
struct NamedPosition {
    const char* name;
    int screen, pos;
    ControlKind kind;
    const char16_t* label;      // its own text, or nullptr
    const char16_t* ownerText;  // the text of the control just before it, or nullptr
};

const NamedPosition kNamedPositions[] = {
    // the Refresh buttons' result lists, which the Apply pass cleans from
    {"found folders", SCREEN_CLEAN_TEMP, POS_FOUND_FOLDERS_LIST, KIND_LISTBOX, nullptr, u"Refresh"},
    {"found files", SCREEN_CLEAN_TEMP, POS_FOUND_FILES_LIST, KIND_LISTBOX, nullptr, nullptr},
    {"custom extension", SCREEN_CLEAN_TEMP, POS_FILES_CUSTOM_EDIT, KIND_EDIT, nullptr, u"*."},
    // the Browse buttons' target edits
    {"user folder 1", SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT, KIND_EDIT, nullptr, u"User Defined 1"},
    {"user folder 2", SCREEN_CLEAN_TEMP, POS_USER_DIR2_EDIT, KIND_EDIT, nullptr, u"User Defined 2"},
    {"IE cache target", SCREEN_POCKET_IE, POS_IE_MOVE_CACHE_EDIT, KIND_EDIT, nullptr,
     u"Move Pocket IE Cache"},
    {"AvantGo target", SCREEN_POCKET_IE, POS_AVANTGO_EDIT, KIND_EDIT, nullptr,
     u"Move AvantGo Cache"},
    {"Favorites target", SCREEN_SYSTEM_FOLDERS, POS_FAVORITES_EDIT, KIND_EDIT, nullptr,
     u"Move Favorites Storage"},
    {"Fonts target", SCREEN_SYSTEM_FOLDERS, POS_FONTS_EDIT, KIND_EDIT, nullptr,
     u"Move Fonts Folder"},
    {"My Documents target", SCREEN_SYSTEM_FOLDERS, POS_MY_DOCUMENTS_EDIT, KIND_EDIT, nullptr,
     u"Move My Documents"},
    // what the Apply pass reads beside the settings table, and the first run's default
    {"startup check", SCREEN_SHORTCUTS, POS_STARTUP_CHECK, KIND_CHECKBOX,
     u"Remove selected startup shortcuts", nullptr},
    {"startup list", SCREEN_SHORTCUTS, POS_STARTUP_LIST, KIND_LISTBOX, nullptr,
     u"Remove selected startup shortcuts"},
    {"first run default", SCREEN_PERFORMANCE, POS_WINDOW_ANIMATION_CHECK, KIND_CHECKBOX,
     u"Disable window animation", nullptr},
};

std::u16string TextOf(const ControlEntry& entry) {
    return std::u16string((const char16_t*)entry.text);
}

}  // namespace

TEST(CatalogueAgreement, ControlIdsAreUniqueAndFillTheRangeTheCallbackAccepts) {
    std::map<int, std::string> owners;
    for (int s = 0; s < SCREEN_COUNT; s++) {
        for (int p = 0; p < g_catalogue[s].count; p++) {
            int id = Entry(s, p).id;
            if (id == 0) {
                // Only a label may go without an ID: nothing can address it.
                EXPECT_EQ(Entry(s, p).kind, KIND_LABEL) << Where(s, p);
                continue;
            }
            auto inserted = owners.emplace(id, Where(s, p));
            EXPECT_TRUE(inserted.second)
                << "ID " << id << " at " << Where(s, p) << " and " << inserted.first->second;
            EXPECT_GE(id, IDC_FIRST_OPTION) << Where(s, p);
            EXPECT_LE(id, IDC_LAST_OPTION) << Where(s, p);
        }
    }
    // Every ID the callback takes for an option control's belongs to one.
    EXPECT_EQ(owners.size(), (size_t)(IDC_LAST_OPTION - IDC_FIRST_OPTION + 1));
    // Commands reach the main window through the same WM_COMMAND: no option may take theirs.
    for (int command :
         {IDOK, IDM_EXIT, IDM_ALLOW_RESTART, IDM_DEFER_RESTART, IDM_POWER_OFF, IDM_SOFT_RESET,
          IDM_HARD_RESET, IDM_ABOUT, IDM_HELP_INDEX, IDC_BROWSER_OK, IDC_BROWSER_CANCEL})
        EXPECT_EQ(owners.count(command), 0u) << "command " << command;
}

TEST(CatalogueAgreement, EverySettingsRowNamesACheckBoxAndTheValueControlBesideIt) {
    std::set<std::pair<int, int>> claimed;
    std::set<int> fields;
    for (int i = 0; i < g_settingRowCount; i++) {
        const SETTING_ROW& row = g_settingRows[i];
        SCOPED_TRACE("settings row " + std::to_string(i));
        ASSERT_TRUE(InCatalogue(row.screen, row.checkPos)) << Where(row.screen, row.checkPos);
        EXPECT_EQ(Entry(row.screen, row.checkPos).kind, KIND_CHECKBOX);
        EXPECT_TRUE(claimed.insert({row.screen, row.checkPos}).second) << "box used twice";
        if (row.kind == SVK_NONE) {
            EXPECT_EQ(row.valuePos, POS_NONE);
            EXPECT_EQ(row.field, SF_NONE);
            continue;
        }
        // The value is the control right after the box that decides it, of the kind the
        // transfer's messages are for, and lands in a field of the same kind.
        EXPECT_EQ(row.valuePos, row.checkPos + 1);
        ASSERT_TRUE(InCatalogue(row.screen, row.valuePos)) << Where(row.screen, row.valuePos);
        EXPECT_EQ(Entry(row.screen, row.valuePos).kind, KindHolding(row.kind));
        EXPECT_EQ(row.field < SF_TEXT_COUNT, row.kind == SVK_EDIT);
        EXPECT_TRUE(fields.insert(row.field).second) << "field " << row.field << " used twice";
    }
    EXPECT_EQ((int)fields.size(), SF_COUNT);

    // Every check box of the screens has a row, except the one the Apply pass reads itself: a
    // box added without a row would be shown and never saved.
    for (int s = 0; s < SCREEN_COUNT; s++)
        for (int p = 0; p < g_catalogue[s].count; p++)
            if (Entry(s, p).kind == KIND_CHECKBOX &&
                !(s == SCREEN_SHORTCUTS && p == POS_STARTUP_CHECK))
                EXPECT_EQ(claimed.count({s, p}), 1u) << "no settings row for " << Where(s, p);
}

TEST(CatalogueAgreement, EachOptionBitIsTheBoxSettingsDatKeepsItFor) {
    ASSERT_EQ(g_settingRowCount, kOptionCount);
    DWORD all = 0;
    for (int i = 0; i < g_settingRowCount; i++) {
        const SETTING_ROW& row = g_settingRows[i];
        int bit = BitIndex(row.bit);
        ASSERT_GE(bit, 0) << "row " << i << " has no single bit";
        ASSERT_LT(bit, kOptionCount) << "row " << i;
        EXPECT_EQ(all & row.bit, 0u) << "bit " << bit << " twice";
        all |= row.bit;
        ASSERT_TRUE(InCatalogue(row.screen, row.checkPos));
        EXPECT_EQ(TextOf(Entry(row.screen, row.checkPos)), kBitLabels[bit]) << "bit " << bit;
    }
    EXPECT_EQ(all, 0x01FFFFFFu);
}

TEST(CatalogueAgreement, NamedPositionsAreTheControlsTheCodeMeans) {
    for (const NamedPosition& named : kNamedPositions) {
        SCOPED_TRACE(named.name);
        ASSERT_TRUE(InCatalogue(named.screen, named.pos)) << Where(named.screen, named.pos);
        const ControlEntry& entry = Entry(named.screen, named.pos);
        EXPECT_EQ(entry.kind, named.kind);
        if (named.label)
            EXPECT_EQ(TextOf(entry), named.label);
        if (named.ownerText) {
            ASSERT_GT(named.pos, 0);
            EXPECT_EQ(TextOf(Entry(named.screen, named.pos - 1)), named.ownerText);
        }
    }
    // Each "Browse" fills the edit directly to its left on its own row.
    int browseButtons = 0;
    for (int s = 0; s < SCREEN_COUNT; s++) {
        for (int p = 1; p < g_catalogue[s].count; p++) {
            const ControlEntry& button = Entry(s, p);
            if (button.kind != KIND_PUSHBUTTON || TextOf(button) != u"Browse")
                continue;
            browseButtons++;
            const ControlEntry& edit = Entry(s, p - 1);
            EXPECT_EQ(edit.kind, KIND_EDIT) << Where(s, p);
            EXPECT_EQ(edit.y, button.y) << Where(s, p);
            EXPECT_LE(edit.x + edit.width, button.x) << Where(s, p);
        }
    }
    EXPECT_EQ(browseButtons, 7);
}

// The running program: each position the code names holds, in the screen's list, the control
// the catalogue puts there, so that nothing made outside the table shifts a list.
TEST(CatalogueAgreement, TheRunningProgramsListsHoldTheCatalogueInOrder) {
    App app;
    for (int s = 0; s < SCREEN_COUNT; s++) {
        const CWindowList& items = g_pScreens->GetScreenItems(s);
        ASSERT_EQ(items.GetCount(), g_catalogue[s].count) << "screen " << s;
        for (int p = 0; p < items.GetCount(); p++) {
            HWND hwnd = GetScreenControl(s, p);
            ASSERT_NE(hwnd, nullptr) << Where(s, p);
            EXPECT_EQ(GetDlgCtrlID(hwnd), Entry(s, p).id) << Where(s, p);
            WCHAR className[64] = {0};
            GetClassNameW(hwnd, className, 64);
            EXPECT_EQ(_wcsicmp(className, (LPCWSTR)ClassOf(Entry(s, p).kind)), 0) << Where(s, p);
        }
    }
    EXPECT_EQ(GetScreenControl(SCREEN_CLEAN_TEMP, POS_FOUND_FOLDERS_LIST),
              GetDlgItem(DisplayWindow(), IDC_FOUND_FOLDERS_LIST));
    EXPECT_EQ(GetScreenControl(SCREEN_SHORTCUTS, POS_STARTUP_LIST),
              GetDlgItem(DisplayWindow(), IDC_STARTUP_LIST));
    // Past a screen's last control, and before its first, there is no control.
    EXPECT_EQ(GetScreenControl(SCREEN_REGISTRY, REGISTRY_CONTROL_COUNT), nullptr);
    EXPECT_EQ(GetScreenControl(SCREEN_PERFORMANCE, POS_NONE), nullptr);
}
