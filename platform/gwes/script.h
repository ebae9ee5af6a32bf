// Scripts: the test driver's steps as a line-based language (README.md, Scripts), for --script.
#pragma once

#include "gwes/driver.h"

#include <ostream>
#include <string>
#include <vector>

namespace ce::test {

struct ScriptStep {
    int line = 0;
    std::vector<std::string> words;  // the command and its arguments, quotes removed
    std::vector<bool> quoted;        // which words were written in quotes
};

// Splits a script into steps; throws DriverError("line N: ...") on a line it cannot read.
std::vector<ScriptStep> parseScript(const std::string& text);

// Runs the steps against the program the driver runs. Returns 0 when every step passed and the
// program has ended, 2 when a step failed or the program still waits after the last step; the
// failure is written to `err` with its line and what was on screen.
int runScript(Driver& driver, const std::vector<ScriptStep>& steps, const std::string& scriptName,
              std::ostream& err);

}  // namespace ce::test
