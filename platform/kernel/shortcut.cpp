// Shortcut files: "<count>#<target>".
#include "shortcut.h"

#include <algorithm>

#include "internal.h"

namespace ce::kernel {

std::string shortcutBytes(std::u16string_view target) {
    return std::to_string(target.size()) + "#" + toUtf8(target);
}

bool parseShortcut(std::string_view bytes, std::u16string& target) {
    if (bytes.size() > kMaxShortcutFile)
        return false;
    size_t i = 0;
    size_t count = 0;
    while (i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9') {
        count = count * 10 + static_cast<size_t>(bytes[i] - '0');
        if (++i > 5)
            return false;
    }
    if (i == 0 || i >= bytes.size() || bytes[i] != '#')
        return false;
    std::string_view rest = bytes.substr(i + 1);
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.remove_suffix(1);
    for (char c : rest) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
            return false;  // binary junk
    }
    std::u16string text = fromUtf8(rest);
    if (toUtf8(text) != rest)
        return false;  // not UTF-8 text
    if (text.size() < count || count == 0 || count > kMaxShortcutTarget)
        return false;
    for (size_t k = count; k < text.size(); ++k) {
        if (text[k] != u' ' && text[k] != u'\t')
            return false;  // more text than counted
    }
    text.resize(count);
    target = std::move(text);
    return true;
}

ShortcutCommand splitShortcutTarget(std::u16string_view target) {
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    size_t start = 0;
    while (start < target.size() && blank(target[start])) ++start;
    ShortcutCommand command;
    size_t end;  // just past the name
    if (start < target.size() && target[start] == u'"') {
        size_t close = target.find(u'"', start + 1);
        end = close == std::u16string_view::npos ? target.size() : close + 1;
        command.program = target.substr(start + 1, std::min(close, target.size()) - start - 1);
    } else {
        end = start;
        while (end < target.size() && !blank(target[end])) ++end;
        command.program = target.substr(start, end - start);
    }
    if (end < target.size() && blank(target[end]))
        ++end;
    command.commandLine = target.substr(end);
    return command;
}

}  // namespace ce::kernel
