// The registry kept by several programs that may die at any moment: each change is on disk when
// its call returns, an unfinished one is dropped whole, what a killed program left is cleared
// away when the device next opens, and programs sharing a device see and keep each other's
// changes.
#include <pkfuncs.h>

#include "regutil.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <thread>

using ce::test::TempDevice;
namespace fs = std::filesystem;

namespace {

class RegistryJournalTest : public ::testing::Test {
  protected:
    TempDevice device{TempDevice::Contents::Empty};
    fs::path file = device.dir() / "registry.reg";
    fs::path journal = device.dir() / "registry.journal";

    // Runs fn as another program of the device, which ends with _exit as a killed program does
    // (nothing is folded or closed); returns its exit code.
    int asKilledProgram(const std::function<int()>& fn) {
        pid_t pid = fork();
        if (pid == 0) {
            ce::Device::open(device.dir());
            _exit(fn());
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::vector<std::string> leftovers() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(device.dir())) {
            if (e.path().filename().string().rfind("registry.reg.tmp.", 0) == 0)
                out.push_back(e.path().filename().string());
        }
        return out;
    }
};

HKEY createKey(HKEY root, const char16_t* path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
    return key;
}

LONG setIn(const char16_t* path, const char16_t* name, DWORD v) {
    HKEY key = createKey(HKEY_CURRENT_USER, path);
    LONG rc = kt::setDword(key, name, v);
    RegCloseKey(key);
    return rc;
}

TEST_F(RegistryJournalTest, AChangeWaitsInTheJournalUntilTheLastProgramClosesTheDevice) {
    std::string before = kt::readHost(file);
    ASSERT_EQ(setIn(u"App", u"Count", 7), ERROR_SUCCESS);
    // on disk in the journal, registry.reg untouched, and every other program sees it
    EXPECT_EQ(kt::readHost(file), before);
    EXPECT_NE(kt::readHost(journal).find("\"Count\"=dword:00000007"), std::string::npos);
    kt::Result r = kt::run(std::string(CEDEVICE) + " reg " + kt::shq(device.dir()));
    EXPECT_NE(r.out.find("[HKEY_CURRENT_USER\\App]\n\"Count\"=dword:00000007\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(kt::readHost(file), before);  // that program was not the last to close

    // another program holds the device open: closing this one leaves the journal as it is
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    pid_t other = fork();
    if (other == 0) {
        ce::Device::open(device.dir());
        char c = 1;
        bool ok = write(ready[1], &c, 1) == 1 && read(done[0], &c, 1) == 1 &&
                  kt::getDword(HKEY_CURRENT_USER, u"App", u"Late") == 8;
        ce::Device::close();  // the last one: folds
        _exit(ok ? 0 : 1);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(setIn(u"App", u"Late", 8), ERROR_SUCCESS);
    ce::Device::close();
    EXPECT_EQ(kt::readHost(file), before);
    ASSERT_TRUE(fs::exists(journal));
    ASSERT_EQ(write(done[1], &c, 1), 1);
    int status = 0;
    waitpid(other, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);

    EXPECT_FALSE(fs::exists(journal));
    std::string after = kt::readHost(file);
    EXPECT_NE(after.find("[HKEY_CURRENT_USER\\App]\n\"Count\"=dword:00000007\n"
                         "\"Late\"=dword:00000008\n"),
              std::string::npos)
        << after;
    ce::Device::open(device.dir());
}

TEST_F(RegistryJournalTest, WhatAKilledProgramLeftIsClearedAwayWhenTheDeviceOpens) {
    ce::Device::close();
    kt::writeHost(device.dir() / "registry.reg.tmp.4242", "half a registry");
    ASSERT_EQ(asKilledProgram([] { return setIn(u"Killed", u"Kept", 1) == ERROR_SUCCESS ? 0 : 1; }),
              0);
    ASSERT_TRUE(fs::exists(journal));
    // a program killed while appending its change leaves part of an entry behind
    ASSERT_EQ(asKilledProgram([] { return setIn(u"Killed", u"Torn", 2) == ERROR_SUCCESS ? 0 : 1; }),
              0);
    std::string torn = kt::readHost(journal);
    ASSERT_NE(torn.find("\"Torn\"=dword:00000002\n"), std::string::npos);
    torn.resize(torn.size() - 10);
    kt::writeHost(journal, torn);

    ce::Device::open(device.dir());
    EXPECT_TRUE(leftovers().empty());
    EXPECT_EQ(kt::getDword(HKEY_CURRENT_USER, u"Killed", u"Kept"), 1u);
    EXPECT_EQ(kt::getDword(HKEY_CURRENT_USER, u"Killed", u"Torn"), 0xBEEFu);
    // alone on the device, the opener folded the journal in
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_NE(kt::readHost(file).find("\"Kept\"=dword:00000001"), std::string::npos);
    std::string log = device.log();
    EXPECT_NE(log.find("removed registry.reg.tmp.4242"), std::string::npos) << log;
    EXPECT_NE(log.find("dropped an unfinished change"), std::string::npos) << log;
}

TEST_F(RegistryJournalTest, AnEmptyJournalLeftByAKilledProgramGetsItsFirstLine) {
    ce::Device::close();
    kt::writeHost(journal, "");  // killed between making the file and writing to it
    ASSERT_EQ(asKilledProgram([] { return setIn(u"E", u"v", 5) == ERROR_SUCCESS ? 0 : 1; }), 0);
    EXPECT_EQ(kt::readHost(journal).rfind("; registry journal 1, base ", 0), 0u);
    ce::Device::open(device.dir());
    EXPECT_EQ(kt::getDword(HKEY_CURRENT_USER, u"E", u"v"), 5u);
}

TEST_F(RegistryJournalTest, AJournalIsReadOnlyOnTopOfTheRegistryItWasWrittenFor) {
    ce::Device::close();
    ASSERT_EQ(asKilledProgram([] { return setIn(u"J", u"v", 1) == ERROR_SUCCESS ? 0 : 1; }), 0);
    // registry.reg replaced meanwhile (by hand, or by a fold that was killed before it could
    // remove the journal): the journal belongs to the file that was there before
    kt::writeHost(file, "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Hand]\n");
    ce::Device::open(device.dir());
    EXPECT_EQ(kt::getDword(HKEY_CURRENT_USER, u"J", u"v"), 0xDEADu);
    HKEY k;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Hand", 0, 0, &k), ERROR_SUCCESS);
    RegCloseKey(k);
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_NE(device.log().find("journal dropped"), std::string::npos);

    // a file that is no journal is refused, named, and left alone
    ce::Device::close();
    kt::writeHost(journal, "something else entirely\n");
    try {
        ce::Device::open(device.dir());
        FAIL() << "a foreign registry.journal was read";
    } catch (const ce::DeviceError& e) {
        EXPECT_NE(std::string(e.what()).find("registry.journal, line 1"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(kt::readHost(journal), "something else entirely\n");
    fs::remove(journal);
    ce::Device::open(device.dir());
}

TEST_F(RegistryJournalTest, LinksAndSpecialFilesInTheRegistrysPlaceAreNeverFollowedOrWaitedOn) {
    fs::path canary = device.outside() / "canary";
    kt::writeHost(canary, "outside");
    // a link planted where the registry's temporary file goes is replaced, not written through
    fs::create_symlink(canary, device.dir() / ("registry.reg.tmp." + std::to_string(getpid())));
    ASSERT_EQ(setIn(u"Links", u"v", 1), ERROR_SUCCESS);
    ce::Device::close();
    EXPECT_EQ(kt::readHost(canary), "outside");
    EXPECT_NE(kt::readHost(file).find("[HKEY_CURRENT_USER\\Links]"), std::string::npos);

    // a journal that is a link is refused, and the file it names is left alone
    fs::create_symlink(canary, journal);
    EXPECT_THROW(ce::Device::open(device.dir()), ce::DeviceError);
    EXPECT_EQ(kt::readHost(canary), "outside");
    fs::remove(journal);

    // a FIFO for registry.reg would block every program: it is refused at once
    std::string before = kt::readHost(file);
    fs::rename(file, device.dir() / "registry.saved");
    ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
    pid_t pid = fork();
    if (pid == 0) {
        alarm(10);
        try {
            ce::Device::open(device.dir());
        } catch (const ce::DeviceError& e) {
            _exit(std::string(e.what()).find("not a plain file") != std::string::npos ? 0 : 2);
        }
        _exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    fs::remove(file);
    fs::rename(device.dir() / "registry.saved", file);
    ce::Device::open(device.dir());
    EXPECT_EQ(kt::getDword(HKEY_CURRENT_USER, u"Links", u"v"), 1u);
}

TEST_F(RegistryJournalTest, AChangeThatCannotBeWrittenFailsAndChangesNothing) {
    ASSERT_EQ(setIn(u"Disk", u"small", 1), ERROR_SUCCESS);
    ce::Device::close();
    int code = asKilledProgram([&] {
        // the journal may not grow: as on a full disk
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        HKEY key = createKey(HKEY_CURRENT_USER, u"Disk");
        std::vector<BYTE> big(4000, 0xAB);
        LONG rc = RegSetValueExW(key, u"big", 0, REG_BINARY, big.data(), 4000);
        DWORD size = 0;
        LONG query = RegQueryValueExW(key, u"big", nullptr, nullptr, nullptr, &size);
        return rc == ERROR_REGISTRY_IO_FAILED && query == ERROR_FILE_NOT_FOUND ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    ce::Device::open(device.dir());
    EXPECT_EQ(kt::getDword(HKEY_CURRENT_USER, u"Disk", u"small"), 1u);
    EXPECT_EQ(kt::getDword(HKEY_CURRENT_USER, u"Disk", u"big"), 0xBEEFu);
    EXPECT_NE(device.log().find("registry not written"), std::string::npos);
}

TEST(RegistryCleanBoot, RestoresTheFactoryRegistryAndDropsTheJournal) {
    TempDevice device;
    ce::Device::close();
    pid_t pid = fork();
    if (pid == 0) {
        ce::Device::open(device.dir());
        LONG rc = setIn(u"Software\\AfterFactory", u"v", 1);
        SetCleanRebootFlag();
        _exit(rc == ERROR_SUCCESS ? 0 : 1);  // killed: the change stays in the journal
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(fs::exists(device.dir() / "registry.journal"));
    ce::kernel::boot(device.dir(), std::chrono::seconds(5));
    HKEY k;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\AfterFactory", 0, 0, &k),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(kt::readHost(device.dir() / "registry.reg"),
              kt::readHost(device.dir() / "factory" / "registry.reg"));
}

TEST_F(RegistryJournalTest, AGrowingJournalIsFoldedInWhileTheProgramRuns) {
    HKEY key = createKey(HKEY_CURRENT_USER, u"Grow");
    std::vector<BYTE> chunk(2000, 0x5A);
    for (DWORD i = 0; i < 60; ++i) {  // about 6 KB of text each
        std::u16string name = u"chunk" + ce::kernel::fromUtf8(std::to_string(i));
        ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, REG_BINARY, chunk.data(), 2000),
                  ERROR_SUCCESS);
    }
    RegCloseKey(key);
    // registry.reg took in the first changes; the journal holds only what came after
    EXPECT_NE(kt::readHost(file).find("\"chunk0\"=hex:5a,5a"), std::string::npos);
    EXPECT_LT(fs::exists(journal) ? fs::file_size(journal) : 0, fs::file_size(file));
    EXPECT_NE(ce::kernel::exportRegistry().find("\"chunk59\"=hex:5a,5a"), std::string::npos);
}

TEST_F(RegistryJournalTest, OfTwoProgramsClosingAtOnceTheLastFoldsTheJournalIn) {
    ce::Device::close();
    for (int round = 0; round < 30; ++round) {
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        pid_t pids[2];
        for (int p = 0; p < 2; ++p) {
            pids[p] = fork();
            if (pids[p] == 0) {
                close(go[1]);
                ce::Device::open(device.dir());
                LONG rc = setIn(p ? u"B" : u"A", u"round", static_cast<DWORD>(round));
                char c;
                if (read(go[0], &c, 1) != 1)  // both close when the pipe closes
                    ce::Device::close();
                _exit(rc == ERROR_SUCCESS ? 0 : 1);
            }
        }
        close(go[0]);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        close(go[1]);
        for (pid_t pid : pids) {
            int status = 0;
            waitpid(pid, &status, 0);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        ASSERT_FALSE(fs::exists(journal)) << "round " << round;
        std::string text = kt::readHost(file);
        for (const char* key : {"A", "B"}) {
            char line[64];
            snprintf(line, sizeof line, "[HKEY_CURRENT_USER\\%s]\n\"round\"=dword:%08x\n", key,
                     round);
            EXPECT_NE(text.find(line), std::string::npos) << "round " << round << "\n" << text;
        }
    }
    ce::Device::open(device.dir());
}

// ---- many changes, and programs killed in the middle of them ----

// The registry below HKCU\Series as the test reads it back: per key, its DWORD values and
// whether it has its subkey "Sub".
struct Snapshot {
    std::map<std::u16string, std::map<std::u16string, DWORD>> values;
    std::map<std::u16string, bool> sub;
    bool operator==(const Snapshot&) const = default;
};

constexpr int kSeriesKeys = 5;

std::u16string seriesKey(int i) {
    return u"K" + ce::kernel::fromUtf8(std::to_string(i % kSeriesKeys));
}
std::u16string seriesValue(int i) {
    return u"v" + ce::kernel::fromUtf8(std::to_string((i / kSeriesKeys) % 13));
}

// Change i of the series, made through one call.
LONG seriesChange(int i, HKEY keys[kSeriesKeys]) {
    HKEY key = keys[i % kSeriesKeys];
    if (i % 11 == 10)
        return RegDeleteKeyW(key, u"Sub");
    if (i % 11 == 5) {
        HKEY sub = nullptr;
        LONG rc = RegCreateKeyExW(key, u"Sub", 0, nullptr, 0, 0, nullptr, &sub, nullptr);
        RegCloseKey(sub);
        return rc;
    }
    if (i % 7 == 6)
        return RegDeleteValueW(key, seriesValue(i).c_str());
    DWORD v = static_cast<DWORD>(i);
    return RegSetValueExW(key, seriesValue(i).c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&v),
                          4);
}

// The same change in the test's own model of the registry.
void seriesModel(int i, Snapshot& s) {
    std::u16string key = seriesKey(i);
    if (i % 11 == 10)
        s.sub[key] = false;
    else if (i % 11 == 5)
        s.sub[key] = true;
    else if (i % 7 == 6)
        s.values[key].erase(seriesValue(i));
    else
        s.values[key][seriesValue(i)] = static_cast<DWORD>(i);
}

Snapshot readSeries() {
    Snapshot s;
    for (const auto& [key, values] : kt::dwordsBelow(HKEY_CURRENT_USER, u"Series")) {
        s.values[key] = values;
        HKEY sub;
        s.sub[key] = RegOpenKeyExW(HKEY_CURRENT_USER, (u"Series\\" + key + u"\\Sub").c_str(), 0, 0,
                                   &sub) == ERROR_SUCCESS;
        RegCloseKey(sub);
    }
    return s;
}

Snapshot emptySeries() {
    Snapshot s;
    for (int k = 0; k < kSeriesKeys; ++k) {
        s.values[seriesKey(k)];
        s.sub[seriesKey(k)] = false;
    }
    return s;
}

// A program making the series from change `first` on, telling the pipe after each call returns;
// every 40 changes it folds the journal in, as a closing program or a reboot does.
[[noreturn]] void seriesProgram(const fs::path& dir, int first, int ackFd) {
    ce::Device::open(dir);
    HKEY keys[kSeriesKeys];
    for (int k = 0; k < kSeriesKeys; ++k)
        RegOpenKeyExW(HKEY_CURRENT_USER, (u"Series\\" + seriesKey(k)).c_str(), 0, 0, &keys[k]);
    for (int i = first;; ++i) {
        seriesChange(i, keys);
        if (write(ackFd, &i, sizeof i) != sizeof i)
            _exit(1);
        if (i % 40 == 39)
            ce::Device::current()->impl().registry.fold();
    }
}

TEST_F(RegistryJournalTest, KilledAtRandomPointsOfALongSeriesOfChangesNothingThatReturnedIsLost) {
    for (int k = 0; k < kSeriesKeys; ++k)
        RegCloseKey(createKey(HKEY_CURRENT_USER, (u"Series\\" + seriesKey(k)).c_str()));
    ce::Device::close();
    Snapshot known = emptySeries();
    int next = 0;  // the first change not yet in `known`
    std::mt19937 random(20240611);
    const int kRounds = 220;
    for (int round = 0; round < kRounds; ++round) {
        int acks[2];
        ASSERT_EQ(pipe2(acks, O_CLOEXEC), 0);
        pid_t pid = fork();
        if (pid == 0) {
            close(acks[0]);
            seriesProgram(device.dir(), next, acks[1]);
        }
        close(acks[1]);
        int last = next - 1;
        // one round in eight dies before its first change returns (while opening the device or
        // folding in what the last one left); the others after a few changes
        if (random() % 8 != 0) {
            ASSERT_EQ(read(acks[0], &last, sizeof last), static_cast<ssize_t>(sizeof last));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        for (int i; read(acks[0], &i, sizeof i) == sizeof i;) last = i;
        close(acks[0]);

        // every change that returned is there, and the one under way is there whole or not at all
        ce::Device::open(device.dir());
        Snapshot found = readSeries();
        Snapshot expected = known;
        for (int i = next; i <= last; ++i) seriesModel(i, expected);
        Snapshot withNext = expected;
        seriesModel(last + 1, withNext);
        if (found == withNext) {
            expected = withNext;
            ++last;
        }
        ASSERT_EQ(found, expected) << "round " << round << ": changes " << next << " to " << last
                                   << " made before the kill";
        EXPECT_TRUE(leftovers().empty()) << "round " << round;
        ce::Device::close();
        known = expected;
        next = last + 1;
    }
    // many changes in all, with folds among them
    EXPECT_GT(next, kRounds * 3);
    ce::Device::open(device.dir());
}

// A program changing its own key and a shared one, and answering another program's pings:
// each sees the other's changes while both run.
[[noreturn]] void sharingProgram(const fs::path& dir, const char16_t* self, bool pinger) {
    ce::Device::open(dir);
    HKEY own = createKey(HKEY_CURRENT_USER, (std::u16string(u"Share\\") + self).c_str());
    HKEY shared = createKey(HKEY_CURRENT_USER, u"Share\\Common");
    bool ok = own && shared;
    for (DWORD i = 0; ok && i < 300; ++i) {
        std::u16string n = ce::kernel::fromUtf8(std::to_string(i));
        ok = kt::setDword(own, (u"n" + n).c_str(), i) == ERROR_SUCCESS &&
             kt::setDword(shared, (self + n).c_str(), i) == ERROR_SUCCESS;
        if (ok && i % 5 == 4)  // every fifth value goes again
            ok = RegDeleteValueW(own, (u"n" + n).c_str()) == ERROR_SUCCESS;
        if (i % 100 == 99)
            ce::Device::current()->impl().registry.fold();
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (DWORD round = 1; ok && round <= 20; ++round) {
        const char16_t* mine = pinger ? u"ping" : u"pong";
        const char16_t* theirs = pinger ? u"pong" : u"ping";
        if (pinger)
            ok = kt::setDword(shared, mine, round) == ERROR_SUCCESS;
        while (ok && kt::getDword(HKEY_CURRENT_USER, u"Share\\Common", theirs) != round)
            ok = std::chrono::steady_clock::now() < deadline;
        if (ok && !pinger)
            ok = kt::setDword(shared, mine, round) == ERROR_SUCCESS;
    }
    RegCloseKey(own);
    RegCloseKey(shared);
    ce::Device::close();
    _exit(ok ? 0 : 1);
}

TEST_F(RegistryJournalTest, TwoProgramsChangingOneDeviceAtOnceSeeEachOtherAndLoseNothing) {
    ce::Device::close();
    pid_t a = fork();
    if (a == 0)
        sharingProgram(device.dir(), u"A", true);
    pid_t b = fork();
    if (b == 0)
        sharingProgram(device.dir(), u"B", false);
    for (pid_t pid : {a, b}) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "program " << pid;
    }
    EXPECT_FALSE(fs::exists(journal));  // the last to close folded it in
    ce::Device::open(device.dir());
    kt::Dwords found = kt::dwordsBelow(HKEY_CURRENT_USER, u"Share");
    for (const char16_t* who : {u"A", u"B"}) {
        std::map<std::u16string, DWORD> own;
        for (DWORD i = 0; i < 300; ++i) {
            std::u16string n = ce::kernel::fromUtf8(std::to_string(i));
            if (i % 5 != 4)
                own[u"n" + n] = i;
            EXPECT_EQ(found[u"Common"][who + n], i);
        }
        EXPECT_EQ(found[who], own);
    }
    EXPECT_EQ(found[u"Common"][u"ping"], 20u);
    EXPECT_EQ(found[u"Common"][u"pong"], 20u);
}

}  // namespace
