// The program's resources as the platform reads them from Varnello.rc: the menu bar's menu with
// its command IDs, the program icon, and the help page installed beside the program.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/ControlIds.h"
#include "testing/device.h"
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

std::string ReadFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

uint32_t Little(const std::string& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; i--) value = (value << 8) | (uint8_t)bytes[at + i];
    return value;
}

// The icon file itself: one image directory entry, 16 x 16 at 24 bits, and a bitmap of exactly
// that size (colour rows and the transparency mask, each row padded to four bytes).
TEST(Resources, IconFileHoldsOneSixteenPixelTwentyFourBitImage) {
    std::string ico = ReadFile(VARNELLO_ICON_FILE);
    ASSERT_GE(ico.size(), 6u + 16u + 40u);
    EXPECT_EQ(Little(ico, 0, 2), 0u);  // reserved
    EXPECT_EQ(Little(ico, 2, 2), 1u);  // an icon
    ASSERT_EQ(Little(ico, 4, 2), 1u);  // one image
    EXPECT_EQ(Little(ico, 6, 1), 16u);
    EXPECT_EQ(Little(ico, 7, 1), 16u);
    EXPECT_EQ(Little(ico, 12, 2), 24u);
    uint32_t bytes = Little(ico, 14, 4);
    uint32_t offset = Little(ico, 18, 4);
    const uint32_t colourRow = 16 * 3, maskRow = 4;
    EXPECT_EQ(bytes, 40 + 16 * colourRow + 16 * maskRow);
    ASSERT_EQ(ico.size(), (size_t)offset + bytes);
    EXPECT_EQ(Little(ico, offset, 4), 40u);       // BITMAPINFOHEADER
    EXPECT_EQ(Little(ico, offset + 4, 4), 16u);   // width
    EXPECT_EQ(Little(ico, offset + 8, 4), 32u);   // colour and mask, one above the other
    EXPECT_EQ(Little(ico, offset + 14, 2), 24u);  // bits per pixel
    EXPECT_EQ(Little(ico, offset + 16, 4), 0u);   // uncompressed
}

// The help page: its contents anchor, every screen, option, button and menu command named,
// and every link inside the page leading to an anchor of the page.
TEST(Resources, HelpPageDescribesEveryScreenOptionAndCommand) {
    std::string html = ReadFile(VARNELLO_HELP_FILE);
    ASSERT_FALSE(html.empty()) << VARNELLO_HELP_FILE;
    EXPECT_EQ(html.find("<html>"), 0u);
    EXPECT_NE(html.find("</html>"), std::string::npos);
    size_t anchor = html.find("<a name=\"Main_Contents\">");
    ASSERT_NE(anchor, std::string::npos);
    EXPECT_EQ(html.find("name=\"Main_Contents\"", anchor + 10), std::string::npos);
    for (const char* name :
         {// the screens
          "Clean Temp Files", "Pocket IE", "Registry", "System Folders", "Shortcuts", "Performance",
          // every option and button of the screens
          "User Defined 1", "User Defined 2", "Browse", "\\Temp", "\\Windows\\Temp",
          "\\My Documents\\Temp", "Search Directories", "Search Files", "Refresh", "*.tmp", "*.log",
          "*.bak", "<b>*.</b>", "Clear Pocket IE Cache", "Clear Pocket IE History",
          "Move Pocket IE Cache", "Limit Pocket IE Cache", "Limit Pocket IE History",
          "Limit Pocket IE Cookies", "Move AvantGo Cache", "Clear Redundant Registry Keys",
          "Move Favorites Storage", "Move Fonts Folder", "Move My Documents",
          "Remove redundant start menu items", "Remove selected startup shortcuts",
          "Set font cache size", "1x", "2x", "4x", "Silent cleanup at startup",
          "Disable start menu animation", "Disable window animation",
          // the folder browser and the menus
          "OK", "Cancel", "Exit", "Allow Restart", "Defer Restart", "<b>Off</b>", "Soft Reset",
          "Hard Reset", "Index", "About"})
        EXPECT_NE(html.find(name), std::string::npos) << name;

    for (size_t at = html.find("href=\"#"); at != std::string::npos;
         at = html.find("href=\"#", at + 1)) {
        size_t start = at + 7;
        std::string target = html.substr(start, html.find('"', start) - start);
        EXPECT_NE(html.find("name=\"" + target + "\""), std::string::npos) << target;
    }
}
