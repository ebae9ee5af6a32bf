// SHGetFileInfo and the system image list; image lists made by a program.
#include <shellapi.h>

#include <fstream>

#include "harness.h"

namespace ctltest {
namespace {

using FileInfoTest = ControlTest;

int iconOf(LPCWSTR path, DWORD_PTR* list = nullptr) {
    SHFILEINFO info{};
    const DWORD_PTR r =
        SHGetFileInfo(path, 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    if (list)
        *list = r;
    return r ? info.iIcon : -100;
}

TEST_F(FileInfoTest, SmallIconIndexesOfRootFolderFileAndPattern) {
    std::ofstream(device_->host(u"\\Windows\\readme.txt")) << "x";
    DWORD_PTR list = 0;
    const int root = iconOf(u"\\", &list);
    ASSERT_NE(0u, list);
    auto himl = reinterpret_cast<HIMAGELIST>(list);
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(himl, &cx, &cy));
    EXPECT_EQ(16, cx);
    EXPECT_EQ(16, cy);
    const int folder = iconOf(u"\\Windows");
    const int file = iconOf(u"\\Windows\\readme.txt");
    EXPECT_NE(root, folder);
    EXPECT_NE(folder, file);
    EXPECT_EQ(folder, iconOf(u"\\Windows\\*"));  // a search pattern stands for its folder
    EXPECT_EQ(folder, iconOf(u"\\*"));
    EXPECT_GT(ImageList_GetImageCount(himl), std::max({root, folder, file}));
    DWORD_PTR again = 0;
    iconOf(u"\\Windows", &again);
    EXPECT_EQ(list, again);                 // one system list per device
    EXPECT_FALSE(ImageList_Destroy(himl));  // it belongs to the shell
    EXPECT_EQ(-100, iconOf(u"\\No such folder"));
}

TEST_F(FileInfoTest, DisplayAndTypeNames) {
    SHFILEINFO info{};
    ASSERT_NE(
        0u, SHGetFileInfo(u"\\Windows", 0, &info, sizeof info, SHGFI_DISPLAYNAME | SHGFI_TYPENAME));
    EXPECT_EQ(std::u16string(u"Windows"), std::u16string(info.szDisplayName));
    EXPECT_EQ(std::u16string(u"Folder"), std::u16string(info.szTypeName));
    EXPECT_EQ(0u,
              SHGetFileInfo(u"\\Windows", 0, &info, 10, SHGFI_DISPLAYNAME));  // record too small
}

using ImageListTest = ControlTest;

TEST_F(ImageListTest, CreateAddDrawDestroy) {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 2);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(0, ImageList_GetImageCount(list));
    DWORD_PTR system = 0;
    iconOf(u"\\", &system);
    HICON icon = ImageList_GetIcon(reinterpret_cast<HIMAGELIST>(system), 0, ILD_NORMAL);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(0, ImageList_AddIcon(list, icon));
    EXPECT_EQ(1, ImageList_AddIcon(list, icon));
    EXPECT_EQ(2, ImageList_GetImageCount(list));
    DestroyIcon(icon);
    HDC dc = GetDC(parent_);
    EXPECT_TRUE(ImageList_Draw(list, 1, dc, 0, 0, ILD_TRANSPARENT));
    EXPECT_FALSE(ImageList_Draw(list, 2, dc, 0, 0, ILD_TRANSPARENT));
    ReleaseDC(parent_, dc);
    EXPECT_TRUE(ImageList_Remove(list, 0));
    EXPECT_EQ(1, ImageList_GetImageCount(list));
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_FALSE(ImageList_Destroy(list));  // a destroyed handle is refused, not used
    EXPECT_EQ(0, ImageList_GetImageCount(list));
    EXPECT_EQ(nullptr, ImageList_Create(0, 16, ILC_COLOR32, 1, 1));
}

}  // namespace
}  // namespace ctltest
