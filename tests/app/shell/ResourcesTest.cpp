// The program's resources as the platform reads them from Varnello.rc: the menu bar's menu with
// its command IDs, the program icon, and the help page installed beside the program.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/ControlIds.h"
#include "kernel/testing.h"
#include "resources/resources.h"
#include "shell/Globals.h"

namespace {

HINSTANCE ProgramInstance() {
    return ce::resources::instanceFor((const void*)&WinMain);
}

std::u16string MenuText(HMENU menu, int pos) {
    WCHAR text[64] = {0};
    GetMenuStringW(menu, pos, text, 64, MF_BYPOSITION);
    return text;
}

struct Item {
    const char16_t* text;
    UINT id;
};

struct Popup {
    const char16_t* text;
    std::vector<Item> items;
};

}  // namespace

TEST(Resources, MenuHasFourPopupsWithTheirCommands) {
    const std::vector<Popup> expected = {
        {u"Varnello", {{u"Exit", IDM_EXIT}}},
        {u"Apply", {{u"Allow Restart", IDM_ALLOW_RESTART}, {u"Defer Restart", IDM_DEFER_RESTART}}},
        {u"Power",
         {{u"Off", IDM_POWER_OFF},
          {u"Soft Reset", IDM_SOFT_RESET},
          {u"Hard Reset", IDM_HARD_RESET}}},
        {u"Help", {{u"Index", IDM_HELP_INDEX}, {u"About", IDM_ABOUT}}},
    };
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    HMENU menu = LoadMenuW(ProgramInstance(), MAKEINTRESOURCEW(IDR_MAINMENU));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 4);
    for (int p = 0; p < 4; p++) {
        EXPECT_EQ(MenuText(menu, p), expected[p].text);
        HMENU popup = GetSubMenu(menu, p);
        ASSERT_NE(popup, nullptr) << "popup " << p;
        ASSERT_EQ(GetMenuItemCount(popup), (int)expected[p].items.size());
        for (size_t i = 0; i < expected[p].items.size(); i++) {
            EXPECT_EQ(MenuText(popup, (int)i), expected[p].items[i].text);
            EXPECT_EQ(GetMenuItemID(popup, (int)i), expected[p].items[i].id);
        }
    }
    // The help index keeps the ID of the usual "Help" command, 0xE142.
    EXPECT_EQ(IDM_HELP_INDEX, 0xE142);
    DestroyMenu(menu);
}

TEST(Resources, IconIsOneSixteenPixelImageWithATransparentCorner) {
    const ce::resources::ResourceSet* resources = ce::resources::moduleOf(ProgramInstance());
    ASSERT_NE(resources, nullptr);
    auto it = resources->icons.find(IDI_VARNELLO);
    ASSERT_NE(it, resources->icons.end());
    ASSERT_EQ(it->second.size(), 1u);
    const ce::resources::IconImage& image = it->second[0];
    ASSERT_EQ(image.width, 16);
    ASSERT_EQ(image.height, 16);
    ASSERT_EQ(image.argb.size(), 256u);
    EXPECT_EQ(image.argb[0] >> 24, 0u);               // the rounded corner shows through
    EXPECT_EQ(image.argb[8 * 16 + 1], 0xFF1F4EA8u);   // the blue tile, top row first
    EXPECT_EQ(image.argb[12 * 16 + 7], 0xFFFFFFFFu);  // the white V
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    EXPECT_NE(LoadIconW(ProgramInstance(), MAKEINTRESOURCEW(IDI_VARNELLO)), nullptr);
}

TEST(Resources, HelpPageHasItsContentsAnchorAndNamesEveryScreenAndMenu) {
    std::ifstream file(VARNELLO_HELP_FILE);
    ASSERT_TRUE(file.good()) << VARNELLO_HELP_FILE;
    std::stringstream text;
    text << file.rdbuf();
    std::string html = text.str();
    EXPECT_NE(html.find("<a name=\"Main_Contents\">"), std::string::npos);
    for (const char* name :
         {"Clean Temp Files", "Pocket IE", "Registry", "System Folders", "Shortcuts", "Performance",
          "Allow Restart", "Defer Restart", "Soft Reset", "Hard Reset", "About", "Browse",
          "Silent cleanup at startup", "Disable window animation"})
        EXPECT_NE(html.find(name), std::string::npos) << name;
}
