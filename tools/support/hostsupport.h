// What the host tools and benchmarks share: temporary folders that are removed however the
// program ends, and numbers from the command line that are checked rather than trusted.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace ce::host {

// A new folder under $TMPDIR (or /tmp), removed with everything in it when the object goes, and
// also when the process is ended by SIGINT, SIGTERM, SIGHUP or SIGQUIT (the signal then takes
// its usual course). Symbolic links inside are removed, never followed. Throws
// std::runtime_error when the folder cannot be made.
class TempDir {
  public:
    explicit TempDir(const std::string& prefix);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    int slot_ = -1;
};

// A whole number in lo..hi written in decimal digits (a leading '-' where lo < 0); false for
// anything else: "abc", "12x", "", "-5" when lo is 0, a number past hi.
bool parseNumber(const std::string& text, long long lo, long long hi, long long& out);

// The arguments of a timing benchmark: [COUNT] [--rounds N] (N 1 to 100) or --help. Returns -1
// to go on, else the exit status to end with: 0 after --help (the usage on stdout), 2 after a
// bad argument (named on stderr, with the usage).
int readBenchArguments(int argc, char** argv, const char* name, const char* usage,
                       long long countLo, long long countHi, long long& count, long long& rounds);

// One round of a paired comparison: times `ours` and `theirs` once each (each returns the
// seconds it took), ours first in even rounds and theirs first in odd ones, so that whatever
// else the machine does meanwhile falls on both alike. Returns {ours, theirs}.
template <class Ours, class Theirs>
std::pair<double, double> pairedRound(long long round, Ours ours, Theirs theirs) {
    double a = 0, b = 0;
    if (round % 2 == 0) {
        a = ours();
        b = theirs();
    } else {
        b = theirs();
        a = ours();
    }
    return {a, b};
}

// Runs a program (argv[0] is its path) with its output thrown away and returns the wall time it
// took, in seconds; throws std::runtime_error when it cannot be started or does not exit 0.
double timeCommand(const std::vector<std::string>& argv);

// The middle value (the mean of the two middle ones for an even count); 0 for none.
double median(std::vector<double> values);

// The folder of the running program (where the other programs of the build are).
std::filesystem::path programFolder();

}  // namespace ce::host
