// The registry at the size of a real device, each figure against its target:
//
//   open     open the realistic registry (4,000 COM classes with their InprocServer32, 3,000
//            file types: about 11,000 keys and 1 MB)                              <= 20 ms
//   silent   `varnello --headless silent` start to end on that device, nothing ticked <= 40 ms
//   flat     open a registry of 150,000 keys under one parent (15 MB)             <= 1 s
//   set      one RegSetValueExW on the realistic registry                         <= 2 ms
//   clear    "Clear Redundant Registry Keys" with 2,000 orphaned applications     <= 1 s
//
//   bench_registry [--runs N] [--only WORK[,WORK...]] [--program PATH]
//   bench_registry --make realistic|flat|orphans DIR
//
// --runs is how many times each short measurement is repeated (the median is reported; default
// 20); --program is the host program backing Varnello.exe (default: varnello beside this one).
// --make writes one of the device images and ends, for measuring by hand. Exit status 0 when
// every target was met, 1 when one was missed or a check failed, 2 for bad arguments. The
// images live in a temporary folder that is removed on every exit, a crash of the measuring
// process included. Run it from a RelWithDebInfo or Release build: build/bin/bench_registry
#include <windows.h>

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "kernel/kernel.h"
#include "reggen.h"
#include "tweaks/ApplySteps.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kClassIds = 4000, kExtensions = 3000, kFlatKeys = 150000, kOrphans = 2000;
constexpr int kPresentApps = 50;

struct Options {
    int runs = 20;
    std::set<std::string> only;
    fs::path program;
    std::string makeKind;
    fs::path makeDir;
};

const char* const kWorks[] = {"open", "silent", "flat", "set", "clear"};

int usage(const std::string& error) {
    std::fprintf(stderr,
                 "bench_registry: %s\nusage: bench_registry [--runs N] [--only WORK[,WORK...]] "
                 "[--program PATH]\n       bench_registry --make realistic|flat|orphans DIR\n"
                 "WORK: open, silent, flat, set, clear\n",
                 error.c_str());
    return 2;
}

fs::path selfDir() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

// Returns 0 when the arguments are good, else the exit status.
int parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage("the registry benchmarks");
            std::exit(0);
        }
        if (i + 1 >= argc)
            return usage("missing value after " + a);
        std::string v = argv[++i];
        if (a == "--runs") {
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n < 1 || n > 10000)
                return usage("--runs takes a number from 1 to 10000, not \"" + v + "\"");
            o.runs = static_cast<int>(n);
        } else if (a == "--only") {
            size_t start = 0;
            while (start <= v.size()) {
                size_t comma = v.find(',', start);
                std::string w = v.substr(start, comma == std::string::npos ? comma : comma - start);
                if (std::find(std::begin(kWorks), std::end(kWorks), w) == std::end(kWorks))
                    return usage("unknown work \"" + w + "\"");
                o.only.insert(w);
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
        } else if (a == "--program") {
            o.program = v;
            if (!fs::is_regular_file(o.program))
                return usage("no program " + v);
        } else if (a == "--make") {
            if (v != "realistic" && v != "flat" && v != "orphans")
                return usage("--make takes realistic, flat or orphans, not \"" + v + "\"");
            if (i + 1 >= argc)
                return usage("--make " + v + " needs a folder");
            o.makeKind = v;
            o.makeDir = argv[++i];
            if (fs::exists(o.makeDir))
                return usage(o.makeDir.string() + " exists already");
        } else {
            return usage("unknown option " + a);
        }
    }
    if (o.program.empty())
        o.program = selfDir() / "varnello";
    return 0;
}

// ---- the images ----

void makeRealistic(const fs::path& dir, const fs::path& program) {
    ce::kernel::createImage(dir);
    ce::Device::open(dir);
    ce::kernel::InstallOptions install;
    install.program = program;
    ce::kernel::install(ce::kernel::locateInstallFiles(install, selfDir()));
    ce::Device::close();
    reggen::appendToRegistry(dir, reggen::classIds(kClassIds) + reggen::extensions(kExtensions));
}

void makeFlat(const fs::path& dir) {
    ce::kernel::createImage(dir, ce::kernel::ImageContents::Empty);
    reggen::appendToRegistry(dir, reggen::flatKeys(kFlatKeys));
}

