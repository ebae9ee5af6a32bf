// main() of a device program: reads the host options, opens the device (or creates the default
// one), sets the program's module path, chooses the input source (a script, the display's
// window, or none) and calls WinMain.
#include "options.h"

#include "display/display.h"
#include "gwes/driver.h"
#include "gwes/gwes.h"
#include "gwes/script.h"
#include "kernel/kernel.h"
#include "resources/resources.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

namespace {

namespace fs = std::filesystem;
using ce::launcher::Options;

std::string programName;

int fail(const std::string& line) {
    std::cerr << programName << ": " << line << "\n";
    return 2;
}

// A name from the environment in quotes, its control characters escaped: the message stays
// one line whatever the name holds.
std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) {
            const char* hex = "0123456789abcdef";
            out += std::string("\\x") + hex[c >> 4] + hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

fs::path defaultDevice() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return fs::path(data) / "varnello" / "device";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".local" / "share" / "varnello" / "device";
}

fs::path selfDir() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

// Makes the default device: the factory image with the program installed, built beside its
// final place and moved there only once complete, so that a failed first run leaves nothing
// half-made behind (the next run tries again).
void createDefaultDevice(const fs::path& dir) {
    std::cerr << programName << ": creating the default device " << dir.string()
              << " (first use)\n";
    std::error_code ec;
    fs::create_directories(dir.parent_path(), ec);
    fs::path building = dir;
    building += ".new-" + std::to_string(::getpid());
    fs::remove_all(building, ec);
    try {
        ce::kernel::createImage(building, ce::kernel::ImageContents::Factory);
        ce::Device::open(building);
        ce::kernel::install(ce::kernel::locateInstallFiles({}, selfDir()));
        ce::Device::close();
        if (fs::is_directory(dir, ec) && fs::is_empty(dir, ec))
            fs::remove(dir, ec);
        fs::rename(building, dir);  // refuses a folder that holds something else
    } catch (...) {
        ce::Device::close();
        fs::remove_all(building, ec);
        throw;
    }
    std::cerr << programName << ": installed the program on it\n";
}

// Opens the device; the default one is made the first time.
void openDevice(const Options& o) {
    if (o.device) {
        ce::Device::open(*o.device);
        return;
    }
    fs::path dir = defaultDevice();
    if (!fs::exists(dir / "device.ini"))
        createDefaultDevice(dir);
    ce::Device::open(dir);
}

HINSTANCE programInstance() {
    return ce::resources::instanceFor(reinterpret_cast<const void*>(&WinMain));
}

bool screenshotTo(const std::string& path) {
    std::string error;
    if (ce::display::writePng(ce::display::screen(), path, &error))
        return true;
    std::cerr << programName << ": " << error << "\n";
    return false;
}

// Every problem of the script, each with its line, before anything runs.
bool scriptIsSound(const ce::test::Script& script, const std::string& name) {
    if (script.problems.empty())
        return true;
    for (const auto& p : script.problems)
        std::cerr << name << ": line " << p.line << ": " << p.what << "\n";
    size_t n = script.problems.size();
    std::cerr << name << ": " << n << (n == 1 ? " error" : " errors") << "; nothing was run\n";
    return false;
}

int runScripted(const Options& o, const std::vector<ce::test::ScriptStep>& steps) {
    // `expect log` looks at what the device logs from here on
    std::error_code ec;
    std::uintmax_t logStart = std::filesystem::file_size(ce::Device::current()->logFile(), ec);
    ce::test::Driver driver(&WinMain, o.commandLine);
    int code = ce::test::runScript(driver, steps, ce::test::scriptDisplayName(*o.script), std::cerr,
                                   ec ? 0 : logStart);
    if (o.screenshot && !screenshotTo(*o.screenshot) && code == 0)
        code = 2;
    driver.stop();
    return code;
}

// A program on its own: input from the display's window, or none. With no input the program
// ends when it first waits (after a screenshot, when one was asked for).
int runDirect(const Options& o) {
    std::unique_ptr<ce::gwes::InputSource> window;
    // A screenshot run is over once the program first waits, so it opens no window.
    const char* display = std::getenv("DISPLAY");
    if (!o.headless && !o.screenshot && display && *display) {
        // A display was named, so a window is wanted: without one the run ends here rather
        // than going on headless, where message boxes would be answered for the person.
        std::string why;
        window = ce::display::openWindow(o.scale, &why);
        if (!window)
            return fail("cannot open the display " + quoted(display) + " (" + why +
                        "); --headless runs without a window");
    }
    ce::gwes::Gwes* g = ce::gwes::state();
    g->input = window.get();
    g->autoAnswerBoxes = window == nullptr;
    std::u16string line = o.commandLine;
    int code = 0;
    try {
        code = WinMain(programInstance(), nullptr, line.data(), SW_SHOW);
    } catch (const ce::gwes::ProgramEnd& end) {
        g = ce::gwes::state();
        if (g)
            g->input = nullptr;
        if (end.reason == ce::gwes::ProgramEnd::Reason::NoMoreInput && !window) {
            if (o.screenshot)
                code = screenshotTo(*o.screenshot) ? 0 : 2;
            else
                std::cerr << programName
                          << ": the program waits for input and this run has none; it ends here\n";
        }
    }
    // As when a program ends on the device: what it left on screen goes with it.
    ce::gwes::endProgram();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    programName = fs::path(argc > 0 ? argv[0] : "varnello").filename().string();
    Options o;
    try {
        o = ce::launcher::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& e) {
        return fail(std::string(e.what()) + " (see " + programName + " --help)");
    }
    if (o.help) {
        std::cout << ce::launcher::usage(programName);
        return 0;
    }
    if (o.version) {
        std::cout << programName << " " << CE_VERSION << "\n";
        return 0;
    }
    ce::test::Script script;
    if (o.script) {
        std::string text, error;
        if (!ce::test::readScriptSource(*o.script, text, error))
            return fail(error);
        auto screen = ce::kernel::screenSizeOf(o.device ? fs::path(*o.device) : defaultDevice());
        script = ce::test::readScript(text, screen.width, screen.height);
        if (!scriptIsSound(script, ce::test::scriptDisplayName(*o.script)))
            return 2;
    }
    try {
        openDevice(o);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    if (o.module)
        ce::kernel::setModulePath(ce::gwes::utf16(*o.module));
    // a run without a window starts its programs (CreateProcessW) without one too
    if (o.headless || o.script || o.screenshot)
        ce::kernel::setStartHeadless(true);
    int code = o.script ? runScripted(o, script.steps) : runDirect(o);
    std::cout.flush();
    ce::Device::close();
    return code;
}
