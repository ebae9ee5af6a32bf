// The benchmarks' and tools' shared pieces: numbers from the command line are checked rather
// than trusted, and temporary folders go however the program ends.
#include <gtest/gtest.h>

#include "hostsupport.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace fs = std::filesystem;

namespace {

TEST(ParseNumber, TakesOnlyWholeNumbersInRange) {
    long long v = 0;
    EXPECT_TRUE(ce::host::parseNumber("100000", 1, 1000000, v));
    EXPECT_EQ(v, 100000);
    EXPECT_TRUE(ce::host::parseNumber("-5", -10, 10, v));
    EXPECT_EQ(v, -5);
    for (const char* bad : {"abc", "", "12x", "-5", "0", "1000001", "+3", " 4", "4 ", "0x10",
                            "99999999999999999999999"}) {
        v = 77;
        EXPECT_FALSE(ce::host::parseNumber(bad, 1, 1000000, v)) << bad;
        EXPECT_EQ(v, 77) << "changed by " << bad;
    }
}

// The benchmarks' own arguments: a count and --rounds, each checked; --help is no run.
TEST(BenchArguments, AreCheckedAndNamedWhenBad) {
    auto read = [](std::vector<std::string> words, long long& count, long long& rounds) {
        std::vector<char*> argv{const_cast<char*>("bench")};
        for (auto& w : words) argv.push_back(w.data());
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        int status =
            ce::host::readBenchArguments(static_cast<int>(argv.size()), argv.data(), "bench",
                                         "usage: bench\n", 10, 1000, count, rounds);
        std::string err = testing::internal::GetCapturedStderr();
        testing::internal::GetCapturedStdout();
        return std::make_pair(status, err);
    };
    long long count = 100, rounds = 5;
    EXPECT_EQ(read({"500", "--rounds", "3"}, count, rounds).first, -1);
    EXPECT_EQ(count, 500);
    EXPECT_EQ(rounds, 3);
    EXPECT_EQ(read({"--help"}, count, rounds).first, 0);
    for (std::vector<std::string> bad : {std::vector<std::string>{"abc"},
                                         {"-5"},
                                         {"5"},
                                         {"2000"},
                                         {"--rounds"},
                                         {"--rounds", "0"},
                                         {"--frobnicate"}}) {
        auto [status, err] = read(bad, count, rounds);
        EXPECT_EQ(status, 2) << bad[0];
        EXPECT_EQ(err.rfind("bench: bad argument \"", 0), 0u) << err;
        EXPECT_NE(err.find("usage: bench"), std::string::npos) << err;
    }
    EXPECT_EQ(count, 500);
    EXPECT_EQ(rounds, 3);
}

// A paired round takes turns as to which side goes first.
TEST(PairedRound, AlternatesWhichSideGoesFirst) {
    for (long long round : {0LL, 1LL, 2LL, 3LL}) {
        std::string order;
        auto [a, b] = ce::host::pairedRound(
            round, [&] { return order += "a", 1.0; }, [&] { return order += "b", 2.0; });
        EXPECT_EQ(a, 1.0);
        EXPECT_EQ(b, 2.0);
        EXPECT_EQ(order, round % 2 == 0 ? "ab" : "ba") << round;
    }
}

TEST(Median, IsTheMiddleValue) {
    EXPECT_DOUBLE_EQ(ce::host::median({2.82, 0.38, 1.55}), 1.55);
    EXPECT_DOUBLE_EQ(ce::host::median({4, 1, 3, 2}), 2.5);
    EXPECT_DOUBLE_EQ(ce::host::median({}), 0);
}

// A link inside the folder is removed, never followed.
TEST(TempDir, GoesWithEverythingInItButNothingOutside) {
    fs::path outside =
        fs::temp_directory_path() / ("hostsupport-canary." + std::to_string(getpid()));
    fs::create_directories(outside);
    std::ofstream(outside / "canary") << "alive";
    fs::path made;
    {
        ce::host::TempDir t("hostsupport_test");
        made = t.path();
        ASSERT_TRUE(fs::is_directory(made));
        fs::create_directories(made / "a" / "b");
        std::ofstream(made / "a" / "b" / "file") << "x";
        fs::create_directory_symlink(outside, made / "a" / "link");
    }
    EXPECT_FALSE(fs::exists(made));
    EXPECT_TRUE(fs::exists(outside / "canary"));
    fs::remove_all(outside);
}

TEST(TempDir, GoesWhenASignalEndsTheProgram) {
    for (int sig : {SIGTERM, SIGINT}) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            ce::host::TempDir t("hostsupport_signal");
            std::ofstream(t.path() / "partial") << "half written";
            std::string p = t.path().string() + "\n";
            if (write(fds[1], p.data(), p.size()) < 0)
                _exit(3);
            kill(getpid(), sig);
            pause();
            _exit(4);
        }
        close(fds[1]);
        char buf[4096] = {};
        ssize_t n = read(fds[0], buf, sizeof buf - 1);
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_GT(n, 1);
        fs::path made(std::string(buf, static_cast<size_t>(n) - 1));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
        EXPECT_FALSE(fs::exists(made)) << made;
    }
}

TEST(TimeCommand, TimesAProgramAndRefusesAFailure) {
    double s = ce::host::timeCommand({"/bin/sleep", "0.05"});
    EXPECT_GE(s, 0.05);
    EXPECT_THROW(ce::host::timeCommand({"/bin/false"}), std::runtime_error);
    EXPECT_THROW(ce::host::timeCommand({"/nonexistent/program"}), std::runtime_error);
}

}  // namespace