// The realistic registry with 2,000 applications whose folder is gone and 50 whose folder is
// there.
void makeOrphans(const fs::path& dir, const fs::path& program) {
    makeRealistic(dir, program);
    reggen::appendToRegistry(
        dir, reggen::applications(1, kOrphans) + reggen::applications(kOrphans + 1, kPresentApps));
    for (int i = kOrphans + 1; i <= kOrphans + kPresentApps; ++i)
        fs::create_directories(dir / "root" / "Program Files" /
                               ("Vendor App " + std::to_string(i)));
}

// ---- measuring ----

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Processor time used so far by this process, or by its ended children, in ms.
double cpuMs(int who = RUSAGE_SELF) {
    struct rusage u;
    getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Result {
    std::string work;
    double value = 0;  // ms
    double target = 0;
    double cpu = -1;  // ms of processor time, the median beside the median wall time
    std::string detail;
    bool checked = true;  // the outcome was what it must be
    const char* unit = "ms";
};

DWORD subkeyCount(HKEY root, const char16_t* path) {
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, 0, &key) != ERROR_SUCCESS)
        return 0;
    DWORD n = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &n, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return n;
}

double megabytes(const fs::path& device) {
    return static_cast<double>(fs::file_size(device / "registry.reg")) / 1e6;
}

std::string sizeOf(const fs::path& device) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f MB", megabytes(device));
    return text;
}

// How a load grows with the file: the time per megabyte.
std::string perMegabyte(double ms, const fs::path& device) {
    char text[48];
    std::snprintf(text, sizeof text, " (%.1f ms per MB)", ms / megabytes(device));
    return text;
}

// Opens the device `runs` times (the median is the result); each time, the key root\path must
// have `keys` subkeys.
Result measureOpen(Result r, const fs::path& dir, int runs, HKEY root, const char16_t* path,
                   DWORD keys) {
    std::vector<double> times, cpu;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        double c0 = cpuMs();
        ce::Device::open(dir);
        cpu.push_back(cpuMs() - c0);
        times.push_back(ms(Clock::now() - t0));
        r.checked = r.checked && subkeyCount(root, path) == keys;
        ce::Device::close();
    }
    r.value = median(times);
    r.cpu = median(cpu);
    r.detail = sizeOf(dir) + perMegabyte(r.value, dir) + ", median of " + std::to_string(runs);
    return r;
}

Result measureSilent(const fs::path& dir, const fs::path& program, int runs) {
    Result r{"varnello --headless silent", 0, 40, -1, "", true};
    std::string device = dir.string(), prog = program.string();
    std::vector<char*> argv = {prog.data(),
                               const_cast<char*>("--device"),
                               device.data(),
                               const_cast<char*>("--headless"),
                               const_cast<char*>("silent"),
                               nullptr};
    std::vector<double> times, cpu;
    for (int i = 0; i <= runs; ++i) {  // the first run only warms the caches
        auto t0 = Clock::now();
        double c0 = cpuMs(RUSAGE_CHILDREN);
        pid_t pid = 0;
        int status = -1;
        if (posix_spawn(&pid, prog.c_str(), nullptr, nullptr, argv.data(), environ) != 0 ||
            waitpid(pid, &status, 0) != pid) {
            r.checked = false;
            break;
        }
        double t = ms(Clock::now() - t0);
        r.checked = r.checked && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (i > 0) {
            times.push_back(t);
            cpu.push_back(cpuMs(RUSAGE_CHILDREN) - c0);
        }
    }
    r.value = median(times);
    r.cpu = median(cpu);
    r.detail = "median of " + std::to_string(times.size()) + " runs";
    return r;
}

// Mean time of opening (and closing) `count` keys named by name(i) below parent.
double lookupUs(const char16_t* parent, int count, const std::function<std::u16string(int)>& name,
                bool& found) {
    HKEY top;
    found = RegOpenKeyExW(HKEY_LOCAL_MACHINE, parent, 0, 0, &top) == ERROR_SUCCESS;
    auto t0 = Clock::now();
    for (int i = 0; found && i < 20000; ++i) {
        HKEY key;
        found = RegOpenKeyExW(top, name((i * 7919) % count).c_str(), 0, 0, &key) == 0;
        RegCloseKey(key);
    }
    RegCloseKey(top);
    return ms(Clock::now() - t0) * 1000 / 20000;
}

