// Temporary folders removed on every exit, and checked command-line numbers (hostsupport.h).
#include "hostsupport.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace ce::host {

namespace {

// The folders to remove when a signal ends the process. The handler may only use what is safe
// in a signal handler, so each path is kept ready in a fixed buffer and removed by `rm -rf`.
constexpr int kSlots = 8;
char g_paths[kSlots][4096];
volatile sig_atomic_t g_used[kSlots];
std::mutex g_mutex;
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void onSignal(int sig) {
    for (int i = 0; i < kSlots; ++i) {
        if (!g_used[i])
            continue;
        pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/rm", "rm", "-rf", "--", g_paths[i], static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid > 0)
            waitpid(pid, nullptr, 0);
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

int claimSlot(const std::string& path) {
    std::lock_guard lock(g_mutex);
    static bool installed = false;
    if (!installed) {
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        for (int s : kSignals) sigaction(s, &sa, nullptr);
        installed = true;
    }
    if (path.size() >= sizeof g_paths[0])
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (!g_used[i]) {
            memcpy(g_paths[i], path.c_str(), path.size() + 1);
            g_used[i] = 1;
            return i;
        }
    }
    return -1;
}

}  // namespace

TempDir::TempDir(const std::string& prefix) {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + ".XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder " + pattern + ": " +
                                 strerror(errno));
    path_ = pattern;
    slot_ = claimSlot(pattern);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    if (slot_ >= 0) {
        std::lock_guard lock(g_mutex);
        g_used[slot_] = 0;
    }
}

bool parseNumber(const std::string& text, long long lo, long long hi, long long& out) {
    size_t digits = text.size() > 0 && text[0] == '-' && lo < 0 ? 1 : 0;
    if (text.size() == digits || text.find_first_not_of("0123456789", digits) != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = strtoll(text.c_str(), &end, 10);
    if (errno == ERANGE || *end || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

int readBenchArguments(int argc, char** argv, const char* name, const char* usage,
                       long long countLo, long long countHi, long long& count, long long& rounds) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            fputs(usage, stdout);
            return 0;
        }
        bool ok = a == "--rounds" ? i + 1 < argc && parseNumber(argv[++i], 1, 100, rounds)
                                  : parseNumber(a, countLo, countHi, count);
        if (!ok) {
            fprintf(stderr, "%s: bad argument \"%s\"\n%s", name, argv[i], usage);
            return 2;
        }
    }
    return -1;
}

double timeCommand(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("cannot start " + argv[0] + ": " + strerror(errno));
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0)
            dup2(null, STDOUT_FILENO);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(argv[0] + " failed (status " + std::to_string(status) + ")");
    return seconds;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::filesystem::path programFolder() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path() : self.parent_path();
}

}  // namespace ce::host
