// Feeds arbitrary bytes to the shortcut reader, as a file of the device and as bytes, and checks
// what it accepts:
// - a target of 1 to 1,023 units, with no control character but a tab, that writes back through
//   SHCreateShortcut as a file that reads the same;
// - SHGetShortcutTarget agrees with the reader, never cuts a target to fit a buffer, and never
//   writes beyond the buffer it is given;
// - the shell's split of a target into program and command line keeps the command line as
//   written (the end of the target), and the two, put together again, split the same way.
#include <windows.h>

#include <ce/shortcut.h>

#include "device.h"
#include "kernel/internal.h"
#include "kernel/kernel.h"
#include "kernel/shortcut.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

fs::path g_read;  // host file of \read.lnk

[[noreturn]] void finding(const char* what) {
    fprintf(stderr, "lnk_fuzzer: %s\n", what);
    std::abort();
}

// SHGetShortcutTarget with a buffer of cch units inside a larger one, whose other units must
// stay untouched.
bool readTarget(int cch, std::u16string& target) {
    constexpr char16_t kGuard = 0xBEEF;
    std::u16string buffer(1100, kGuard);
    BOOL ok = SHGetShortcutTarget(u"\\read.lnk", buffer.data(), cch);
    for (size_t i = static_cast<size_t>(cch); i < buffer.size(); ++i)
        if (buffer[i] != kGuard)
            finding("SHGetShortcutTarget wrote beyond its buffer");
    if (!ok)
        return false;
    size_t end = buffer.find(u'\0');
    if (end == std::u16string::npos || end >= static_cast<size_t>(cch))
        finding("SHGetShortcutTarget returned a target not terminated within the buffer");
    target = buffer.substr(0, end);
    return true;
}

void checkTarget(const std::u16string& target) {
    if (target.empty() || target.size() > ce::kernel::kMaxShortcutTarget)
        finding("a target of no length or beyond 1,023 units");
    for (char16_t c : target)
        if (c < 0x20 && c != u'\t')
            finding("a target with a control character");
    std::u16string again;
    if (!ce::kernel::parseShortcut(ce::kernel::shortcutBytes(target), again) || again != target)
        finding("a target does not read back from the bytes written for it");
    std::u16string made = u"\\made.lnk", copy = target, read;
    if (!SHCreateShortcut(made.data(), copy.data()))
        finding("SHCreateShortcut refused a target the reader accepts");
    WCHAR buffer[1024];
    if (!SHGetShortcutTarget(made.c_str(), buffer, 1024) || target != buffer)
        finding("a shortcut made by SHCreateShortcut does not read the same");
    DeleteFileW(made.c_str());
}

void checkSplit(const std::u16string& target) {
    ce::kernel::ShortcutCommand split = ce::kernel::splitShortcutTarget(target);
    const std::u16string& line = split.commandLine;
    if (line.size() > target.size() ||
        target.compare(target.size() - line.size(), line.size(), line))
        finding("the command line is not the end of the target as written");
    if (split.program.size() + line.size() > target.size())
        finding("the program and its command line are longer than the target");
    bool quote = split.program.find(u'"') == std::u16string::npos;
    std::u16string rebuilt = quote ? u"\"" + split.program + u"\"" : split.program;
    if (!line.empty())
        rebuilt += u" " + line;
    ce::kernel::ShortcutCommand again = ce::kernel::splitShortcutTarget(rebuilt);
    if (again.program != split.program || again.commandLine != line)
        finding("program and command line put together again split differently");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_read = *ce::fuzz::openDevice("lnk_fuzzer").hostPath(u"\\read.lnk");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::ofstream(g_read, std::ios::binary | std::ios::trunc) << bytes;

    std::u16string parsed;
    bool accepted = ce::kernel::parseShortcut(bytes, parsed);
    std::u16string read;
    if (readTarget(1024, read) != accepted || (accepted && read != parsed))
        finding("SHGetShortcutTarget and the reader disagree");
    // a buffer one unit short is refused; an exact one is enough
    if (accepted) {
        int exact = static_cast<int>(parsed.size()) + 1;
        if (readTarget(exact - 1, read) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            finding("a target was cut to fit a buffer");
        if (!readTarget(exact, read) || read != parsed)
            finding("a buffer of the target's length and its null was refused");
        checkTarget(parsed);
    }
    // the split takes any text, also what no shortcut file holds
    checkSplit(accepted ? parsed : ce::kernel::fromUtf8(bytes));
    return 0;
}