// A key found by name among 150,000 siblings against one among 10.
Result measureLookup(const fs::path& dir) {
    Result r{"a key among 150,000 siblings / among 10", 0, 2, -1, "", true, "x"};
    ce::Device::open(dir);
    auto flatName = [](int i) {
        char name[16];
        int n = std::snprintf(name, sizeof name, "key%07d", i);  // in another case than stored
        return std::u16string(name, name + n);
    };
    HKEY ten;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Ten", 0, nullptr, 0, 0, nullptr, &ten, nullptr);
    for (int i = 0; i < 10; ++i) {
        HKEY k;
        RegCreateKeyExW(ten, flatName(i).c_str(), 0, nullptr, 0, 0, nullptr, &k, nullptr);
        RegCloseKey(k);
    }
    RegCloseKey(ten);
    bool wide = false, narrow = false;
    double many = lookupUs(u"Software\\Flat", kFlatKeys, flatName, wide);
    double few = lookupUs(u"Software\\Ten", 10, flatName, narrow);
    ce::Device::close();
    r.checked = wide && narrow;
    r.value = many / few;
    char detail[96];
    std::snprintf(detail, sizeof detail, "RegOpenKeyExW: %.2f us among 150,000, %.2f us among 10",
                  many, few);
    r.detail = detail;
    return r;
}

Result measureSet(const fs::path& dir, int runs) {
    Result r{"one RegSetValueExW (realistic registry)", 0, 2, -1, "", true};
    ce::Device::open(dir);
    HKEY key = nullptr;
    std::u16string path = u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, 0, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        r.checked = false;
        ce::Device::close();
        return r;
    }
    int calls = std::max(runs * 10, 100);
    std::vector<double> times;
    for (DWORD i = 1; i <= static_cast<DWORD>(calls); ++i) {
        auto t0 = Clock::now();
        LONG rc = RegSetValueExW(key, u"BenchCounter", 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&i), sizeof i);
        times.push_back(ms(Clock::now() - t0));
        r.checked = r.checked && rc == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    ce::Device::close();
    // what the last call wrote is there for the next program
    ce::Device::open(dir);
    DWORD value = 0, size = sizeof value;
    HKEY again = nullptr;
    r.checked = r.checked && RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, 0, &again) == 0 &&
                RegQueryValueExW(again, u"BenchCounter", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&value), &size) == 0 &&
                value == static_cast<DWORD>(calls);
    RegCloseKey(again);
    ce::Device::close();
    double total = 0;
    for (double t : times) total += t;
    r.value = median(times);
    char detail[128];
    std::snprintf(detail, sizeof detail, "median of %d calls; mean %.3f ms, slowest %.3f ms", calls,
                  total / calls, *std::max_element(times.begin(), times.end()));
    r.detail = detail;
    return r;
}

// Applications whose InstallDir names nothing on the device.
int orphanedApps() {
    HKEY apps;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps", 0, 0, &apps) != ERROR_SUCCESS)
        return -1;
    int orphans = 0;
    WCHAR name[1024], dir[1024];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 1024;
        if (RegEnumKeyExW(apps, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != 0)
            break;
        HKEY app;
        if (RegOpenKeyExW(apps, name, 0, 0, &app) != ERROR_SUCCESS)
            continue;
        DWORD cb = sizeof dir;
        if (RegQueryValueExW(app, u"InstallDir", nullptr, nullptr, reinterpret_cast<BYTE*>(dir),
                             &cb) == ERROR_SUCCESS &&
            GetFileAttributesW(dir) == INVALID_FILE_ATTRIBUTES)
            ++orphans;
        RegCloseKey(app);
    }
    RegCloseKey(apps);
    return orphans;
}

Result measureClear(const fs::path& dir) {
    Result r{"Clear Redundant Registry Keys", 0, 1000, -1, "", true};
    std::string size = sizeOf(dir);
    ce::Device::open(dir);
    DWORD before = subkeyCount(HKEY_LOCAL_MACHINE, u"Software\\Apps");
    int orphans = orphanedApps();
    std::vector<WCHAR> work1(TWEAK_PATH_UNITS), work2(TWEAK_PATH_UNITS);
    APPLY_PASS pass = {OPT_CLEAR_REGISTRY_KEYS, nullptr, work1.data(), work2.data(), FALSE};
    auto t0 = Clock::now();
    double c0 = cpuMs();
    ClearRegistryKeysStep(pass);
    r.cpu = cpuMs() - c0;
    r.value = ms(Clock::now() - t0);
    DWORD after = subkeyCount(HKEY_LOCAL_MACHINE, u"Software\\Apps");
    r.checked =
        orphans >= kOrphans && before - after == static_cast<DWORD>(orphans) && orphanedApps() == 0;
    r.detail = std::to_string(before - after) + " of " + std::to_string(before) +
               " applications removed, registry " + size;
    ce::Device::close();
    return r;
}

