// SHGetFileInfo: which of the system image list's icons shows a path, its display name and type.
// A search pattern (\Windows\*) stands for its folder.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "controls/common.h"
#include "controls/imagelist.h"

namespace {

bool isPattern(const std::u16string& path) {
    return path.find_first_of(u"*?") != std::u16string::npos;
}

bool endsWith(const std::u16string& s, const char16_t* suffix) {
    const std::u16string tail(suffix);
    if (s.size() < tail.size())
        return false;
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, s.data() + s.size() - tail.size(),
                          static_cast<int>(tail.size()), tail.data(),
                          static_cast<int>(tail.size())) == CSTR_EQUAL;
}

std::u16string lastComponent(std::u16string path) {
    while (path.size() > 1 && path.back() == u'\\') path.pop_back();
    const size_t slash = path.rfind(u'\\');
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

struct Kind {
    int icon;
    const char16_t* typeName;
};

Kind kindOf(const std::u16string& path, DWORD attributes) {
    if (path == u"\\")
        return {ce::controls::kIconDevice, u"Folder"};
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return {ce::controls::kIconFolder, u"Folder"};
    if (endsWith(path, u".exe"))
        return {ce::controls::kIconProgram, u"Application"};
    if (endsWith(path, u".lnk"))
        return {ce::controls::kIconShortcut, u"Shortcut"};
    return {ce::controls::kIconDocument, u"File"};
}

}  // namespace

CE_BEGIN_DECLS

CEAPI DWORD_PTR WINAPI SHGetFileInfoW(LPCWSTR path, DWORD fileAttributes, SHFILEINFOW* info,
                                      UINT infoSize, UINT flags) {
    if (!path || (info && infoSize < sizeof(SHFILEINFOW))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string p(path);
    DWORD attributes = fileAttributes;
    if (isPattern(p)) {
        attributes = FILE_ATTRIBUTE_DIRECTORY;  // the folder the pattern searches
    } else if (!(flags & SHGFI_USEFILEATTRIBUTES)) {
        attributes = GetFileAttributesW(path);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return 0;  // GetFileAttributesW set the error
    }
    const Kind kind = kindOf(isPattern(p) ? std::u16string(u"\\*") : p, attributes);
    const bool small = (flags & SHGFI_SMALLICON) != 0;
    const int icon = (flags & SHGFI_OPENICON) && kind.icon == ce::controls::kIconFolder
                         ? ce::controls::kIconOpenFolder
                         : kind.icon;
    HIMAGELIST list = ce::controls::systemImageList(small);
    if (info) {
        if (flags & (SHGFI_SYSICONINDEX | SHGFI_ICON))
            info->iIcon = icon;
        // A copy of the icon for the caller, who destroys it (DestroyIcon).
        if (flags & SHGFI_ICON)
            info->hIcon = ImageList_GetIcon(list, icon, ILD_NORMAL);
        if (flags & SHGFI_ATTRIBUTES)
            info->dwAttributes = attributes;
        if (flags & SHGFI_DISPLAYNAME) {
            const std::u16string name = p == u"\\" ? u"My Device" : lastComponent(p);
            ce::controls::copyText(name, info->szDisplayName, MAX_PATH);
        }
        if (flags & SHGFI_TYPENAME)
            ce::controls::copyText(kind.typeName, info->szTypeName, 80);
    }
    if (flags & SHGFI_SYSICONINDEX)
        return reinterpret_cast<DWORD_PTR>(list);
    return 1;
}

CE_END_DECLS
