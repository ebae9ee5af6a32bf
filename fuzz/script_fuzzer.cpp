// Feeds arbitrary bytes to the script language's reader and checker (readScript), as --script
// would, and checks what it makes of them: every line either a step or at most one problem, in
// line order; each step a command with its words; the throwing reader agreeing with it; and the
// sound steps, written out again, reading back as the same steps with no problem. ASan and UBSan
// watch every read and write on the way.
#include "gwes/driver.h"
#include "gwes/script.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// A word as a script writes it: quoted when it was, or when it could not stand alone.
std::string written(const std::string& word, bool quoted) {
    if (!quoted)
        return word;
    std::string out = "\"";
    for (char c : word) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

size_t lineCount(const std::string& text) {
    size_t n = 0;
    for (char c : text) n += c == '\n';
    return n + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ce::test::Script script = ce::test::readScript(text, 240, 320);

    // one outcome per line at most, in line order, within the text
    const int lines = static_cast<int>(lineCount(text));
    int last = 0;
    size_t s = 0, p = 0;
    while (s < script.steps.size() || p < script.problems.size()) {
        bool step = p == script.problems.size() ||
                    (s < script.steps.size() && script.steps[s].line < script.problems[p].line);
        int line = step ? script.steps[s++].line : script.problems[p++].line;
        if (line <= last || line > lines)
            std::abort();
    }
    for (const auto& problem : script.problems)
        if (problem.what.empty())
            std::abort();  // a problem that says nothing
    for (const auto& st : script.steps)
        if (st.words.empty() || st.words.size() != st.quoted.size() || st.quoted[0])
            std::abort();

    // the reader that throws stops at the first problem, and only there
    try {
        auto steps = ce::test::parseScript(text);
        if (!script.problems.empty() || steps.size() != script.steps.size())
            std::abort();
    } catch (const ce::test::DriverError& e) {
        if (script.problems.empty() ||
            std::string(e.what()) !=
                "line " + std::to_string(script.problems[0].line) + ": " + script.problems[0].what)
            std::abort();
    }

    // the sound steps, written out again, read back the same
    std::string again;
    for (const auto& st : script.steps) {
        for (size_t i = 0; i < st.words.size(); ++i)
            again += (i ? " " : "") + written(st.words[i], st.quoted[i]);
        again += "\n";
    }
    ce::test::Script back = ce::test::readScript(again, 240, 320);
    if (!back.problems.empty() || back.steps.size() != script.steps.size())
        std::abort();
    for (size_t i = 0; i < back.steps.size(); ++i)
        if (back.steps[i].words != script.steps[i].words ||
            back.steps[i].quoted != script.steps[i].quoted)
            std::abort();
    return 0;
}
