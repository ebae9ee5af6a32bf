// The launcher's options. Host options come first; the first word that is not one (or
// everything after "--") is the device command line.
#include "options.h"

#include "gwes/gwes.h"

#include <stdexcept>

namespace ce::launcher {

std::u16string joinCommandLine(const std::vector<std::string>& words) {
    std::string line;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (i) line += ' ';
        bool plain = !w.empty() && w.find_first_of(" \t\"") == std::string::npos;
        if (plain) {
            line += w;
            continue;
        }
        // as CommandLineToArgvW reads it back: backslashes before a quote are doubled
        line += '"';
        size_t slashes = 0;
        for (char c : w) {
            if (c == '\\') {
                ++slashes;
                continue;
            }
            if (c == '"') {
                line.append(slashes * 2 + 1, '\\');
            } else {
                line.append(slashes, '\\');
            }
            slashes = 0;
            line += c;
        }
        line.append(slashes * 2, '\\');
        line += '"';
    }
    return gwes::utf16(line);
}

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    size_t i = 0;
    auto value = [&](const std::string& name) {
        if (i + 1 >= args.size() || args[i + 1].empty()) throw std::invalid_argument(name + " needs a value");
        return args[++i];
    };
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (a == "--help" || a == "-h") o.help = true;
        else if (a == "--headless") o.headless = true;
        else if (a == "--device") o.device = value(a);
        else if (a == "--script") o.script = value(a);
        else if (a == "--screenshot") o.screenshot = value(a);
        else if (a == "--module") o.module = value(a);
        else if (a.rfind("--", 0) == 0) throw std::invalid_argument("unknown option " + a);
        else break;
    }
    std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(std::min(i, args.size())), args.end());
    o.commandLine = joinCommandLine(rest);
    return o;
}

std::string usage(const std::string& program) {
    return "Usage: " + program +
           " [--device DIR] [--headless] [--script FILE] [--screenshot FILE] [--] [COMMAND LINE...]\n"
           "\n"
           "Runs the Windows CE program on a device image (a folder) on this computer.\n"
           "\n"
           "  --device DIR       the device image to run on (made with `cedevice init DIR`). Without it\n"
           "                     the default device $XDG_DATA_HOME/varnello/device is used (or\n"
           "                     ~/.local/share/varnello/device), created and set up on first use.\n"
           "  --headless         no window, even when a display is available.\n"
           "  --script FILE      operate the program with the steps in FILE (see docs/script.md):\n"
           "                     taps, menus, typing, message box answers and expectations. A step\n"
           "                     that fails ends the run with its line number and exit code 2.\n"
           "  --screenshot FILE  write the screen as PNG: at the end of the script, or, headless\n"
           "                     without a script, when the program first waits for input (the\n"
           "                     program then ends).\n"
           "  --help             this text.\n"
           "\n"
           "Everything after the options is the device command line, given to WinMain as the program\n"
           "on the device would get it: `" + program + " silent` starts the program with the command\n"
           "line \"silent\". Words with blanks are quoted. Use -- before a command line that begins\n"
           "with --.\n"
           "\n"
           "With a display ($DISPLAY) and no --headless or --script the screen opens in a window; a\n"
           "headless run without a script answers every message box with its default button (the\n"
           "device log records them) and ends the program when it waits for input.\n";
}

}  // namespace ce::launcher
