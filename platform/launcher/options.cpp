// The launcher's options. Host options come first; the first word that is not one (or
// everything after "--") is the device command line.
#include "options.h"

#include "kernel/internal.h"

#include <optional>
#include <stdexcept>

namespace ce::launcher {

// The words a shell hands over, joined by one blank each and otherwise taken as written: a
// single word is the command line exactly, quotes and blanks included.
std::u16string joinCommandLine(const std::vector<std::string>& words) {
    std::string line;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i)
            line += ' ';
        line += words[i];
    }
    std::u16string text = kernel::fromUtf8(line);
    if (kernel::toUtf8(text) != line)
        throw std::invalid_argument("the device command line is not UTF-8 text");
    return text;
}

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        std::string name = args[i];
        if (name == "--") {
            ++i;
            break;
        }
        if (name.rfind("--", 0) != 0 && name != "-h")
            break;
        // --name=value or --name value
        std::optional<std::string> inlineValue;
        if (auto eq = name.find('='); eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto value = [&]() {
            std::string v;
            if (inlineValue)
                v = *inlineValue;
            else if (i + 1 < args.size())
                v = args[++i];
            if (v.empty())
                throw std::invalid_argument(name + " needs a value");
            return v;
        };
        auto flag = [&](bool& target) {
            if (inlineValue)
                throw std::invalid_argument(name + " takes no value");
            target = true;
        };
        if (name == "--help" || name == "-h")
            flag(o.help);
        else if (name == "--headless")
            flag(o.headless);
        else if (name == "--device")
            o.device = value();
        else if (name == "--script")
            o.script = value();
        else if (name == "--screenshot")
            o.screenshot = value();
        else if (name == "--module")
            o.module = value();
        else
            throw std::invalid_argument("unknown option " + name);
    }
    std::vector<std::string> rest(
        args.begin() + static_cast<std::ptrdiff_t>(std::min(i, args.size())), args.end());
    o.commandLine = joinCommandLine(rest);
    return o;
}

std::string usage(const std::string& program) {
    return "Usage: " + program +
           " [--device DIR] [--headless] [--script FILE] [--screenshot FILE] [--module DEVPATH]\n"
           "       [--] [COMMAND LINE...]\n"
           "\n"
           "Runs the Windows CE program on a device image (a folder) on this computer.\n"
           "\n"
           "  --device DIR       the device image to run on (made with `cedevice init DIR`). "
           "Without it\n"
           "                     the default device $XDG_DATA_HOME/varnello/device is used (or\n"
           "                     ~/.local/share/varnello/device), created and set up on first "
           "use.\n"
           "  --headless         no window, even when a display is available.\n"
           "  --script FILE      operate the program with the steps in FILE (see README.md, "
           "Scripts):\n"
           "                     taps, menus, typing, message box answers and expectations. A "
           "step\n"
           "                     that fails ends the run with its line number and exit code 2.\n"
           "  --screenshot FILE  write the screen as PNG: at the end of the script, or, without a\n"
           "                     script, when the program first waits for input (the program then\n"
           "                     ends; no window is opened).\n"
           "  --module DEVPATH   the device path the program runs as (what GetModuleFileNameW "
           "gives);\n"
           "                     CreateProcessW passes it to the programs it starts. Default: the\n"
           "                     program's entry in device.ini, else \\Program "
           "Files\\Varnello\\Varnello.exe.\n"
           "  --help, -h         this text.\n"
           "\n"
           "Everything after the options is the device command line, given to WinMain exactly "
           "as a\n"
           "program on the device gets it: the words, joined by one blank each, and nothing "
           "else\n"
           "changed. `" +
           program +
           " silent` starts the program with the command line \"silent\";\n"
           "quote for your shell what the program should see: `" +
           program +
           " -- '\"\\My Documents\\\" -n'`.\n"
           "Use -- before a command line that begins with -.\n"
           "\n"
           "With a display ($DISPLAY) and no --headless or --script the screen opens in a window; "
           "a\n"
           "headless run without a script answers every message box with its default button (the\n"
           "device log records them) and ends the program when it waits for input.\n";
}

}  // namespace ce::launcher
