// Feeds arbitrary bytes to the .reg reader, as registry.reg and as the sections of a journal
// entry, and checks the writer against it: what is read writes out as text that reads back to
// the same registry, and a change made of names and data taken from the input reads back with
// exactly those names and data. ASan and UBSan watch every read and write on the way.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "kernel/internal.h"

namespace {

using namespace ce::kernel;

// read, write, read again: the same text comes out the second time
void roundTrip(const RegRoots& roots) {
    std::string written = formatReg(roots);
    RegRoots again;
    RegParseError error;
    if (!parseReg(written, again, error))
        std::abort();  // the writer wrote what the reader refuses
    if (formatReg(again) != written)
        std::abort();  // the registry changed on the way through the text
}

// The input's bytes as UTF-16 units, in pieces cut at a 0xFFFF unit.
std::u16string unitsOf(const uint8_t* data, size_t size, size_t& pos) {
    std::u16string out;
    while (pos + 1 < size) {
        char16_t c = static_cast<char16_t>(data[pos] | (data[pos + 1] << 8));
        pos += 2;
        if (c == 0xFFFF)
            break;
        if (c != 0)  // the API's names end at their terminator
            out += c;
    }
    return out;
}

// A key and value named by the input, written as a change and read back.
void namesSurvive(const uint8_t* data, size_t size) {
    size_t pos = 0;
    std::u16string key = unitsOf(data, size, pos);
    RegValue value;
    value.name = unitsOf(data, size, pos);
    value.type = pos < size ? data[pos++] % 12 : REG_BINARY;
    value.data.assign(data + pos, data + size);
    if (key.empty() || key.size() > kMaxKeyName || key.find(u'\\') != std::u16string::npos ||
        !regHoldsKeyName(key) || value.name.size() > kMaxValueName ||
        !regHoldsValueName(value.name))
        return;  // names the API refuses
    std::string change = regKeyLine(kCurrentUser, {u"Fuzz", key}) + regValueLine(value);
    RegRoots roots;
    RegParseError error;
    if (!applyReg(change, roots, error))
        std::abort();  // a change the reader cannot take back
    const RegKey* fuzz = roots[kCurrentUser].subkey(u"Fuzz");
    const RegKey* k = fuzz && fuzz->subkeys.size() == 1 ? &fuzz->subkeys[0] : nullptr;
    if (!k || k->name != key || k->values.size() != 1)
        std::abort();  // the key came back under another name
    const RegValue& back = k->values[0];
    if (back.name != value.name || back.type != value.type || back.data != value.data)
        std::abort();  // the value came back changed
    roundTrip(roots);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    RegRoots roots;
    RegParseError error;
    if (parseReg(text, roots, error))
        roundTrip(roots);
    else if (error.line < 1 || error.message.empty())
        std::abort();  // a refusal must say where and why
    RegRoots sections;
    if (applyReg(text, sections, error))
        roundTrip(sections);
    namesSurvive(data, size);
    return 0;
}
