// Scripts: the test driver's steps as a line-based language (README.md, Scripts), for --script.
#pragma once

#include "gwes/driver.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace ce::test {

struct ScriptStep {
    int line = 0;
    std::vector<std::string> words;  // the command and its arguments, quotes removed
    std::vector<bool> quoted;        // which words were written in quotes
};

// A line that cannot be run as written.
struct ScriptProblem {
    int line = 0;
    std::string what;
};

struct Script {
    std::vector<ScriptStep> steps;
    std::vector<ScriptProblem> problems;  // in line order, at most one per line
};

// Reads a whole script and checks every step against the language before anything runs: the
// commands, the number and form of their arguments, key and button names, IDs, numbers, device
// paths, registry keys, and points on a screen of the given size. Every problem is listed;
// nothing is thrown.
Script readScript(const std::string& text, int screenWidth, int screenHeight);

// The same for the current device's screen (240 x 320 without a device); throws
// DriverError("line N: ...") at the first problem.
std::vector<ScriptStep> parseScript(const std::string& text);

// Reads the script named on the command line: a file, or standard input for "-". False, with
// `error` set to one line for the user, for anything that cannot be read as a script (a folder,
// a file without read permission, a file larger than any script).
bool readScriptSource(const std::string& name, std::string& text, std::string& error);

// How the script names itself in messages: its file name, or "standard input" for "-".
std::string scriptDisplayName(const std::string& name);

// Runs the steps against the program the driver runs. Returns 0 when every step passed and the
// program has ended, 2 when a step failed or the program still waits after the last step; the
// failure is written to `err` with its line and what was on screen. `logStart` is the size of
// the device log when the script started: `expect log` looks at the lines written since.
int runScript(Driver& driver, const std::vector<ScriptStep>& steps, const std::string& scriptName,
              std::ostream& err, std::uintmax_t logStart = 0);

}  // namespace ce::test
