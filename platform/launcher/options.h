// The launcher's command line: host options, then the device command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ce::launcher {

struct Options {
    std::optional<std::string> device;      // --device DIR
    bool headless = false;                  // --headless
    std::optional<std::string> script;      // --script FILE
    std::optional<std::string> screenshot;  // --screenshot FILE
    std::optional<std::string> module;      // --module DEVPATH (programs started by CreateProcessW)
    bool help = false;
    std::u16string commandLine;  // what WinMain gets
};

// Reads argv; throws std::invalid_argument with one line for the user on a bad option.
Options parseOptions(const std::vector<std::string>& args);

// Joins the words after the options into the device command line: one blank between words,
// nothing else changed. Throws std::invalid_argument when they are not UTF-8 text.
std::u16string joinCommandLine(const std::vector<std::string>& words);

std::string usage(const std::string& program);

}  // namespace ce::launcher
