// Resources read from the suite's .rc file: menus with IDs from an included header, a string
// table, the version block and an icon; and the reader's errors on bad input.
#include <windows.h>

#include <gtest/gtest.h>

#include "display/display.h"
#include "testing/device.h"
#include "resources/resources.h"

#include <functional>
#include <stdexcept>

namespace {

HINSTANCE self() {
    static int anchor;
    return ce::resources::instanceFor(&anchor);
}

class Resources : public ::testing::Test {
  protected:
    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
};

TEST_F(Resources, MenuHasItsPopupsItemsAndFlags) {
    HMENU m = LoadMenuW(self(), MAKEINTRESOURCEW(101));
    ASSERT_TRUE(m);
    ASSERT_EQ(GetMenuItemCount(m), 2);
    WCHAR text[32];
    GetMenuStringW(m, 0, text, 32, MF_BYPOSITION);
    EXPECT_EQ(std::u16string(text), u"File");
    HMENU file = GetSubMenu(m, 0);
    ASSERT_TRUE(file);
    EXPECT_EQ(GetMenuItemID(file, 0), 40004u);  // IDM_EXIT from the included header
    HMENU tools = GetSubMenu(m, 1);
    ASSERT_EQ(GetMenuItemCount(tools), 4);
    MENUITEMINFOW info{sizeof info, MIIM_TYPE | MIIM_STATE | MIIM_ID};
    ASSERT_TRUE(GetMenuItemInfoW(tools, 1, TRUE, &info));
    EXPECT_TRUE(info.fType & MFT_SEPARATOR);
    ASSERT_TRUE(GetMenuItemInfoW(tools, 2, TRUE, &info));
    EXPECT_TRUE(info.fState & MFS_CHECKED);
    EXPECT_EQ(info.wID, 40102u);
    ASSERT_TRUE(GetMenuItemInfoW(tools, 40103, FALSE, &info));
    EXPECT_TRUE(info.fState & MFS_GRAYED);
    EXPECT_EQ(LoadMenuW(self(), MAKEINTRESOURCEW(555)), nullptr);
    DestroyMenu(m);
}

TEST_F(Resources, TheProgramsModuleHandleFindsItsResources) {
    EXPECT_EQ(GetModuleHandleW(nullptr), self());
    HMENU m = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(101));
    EXPECT_TRUE(m);
    DestroyMenu(m);
    EXPECT_EQ(GetModuleHandleW(u"\\Windows\\other.dll"), nullptr);
}

TEST_F(Resources, StringTableAndVersionBlock) {
    WCHAR buf[64];
    EXPECT_EQ(LoadStringW(self(), 1000, buf, 64), 20);
    EXPECT_EQ(std::u16string(buf), u"Hello \"quoted\" world");
    EXPECT_EQ(LoadStringW(self(), 1000, buf, 6), 5);
    EXPECT_EQ(std::u16string(buf), u"Hello");
    const auto* set = ce::resources::moduleOf(self());
    ASSERT_TRUE(set && set->version);
    EXPECT_EQ(set->version->fileVersion[2], 3);
    EXPECT_EQ(set->version->strings.at(u"CompanyName"), u"Zembrik");
    EXPECT_EQ(set->version->langCodepage, u"040904B0");
}

