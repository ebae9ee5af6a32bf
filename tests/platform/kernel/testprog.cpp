// A host program backing a device program in tests: opens the device it is given and writes
// its module path and command line ("MODULE|LINE") to \Temp\ran-<first word of LINE>.txt
// (ran-none.txt for an empty line), then exits with code 7. It reads its arguments the way
// CreateProcessW passes them: HOST --device DIR --module DEVPATH [--headless] -- [LINE].
#include <windows.h>

#include "kernel/kernel.h"

#include <string>

int main(int argc, char** argv) {
    std::string device, module, line;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            if (i + 1 < argc)
                line = argv[i + 1];
            if (i + 2 < argc)
                return 2;  // the command line comes as one argument
            break;
        }
        if (a == "--device" && i + 1 < argc)
            device = argv[++i];
        else if (a == "--module" && i + 1 < argc)
            module = argv[++i];
        else if (a != "--headless")
            return 2;
    }
    try {
        ce::Device::open(device);
    } catch (const ce::DeviceError&) {
        return 3;
    }
    std::string first = line.substr(0, line.find(' '));
    std::u16string name = u"\\Temp\\ran-";
    for (char c : first.empty() ? std::string("none") : first) name += static_cast<char16_t>(c);
    name += u".txt";
    FILE* f = _wfopen(name.c_str(), u"w");
    if (!f)
        return 4;
    fputs((module + "|" + line).c_str(), f);
    fclose(f);
    return 7;
}
