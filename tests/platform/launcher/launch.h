// Runs a host program as a person would from a shell: its exit code, what it printed, and
// nothing inherited from the test's display.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ce::test {

struct Outcome {
    int code = -1;
    std::string out, err;
};

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs `program` with these arguments (and environment additions) and no display; stdout and
// stderr go through files in `scratch`.
inline Outcome run(const std::string& program, const std::vector<std::string>& args,
                   const std::filesystem::path& scratch,
                   const std::vector<std::pair<std::string, std::string>>& env = {}) {
    std::filesystem::path out = scratch / "stdout", err = scratch / "stderr";
    pid_t pid = fork();
    if (pid == 0) {
        unsetenv("DISPLAY");
        for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
        if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr))
            _exit(127);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Outcome r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

}  // namespace ce::test