TEST_F(Resources, IconKeepsItsColoursAndMask) {
    HICON icon = LoadIconW(self(), MAKEINTRESOURCEW(7));
    ASSERT_TRUE(icon);
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    ASSERT_TRUE(ce::display::iconPixels(icon, &w, &h, &px));
    ASSERT_EQ(w, 16);
    ASSERT_EQ(h, 16);
    EXPECT_EQ(px[0] >> 24, 0u);  // masked out
    EXPECT_EQ(px[1] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(px[15] & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(px[16 * 15] >> 24, 0xFFu);
}

TEST(ResourceReader, ErrorsNameTheFileAndLine) {
    auto none = [](const std::string&) -> std::optional<std::string> { return std::nullopt; };
    try {
        ce::resources::parseRc("bad.rc", "1 MENU\nBEGIN\n  MENUITEM 40, \"x\"\nEND\n", none);
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("bad.rc:3:", 0), 0u) << e.what();
    }
    EXPECT_THROW(ce::resources::parseRc("a.rc", "1 ICON \"missing.ico\"\n", none),
                 std::runtime_error);
    EXPECT_THROW(ce::resources::parseRc("a.rc", "1 MENU\nBEGIN\n POPUP \"x\n", none),
                 std::runtime_error);
    EXPECT_THROW(
        ce::resources::parseRc("a.rc", "1 MENU\nBEGIN\n MENUITEM \"a\", UNDEFINED_ID\nEND\n", none),
        std::runtime_error);
    // other resource types are passed over
    auto set = ce::resources::parseRc("ok.rc",
                                      "#ifdef APSTUDIO_INVOKED\n garbage (\n#endif\nIDD_X DIALOG "
                                      "0, 0, 10, 10\nSTYLE 1\nBEGIN\n CONTROL \"\"\nEND\n"
                                      "2 MENU BEGIN MENUITEM \"A\", 5 END\n",
                                      none);
    EXPECT_EQ(set.menus.at(2).at(0).id, 5u);
}

std::string parseError(
    const std::string& text,
    const std::function<std::optional<std::string>(const std::string&)>& file =
        [](const std::string&) { return std::nullopt; }) {
    try {
        ce::resources::parseRc("deep.rc", text, file);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(accepted)";
}

std::string repeat(const std::string& s, size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

// Deeply nested input is refused at a fixed depth with the line it goes wrong on, however deep
// it goes: the reader never nests on the C++ stack as deep as its input.
TEST(ResourceReader, NestingHasALimitAndDeepInputIsRefusedOnItsLine) {
    auto popups = [](size_t depth) {
        return "1 MENU\nBEGIN\n" + repeat("POPUP \"p\"\nBEGIN\n", depth) + "MENUITEM \"x\", 7\n" +
               repeat("END\n", depth + 1);
    };
    auto set = ce::resources::parseRc("ok.rc", popups(ce::resources::kMaxMenuDepth),
                                      [](const std::string&) { return std::nullopt; });
    const std::vector<ce::resources::MenuNode>* level = &set.menus.at(1);
    for (int i = 0; i < ce::resources::kMaxMenuDepth; ++i) {
        ASSERT_EQ(level->size(), 1u);
        EXPECT_EQ(level->at(0).flags & MF_POPUP, UINT(MF_POPUP));
        level = &level->at(0).items;
    }
    ASSERT_EQ(level->size(), 1u);
    EXPECT_EQ(level->at(0).id, 7u);
    // one popup deeper is refused where it opens: line 3 + 2 lines per popup
    size_t line = 3 + 2 * ce::resources::kMaxMenuDepth;
    EXPECT_EQ(parseError(popups(ce::resources::kMaxMenuDepth + 1)),
              "deep.rc:" + std::to_string(line) + ": menu popups nested deeper than 32 levels");
    EXPECT_NE(parseError(popups(200000)).find("nested deeper than 32"), std::string::npos);

    auto item = [](const std::string& id) {
        return "1 MENU BEGIN MENUITEM \"a\", " + id + " END\n";
    };
    EXPECT_EQ(ce::resources::parseRc("ok.rc", item(repeat("(", 31) + "5" + repeat(")", 31)),
                                     [](const std::string&) { return std::nullopt; })
                  .menus.at(1)
                  .at(0)
                  .id,
              5u);
    for (const std::string& deep : {repeat("(", 200000) + "5" + repeat(")", 200000),
                                    repeat("~", 200000) + "5", repeat("- ", 200000) + "5"})
        EXPECT_EQ(parseError(item(deep)), "deep.rc:1: expression nested deeper than 32 levels");

    // a header that includes itself, and one included over and over
    auto self = [](const std::string& name) -> std::optional<std::string> {
        if (name == "loop.h")
            return std::string("#include \"loop.h\"\n");
        if (name == "ids.h")
            return std::string("#define ID_A 3\n");
        return std::nullopt;
    };
    EXPECT_EQ(parseError("#include \"loop.h\"\n", self),
              "loop.h:1: #include nested deeper than 8 files");
    EXPECT_EQ(parseError(repeat("#include \"ids.h\"\n", 65), self),
              "deep.rc:65: more than 64 #include files");
    EXPECT_EQ(ce::resources::parseRc(
                  "ok.rc", "#include <windows.h>\n#include \"ids.h\"\n" + item("ID_A"), self)
                  .menus.at(1)
                  .at(0)
                  .id,
              3u);
}

// Sums wrap instead of overflowing (UBSan watches), and long inputs are read whole.
TEST(ResourceReader, LongInputsAndLargeNumbers) {
    auto none = [](const std::string&) -> std::optional<std::string> { return std::nullopt; };
    auto set = ce::resources::parseRc("big.rc",
                                      "1 MENU BEGIN MENUITEM \"a\", 9223372036854775807 + 1 + 5\n"
                                      "MENUITEM \"b\", -(-9223372036854775807 - 1) + 6 END\n",
                                      none);
    EXPECT_EQ(set.menus.at(1).at(0).id, 5u);
    EXPECT_EQ(set.menus.at(1).at(1).id, 6u);

    std::string table = "STRINGTABLE\nBEGIN\n";
    for (int i = 0; i < 50000; ++i)
        table += std::to_string(i) + ", \"s" + std::to_string(i) + "\"\n";
    table += "END\n1 MENU BEGIN MENUITEM \"" + std::string(1 << 20, 'x') + "\", 1 END\n";
    set = ce::resources::parseRc("big.rc", table, none);
    EXPECT_EQ(set.strings.size(), 50000u);
    EXPECT_EQ(set.strings.at(49999), u"s49999");
    EXPECT_EQ(set.menus.at(1).at(0).text.size(), size_t(1) << 20);
}

TEST(ResourceReader, BadIconDataIsRefused) {
    EXPECT_THROW(ce::resources::decodeIco(""), std::runtime_error);
    EXPECT_THROW(ce::resources::decodeIco(std::string("\0\0\1\0\1\0", 6)), std::runtime_error);
    std::string huge("\0\0\1\0\1\0", 6);
    huge += std::string("\x10\x10\0\0\1\0\x18\0\xff\xff\xff\x7f\x16\0\0\0", 16);
    EXPECT_THROW(ce::resources::decodeIco(huge), std::runtime_error);
}

}  // namespace
