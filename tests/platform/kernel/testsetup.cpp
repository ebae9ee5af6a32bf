// A setup library for the installer tests: each hook appends a line to \Temp\hooks.txt.
#include <windows.h>

#include <string>

namespace {

void record(const std::u16string& line) {
    FILE* f = _wfopen(u"\\Temp\\hooks.txt", u"a");
    if (!f)
        return;
    for (char16_t c : line) fputc(c < 0x80 ? static_cast<char>(c) : '?', f);
    fputc('\n', f);
    fclose(f);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int Install_Init(HWND parent, BOOL first, BOOL previous,
                                                        LPCWSTR dir) {
    record(u"Install_Init " + std::u16string(parent ? u"parent" : u"null") + u" " +
           (first ? u"1" : u"0") + u" " + (previous ? u"1" : u"0") + u" " + dir);
    return 0;
}

__attribute__((visibility("default"))) int Install_Exit(HWND, LPCWSTR dir, WORD, WORD, WORD, WORD,
                                                        WORD) {
    record(u"Install_Exit " + std::u16string(dir));
    return 0;
}

__attribute__((visibility("default"))) int Uninstall_Init(HWND, LPCWSTR dir) {
    record(u"Uninstall_Init " + std::u16string(dir));
    return 0;
}

__attribute__((visibility("default"))) int Uninstall_Exit(HWND) {
    record(u"Uninstall_Exit");
    return 0;
}
}
