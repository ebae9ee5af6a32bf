// The bytes of a Windows CE shortcut file, as the object store keeps them (the factory image
// writes them, the shell reads and writes them): "<count>#<target>", where count is the number of
// UTF-16 units of the target command line; stored as UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace ce::kernel {

inline constexpr size_t kMaxShortcutFile = 4096;  // a larger file is no shortcut
inline constexpr size_t kMaxShortcutTarget = 1023;

std::string shortcutBytes(std::u16string_view target);
// The target of a shortcut file's bytes; false when the bytes are not a shortcut.
bool parseShortcut(std::string_view bytes, std::u16string& target);

// A shortcut's target as the shell starts it: the program's name (in double quotes when it
// holds blanks: up to the closing quote; else up to the first blank or tab), then the command
// line the program gets: everything after the name and the one blank or tab that separates
// them, exactly as written (quotes, further blanks and all).
struct ShortcutCommand {
    std::u16string program;
    std::u16string commandLine;
};
ShortcutCommand splitShortcutTarget(std::u16string_view target);

}  // namespace ce::kernel
