// Realistic registry contents for the benchmarks.
#include "reggen.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace reggen {

namespace {

// The same classes on every run: a fixed linear congruential sequence.
class Sequence {
  public:
    uint32_t next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state_ >> 32);
    }

  private:
    uint64_t state_ = 0x5eed;
};

std::string guid(Sequence& s) {
    char text[40];
    uint32_t a = s.next(), b = s.next(), c = s.next(), d = s.next();
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%04X%08X}", a, b >> 16, b & 0xFFFF,
                  c >> 16, c & 0xFFFF, d);
    return text;
}

const char* const kThreading[] = {"Apartment", "Both", "Free"};
const char* const kContent[] = {"text/plain", "application/octet-stream", "image/x-bitmap",
                                "audio/x-wav"};

}  // namespace

std::string classIds(int count) {
    Sequence s;
    std::string out;
    for (int i = 0; i < count; ++i) {
        std::string key = "[HKEY_CLASSES_ROOT\\CLSID\\" + guid(s);
        std::string n = std::to_string(i);
        out += "\n" + key + "]\n@=\"Component " + n + " Class\"\n";
        out += key + "\\InprocServer32]\n@=\"\\\\Windows\\\\comp" + n + ".dll\"\n";
        out += "\"ThreadingModel\"=\"" + std::string(kThreading[i % 3]) + "\"\n";
    }
    return out;
}

std::string extensions(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        std::string ext = "x" + std::to_string(i);
        out += "\n[HKEY_CLASSES_ROOT\\." + ext + "]\n@=\"" + ext + "file\"\n\"Content Type\"=\"" +
               kContent[i % 4] + "\"\n";
    }
    return out;
}

std::string applications(int first, int count) {
    std::string out;
    for (int i = first; i < first + count; ++i) {
        std::string name = "Vendor App " + std::to_string(i);
        out += "\n[HKEY_LOCAL_MACHINE\\Software\\Apps\\" + name + "]\n";
        out += "\"InstallDir\"=\"\\\\Program Files\\\\" + name + "\"\n";
        out += "\"CabFile\"=\"\\\\Windows\\\\AppMgr\\\\Install\\\\" + name + ".cab\"\n";
        out += "\"Instl\"=dword:00000001\n";
    }
    return out;
}

std::string flatKeys(int count) {
    std::string out;
    char key[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(key, sizeof key, "Key%07d", i);
        out += "\n[HKEY_LOCAL_MACHINE\\Software\\Flat\\" + std::string(key) +
               "]\n\"Data\"=\"the data of " + key + ", written by the generator\"\n";
    }
    return out;
}

void appendToRegistry(const std::filesystem::path& device, const std::string& text) {
    std::ofstream out(device / "registry.reg", std::ios::binary | std::ios::app);
    out << text;
    if (!out.flush())
        throw std::runtime_error("cannot write " + (device / "registry.reg").string());
}

}  // namespace reggen
