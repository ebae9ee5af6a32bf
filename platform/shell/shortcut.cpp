// Shortcut files of the Windows CE shell: SHCreateShortcut and SHGetShortcutTarget.
#include <ce/shortcut.h>

#include "kernel/internal.h"
#include "kernel/shortcut.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

using namespace ce::kernel;

extern "C" {

CEAPI BOOL SHCreateShortcut(LPWSTR shortcut, LPWSTR target) {
    if (!shortcut || !target) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string_view t(target);
    if (t.empty() || t.size() > ce::kernel::kMaxShortcutTarget) {
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
    int fd = openFileAt(r.parent.get(), r.name, O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0) {
        SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string bytes = ce::kernel::shortcutBytes(t);
    bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (close(fd) != 0)
        ok = false;
    if (!ok) {
        unlinkat(r.parent.get(), r.name.c_str(), 0);
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
    int fd = openFileAt(r.parent.get(), r.name, O_RDONLY);
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string bytes(ce::kernel::kMaxShortcutFile + 1, '\0');
    ssize_t n = read(fd, bytes.data(), bytes.size());
    close(fd);
    std::u16string text;
    if (n < 0 || !ce::kernel::parseShortcut(std::string_view(bytes.data(), n), text)) {
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
