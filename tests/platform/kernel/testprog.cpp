// A host program backing a device program in tests: opens the device it is given and writes
// its module path and arguments to \Temp\ran-<first argument>.txt, then exits with code 7.
#include <windows.h>

#include "kernel/kernel.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::string device, module;
    std::vector<std::string> args;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (!options)
            args.push_back(a);
        else if (a == "--")
            options = false;
        else if (a == "--device" && i + 1 < argc)
            device = argv[++i];
        else if (a == "--module" && i + 1 < argc)
            module = argv[++i];
        else if (a != "--headless")
            args.push_back(a);
    }
    try {
        ce::Device::open(device);
    } catch (const ce::DeviceError&) {
        return 3;
    }
    std::string text = module;
    for (const auto& a : args) text += "|" + a;
    std::u16string name = u"\\Temp\\ran-";
    for (char c : args.empty() ? std::string("none") : args[0]) name += static_cast<char16_t>(c);
    name += u".txt";
    FILE* f = _wfopen(name.c_str(), u"w");
    if (!f)
        return 4;
    fputs(text.c_str(), f);
    fclose(f);
    return 7;
}
