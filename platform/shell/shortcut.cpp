// Shortcut files of the Windows CE shell: SHCreateShortcut and SHGetShortcutTarget.
#include <ce/shortcut.h>

#include "kernel/internal.h"
#include "shell/shortcut_format.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ce::shell {

std::string shortcutBytes(std::u16string_view target) {
    return std::to_string(target.size()) + "#" + kernel::toUtf8(target);
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
    std::u16string text = kernel::fromUtf8(rest);
    if (kernel::toUtf8(text) != rest)
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

}  // namespace ce::shell

using namespace ce::kernel;

extern "C" {

CEAPI BOOL SHCreateShortcut(LPWSTR shortcut, LPWSTR target) {
    if (!shortcut || !target) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string_view t(target);
    if (t.empty() || t.size() > ce::shell::kMaxShortcutTarget) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Lookup r = lookup(std::u16string_view(shortcut));
    if (r.error) {
        SetLastError(r.error);
        return FALSE;
    }
    if (r.exists || r.isRoot) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (!r.parentExists) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    int fd = open(r.host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string bytes = ce::shell::shortcutBytes(t);
    bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (close(fd) != 0)
        ok = false;
    if (!ok) {
        unlink(r.host.c_str());
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return TRUE;
}

CEAPI BOOL SHGetShortcutTarget(LPCWSTR shortcut, LPWSTR target, int cchMax) {
    if (!shortcut || !target || cchMax <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Lookup r = lookup(std::u16string_view(shortcut));
    if (r.error || !r.exists || !S_ISREG(r.st.st_mode)) {
        SetLastError(r.error ? r.error : r.exists ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    int fd = open(r.host.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string bytes(ce::shell::kMaxShortcutFile + 1, '\0');
    ssize_t n = read(fd, bytes.data(), bytes.size());
    close(fd);
    std::u16string text;
    if (n < 0 || !ce::shell::parseShortcut(std::string_view(bytes.data(), n), text)) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    if (text.size() + 1 > static_cast<size_t>(cchMax)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);  // never a cut target: it could name another file
        return FALSE;
    }
    std::copy(text.begin(), text.end(), target);
    target[text.size()] = 0;
    return TRUE;
}

}  // extern "C"