int runAll(const Options& o, const fs::path& base) {
    auto wanted = [&](const char* w) { return o.only.empty() || o.only.count(w) > 0; };
    std::vector<Result> results;
    fs::path realistic = base / "realistic";
    if (wanted("open") || wanted("silent") || wanted("set"))
        makeRealistic(realistic, o.program);
    if (wanted("open"))
        results.push_back(measureOpen({"open the realistic registry", 0, 20, -1, "", true},
                                      realistic, o.runs, HKEY_CLASSES_ROOT, u"CLSID", kClassIds));
    if (wanted("silent"))
        results.push_back(measureSilent(realistic, o.program, o.runs));
    if (wanted("set"))
        results.push_back(measureSet(realistic, o.runs));
    if (wanted("flat")) {
        makeFlat(base / "flat");
        results.push_back(measureOpen({"open 150,000 keys under one parent", 0, 1000, -1, "", true},
                                      base / "flat", std::min(o.runs, 3), HKEY_LOCAL_MACHINE,
                                      u"Software\\Flat", kFlatKeys));
        results.push_back(measureLookup(base / "flat"));
    }
    if (wanted("clear")) {
        makeOrphans(base / "orphans", o.program);
        results.push_back(measureClear(base / "orphans"));
    }
    bool allMet = true;
    std::printf("%-42s %12s %10s\n", "work", "wall time", "target");
    for (const Result& r : results) {
        bool met = r.checked && r.value <= r.target;
        allMet = allMet && met;
        std::printf("%-42s %9.3f %-2s %7.0f %-2s  %s\n", r.work.c_str(), r.value, r.unit, r.target,
                    r.unit, r.checked ? (met ? "met" : "MISSED") : "CHECK FAILED");
        char cpu[64] = "";
        if (r.cpu >= 0)
            std::snprintf(cpu, sizeof cpu, ", processor time %.1f ms", r.cpu);
        std::printf("%-42s   %s%s\n", "", r.detail.c_str(), cpu);
    }
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) > 0)
        std::printf("(load average %.1f on %ld processors: wall times grow with it)\n", load[0],
                    sysconf(_SC_NPROCESSORS_ONLN));
    return allMet ? 0 : 1;
}

int make(const Options& o) {
    if (o.makeKind == "realistic")
        makeRealistic(o.makeDir, o.program);
    else if (o.makeKind == "flat")
        makeFlat(o.makeDir);
    else
        makeOrphans(o.makeDir, o.program);
    std::printf("%s: %s registry, %s\n", o.makeDir.c_str(), o.makeKind.c_str(),
                sizeOf(o.makeDir).c_str());
    return 0;
}

pid_t g_worker = 0;

void forward(int signal) {
    if (g_worker > 0)
        kill(g_worker, signal);
}

// Runs work in a child process and removes base whatever becomes of it (unless the work succeeded
// and keep is set).
int inWorker(const fs::path& base, bool keep, const std::function<int()>& work) {
    g_worker = fork();
    if (g_worker < 0) {
        std::perror("bench_registry: fork");
        fs::remove_all(base);
        return 1;
    }
    if (g_worker == 0) {
        int rc = 1;
        try {
            rc = work();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_registry: %s\n", e.what());
        }
        std::fflush(nullptr);
        _exit(rc);
    }
    for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, forward);
    int status = 0;
    while (waitpid(g_worker, &status, 0) < 0 && errno == EINTR) {
    }
    int rc = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    std::error_code ec;
    if (!keep || rc != 0)
        fs::remove_all(base, ec);
    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "bench_registry: the measuring process ended by signal %d\n",
                     WTERMSIG(status));
        return 1;
    }
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (int rc = parse(argc, argv, o))
        return rc;
    if (!o.makeKind.empty()) {
        // a failed --make leaves nothing half made
        return inWorker(o.makeDir, true, [&] { return make(o); }) == 0 ? 0 : 1;
    }
    std::string pattern = (fs::temp_directory_path() / "bench_registry.XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("bench_registry: cannot make a temporary folder");
        return 1;
    }
    return inWorker(pattern, false, [&] { return runAll(o, pattern); });
}
