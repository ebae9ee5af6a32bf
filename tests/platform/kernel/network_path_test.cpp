// A path that begins with two separators names a network share on Win32 and Windows CE. The
// device has no network: every file call fails, with the error Windows gives, and nothing in
// the object store is touched, however the rest of the path reads (a server named like a
// folder of the root, a wildcard, "." components).
#include "util.h"

#include <aygshell.h>
#include <shellapi.h>

#include <functional>

using ce::test::TempDevice;

namespace {

struct Spelling {
    const char16_t* path;
    DWORD error;
};

// A named server that cannot be reached is ERROR_BAD_NETPATH; no server name at all is no
// path (ERROR_PATH_NOT_FOUND, as Win32 answers "\\" and "\/"); the desktop's "\\?\" and "\\.\"
// namespaces do not exist on the device (ERROR_INVALID_NAME, as Win32 answers the bare prefix).
const Spelling kSpellings[] = {
    {u"\\\\", ERROR_PATH_NOT_FOUND},
    {u"\\/", ERROR_PATH_NOT_FOUND},
    {u"//", ERROR_PATH_NOT_FOUND},
    {u"/\\", ERROR_PATH_NOT_FOUND},
    {u"\\\\\\", ERROR_PATH_NOT_FOUND},
    {u"\\\\\\Windows", ERROR_PATH_NOT_FOUND},
    {u"\\/\\Windows\\keep.txt", ERROR_PATH_NOT_FOUND},
    {u"\\/*", ERROR_BAD_NETPATH},      // a server named "*"
    {u"\\/.\\*", ERROR_INVALID_NAME},  // "\\.\*" in other separators
    {u"\\\\Windows", ERROR_BAD_NETPATH},
    {u"\\\\Windows\\keep.txt", ERROR_BAD_NETPATH},
    {u"//Windows/keep.txt", ERROR_BAD_NETPATH},
    {u"\\/Windows\\keep.txt", ERROR_BAD_NETPATH},
    {u"/\\Windows/Sub", ERROR_BAD_NETPATH},
    {u"\\\\x\\y", ERROR_BAD_NETPATH},
    {u"//x\\y", ERROR_BAD_NETPATH},
    {u"\\\\Windows\\*", ERROR_BAD_NETPATH},
    {u"\\\\keep.txt", ERROR_BAD_NETPATH},
    {u"\\\\?\\", ERROR_INVALID_NAME},
    {u"\\\\?\\Windows\\keep.txt", ERROR_INVALID_NAME},
    {u"\\\\.\\", ERROR_INVALID_NAME},
    {u"\\\\.\\Windows", ERROR_INVALID_NAME},
};

// Every call of the platform that takes a device path, run on one spelling. Each returns true
// when the call failed (the error is then read from GetLastError).
struct Call {
    const char* name;
    std::function<bool(LPCWSTR)> fails;
};

bool failedHandle(HANDLE h) {
    if (h == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(h);
    return false;
}

std::function<bool(LPCWSTR)> createFile(DWORD access, DWORD disposition) {
    return [=](LPCWSTR p) {
        return failedHandle(CreateFileW(p, access, 0, nullptr, disposition, 0, nullptr));
    };
}

const std::vector<Call>& calls() {
    static const std::vector<Call> all = {
        {"CreateFileW OPEN_EXISTING", createFile(GENERIC_READ, OPEN_EXISTING)},
        {"CreateFileW CREATE_ALWAYS", createFile(GENERIC_WRITE, CREATE_ALWAYS)},
        {"CreateFileW TRUNCATE_EXISTING", createFile(GENERIC_WRITE, TRUNCATE_EXISTING)},
        {"FindFirstFileW",
         [](LPCWSTR p) {
             WIN32_FIND_DATAW fd;
             HANDLE h = FindFirstFileW(p, &fd);
             if (h == INVALID_HANDLE_VALUE)
                 return true;
             FindClose(h);
             return false;
         }},
        {"DeleteFileW", [](LPCWSTR p) { return !DeleteFileW(p); }},
        {"RemoveDirectoryW", [](LPCWSTR p) { return !RemoveDirectoryW(p); }},
        {"CreateDirectoryW", [](LPCWSTR p) { return !CreateDirectoryW(p, nullptr); }},
        {"MoveFileW from", [](LPCWSTR p) { return !MoveFileW(p, u"\\moved"); }},
        {"MoveFileW to", [](LPCWSTR p) { return !MoveFileW(u"\\Temp\\mine.txt", p); }},
        {"CopyFileW from", [](LPCWSTR p) { return !CopyFileW(p, u"\\copied", FALSE); }},
        {"CopyFileW to", [](LPCWSTR p) { return !CopyFileW(u"\\Temp\\mine.txt", p, FALSE); }},
        {"GetFileAttributesW",
         [](LPCWSTR p) { return GetFileAttributesW(p) == INVALID_FILE_ATTRIBUTES; }},
        {"SetFileAttributesW",
         [](LPCWSTR p) { return !SetFileAttributesW(p, FILE_ATTRIBUTE_HIDDEN); }},
        {"SHCreateShortcut",
         [](LPCWSTR p) {
             std::u16string path(p);
             return !SHCreateShortcut(path.data(), const_cast<LPWSTR>(u"\\Windows\\calc.exe"));
         }},
        {"SHGetShortcutTarget",
         [](LPCWSTR p) {
             WCHAR target[MAX_PATH];
             return !SHGetShortcutTarget(p, target, MAX_PATH);
         }},
        {"CreateProcessW",
         [](LPCWSTR p) {
             // a program inside the share (a bare folder name would gain ".exe")
             std::u16string program = std::u16string(p) + u"\\prog.exe", line;
             PROCESS_INFORMATION pi{};
             return !CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                                    nullptr, nullptr, nullptr, &pi);
         }},
    };
    return all;
}

class NetworkPathTest : public ::testing::Test {
  protected:
    TempDevice device{TempDevice::Contents::Empty};
    std::filesystem::path canary = device.outside() / "canary.txt";
    void SetUp() override {
        // the server names of the table are also names at the root, so that a path read as
        // "the root, then Windows\keep.txt" would find something to destroy
        kt::writeHost(device.host(u"\\Windows\\keep.txt"), "keep");
        kt::writeHost(device.host(u"\\Windows\\Sub\\deep.txt"), "deep");
        kt::writeHost(device.host(u"\\x\\y"), "y");
        kt::writeHost(device.host(u"\\keep.txt"), "root file");
        kt::writeHost(device.host(u"\\Temp\\mine.txt"), "mine");
        kt::writeHost(canary, "alive");
    }
};

TEST_F(NetworkPathTest, EveryFileCallFailsWithTheNetworkErrorAndTouchesNothing) {
    const auto before = kt::snapshot(device.dir() / "root");
    for (const Spelling& s : kSpellings) {
        for (const Call& call : calls()) {
            SetLastError(0);
            EXPECT_TRUE(call.fails(s.path)) << call.name << " succeeded on " << kt::utf8(s.path);
            EXPECT_EQ(GetLastError(), s.error) << call.name << " on " << kt::utf8(s.path);
        }
        ASSERT_EQ(kt::snapshot(device.dir() / "root"), before) << "after " << kt::utf8(s.path);
    }
    EXPECT_EQ(kt::readHost(canary), "alive");
    EXPECT_EQ(_wfopen(u"\\/Windows/keep.txt", u"r"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(_wfopen(u"\\\\keep.txt", u"w"), nullptr);
    EXPECT_FALSE(ce::Device::current()->hostPath(u"\\/Windows"));
    EXPECT_EQ(kt::snapshot(device.dir() / "root"), before);
}

TEST_F(NetworkPathTest, ACleanUpStartedAtANetworkNameDeletesNothing) {
    const auto before = kt::snapshot(device.dir() / "root");
    for (const char16_t* start : {u"\\/", u"//", u"\\\\", u"/\\", u"\\/./", u"\\\\Windows\\"}) {
        kt::cleanTree(start);
        ASSERT_EQ(kt::snapshot(device.dir() / "root"), before) << kt::utf8(start);
    }
    // the walk itself works: from the root it reaches every file
    kt::cleanTree(u"\\");
    EXPECT_TRUE(kt::find(u"\\*").empty());
    EXPECT_EQ(kt::readHost(canary), "alive");
}

TEST_F(NetworkPathTest, OneSeparatorStillNamesTheRootAndDoubledOnesLaterStillCollapse) {
    EXPECT_EQ(GetFileAttributesW(u"/Windows/keep.txt"), DWORD(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(u"\\Windows\\\\keep.txt"), DWORD(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(u"\\.\\Windows//Sub"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(kt::names(u"/x/*"), std::vector<std::u16string>{u"y"});
    EXPECT_TRUE(DeleteFileW(u"\\./Windows//keep.txt"));
    EXPECT_FALSE(std::filesystem::exists(device.host(u"\\Windows\\keep.txt")));
}

}  // namespace
