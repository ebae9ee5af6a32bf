// Registry names and shapes at their limits: every name the API takes comes back unchanged from
// registry.reg, every name it cannot keep is refused, and no file or tree is too deep to read,
// write or free.
#include "regutil.h"

#include <pthread.h>

#include <functional>

using ce::test::TempDevice;

namespace {

class RegistryNamesTest : public ::testing::Test {
  protected:
    TempDevice device{TempDevice::Contents::Empty};
    std::filesystem::path file = device.dir() / "registry.reg";

    // Closes and opens the device: what it then holds came from registry.reg alone.
    void reopen() {
        ce::Device::close();
        EXPECT_FALSE(std::filesystem::exists(device.dir() / "registry.journal"));
        ce::Device::open(device.dir());
    }
};

// The names an enumeration (RegEnumKeyExW or RegEnumValueW) gives, in its order.
template <class Enum>
std::vector<std::u16string> namesOf(HKEY key, Enum enumerate) {
    std::vector<std::u16string> out;
    WCHAR name[300];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 300;
        if (enumerate(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != 0)
            break;
        out.emplace_back(name, cch);
    }
    return out;
}

// Names a program may give keys: everything but a backslash (the separator) and, because a key
// line of the .reg text is one line without escapes, line breaks.
const std::vector<std::u16string> kKeyNames = {
    u"[bracketed]",
    u"ends with ]",
    u"\"quoted\"",
    u"-starts with a minus",
    u"; looks like a comment",
    u"@",
    u"  blanks around  ",
    u"tab\there",
    u"=equals=",
    u"caf\u00e9 \u00c5ngstr\u00f6m \u0416",
    u"emoji \U0001F600 beyond the BMP",
    std::u16string(255, u'k'),
};

// Value names may hold anything but a lone surrogate: their quotes escape line breaks.
const std::vector<std::u16string> kValueNames = {
    u"",  // the default value (@)
    u"@",
    u"line\nbreak",
    u"carriage\rreturn",
    u"\r\n",
    u"ends with a break\n",
    u"back\\slash\\",
    u"\\n is not a line break",
    u"\"quoted\" and \\\"escaped\\\"",
    u"[bracketed]",
    u"=equals=",
    u"  blanks  ",
    u"; semicolon",
    u"emoji \U0001F600",
    std::u16string(255, u'v'),
};

TEST_F(RegistryNamesTest, EveryNameTheApiTakesComesBackFromTheFileUnchanged) {
    HKEY top;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, u"Names", 0, nullptr, 0, 0, nullptr, &top, nullptr),
        ERROR_SUCCESS);
    for (const auto& name : kKeyNames) {
        HKEY k;
        ASSERT_EQ(RegCreateKeyExW(top, name.c_str(), 0, nullptr, 0, 0, nullptr, &k, nullptr),
                  ERROR_SUCCESS)
            << kt::utf8(name);
        RegCloseKey(k);
    }
    DWORD n = 0;
    for (const auto& name : kValueNames)
        ASSERT_EQ(kt::setDword(top, name.c_str(), n++), ERROR_SUCCESS) << kt::utf8(name);
    ASSERT_EQ(kt::setString(top, u"text", u"two\nlines and a \"quote\" \\ \r\n"), ERROR_SUCCESS);
    RegCloseKey(top);

    reopen();
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Names", 0, 0, &top), ERROR_SUCCESS);
    EXPECT_EQ(namesOf(top, RegEnumKeyExW), kKeyNames);
    std::vector<std::u16string> values = kValueNames;
    values.push_back(u"text");
    EXPECT_EQ(namesOf(top, RegEnumValueW), values);
    n = 0;
    for (const auto& name : kValueNames)
        EXPECT_EQ(kt::getDword(HKEY_CURRENT_USER, u"Names", name.c_str()), n++) << kt::utf8(name);
    EXPECT_EQ(kt::getString(HKEY_CURRENT_USER, u"Names", u"text"),
              u"two\nlines and a \"quote\" \\ \r\n");
    // each key is found again by its name, in another letter case too
    for (const auto& name : kKeyNames) {
        HKEY k;
        EXPECT_EQ(RegOpenKeyExW(top, name.c_str(), 0, 0, &k), ERROR_SUCCESS) << kt::utf8(name);
        RegCloseKey(k);
    }
    HKEY k;
    EXPECT_EQ(RegOpenKeyExW(top, u"CAF\u00c9 \u00e5NGSTR\u00d6M \u0436", 0, 0, &k), ERROR_SUCCESS);
    RegCloseKey(k);
    RegCloseKey(top);
    // the text is the kind regedit writes: line breaks in a value name are escaped
    std::string text = kt::readHost(file);
    EXPECT_NE(text.find("\"line\\nbreak\"=dword:00000002\n"), std::string::npos);
    EXPECT_NE(text.find("@=dword:00000000\n"), std::string::npos);
}

TEST_F(RegistryNamesTest, NamesTheRegistryCannotKeepAreRefusedAndNothingIsWritten) {
    HKEY top;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, u"Refused", 0, nullptr, 0, 0, nullptr, &top, nullptr),
        ERROR_SUCCESS);
    std::string before = ce::kernel::exportRegistry();
    const std::u16string lone(1, char16_t(0xD800));
    std::u16string deep;
    for (size_t i = 0; i < ce::kernel::kMaxKeyDepth; ++i) deep += u"d\\";  // 17 below the root
    for (const std::u16string& name :
         {std::u16string(u"line\nbreak"), std::u16string(u"carriage\rreturn"),
          std::u16string(256, u'k'), u"ok\\" + std::u16string(256, u'k'), u"lone " + lone, deep}) {
        HKEY k = reinterpret_cast<HKEY>(1);
        EXPECT_EQ(RegCreateKeyExW(top, name.c_str(), 0, nullptr, 0, 0, nullptr, &k, nullptr),
                  ERROR_INVALID_PARAMETER)
            << kt::utf8(name);
        EXPECT_EQ(k, nullptr);
    }
    for (const std::u16string& name :
         {std::u16string(256, u'v'), u"lone " + lone, std::u16string(1, char16_t(0xDC00))})
        EXPECT_EQ(kt::setDword(top, name.c_str(), 1), ERROR_INVALID_PARAMETER) << kt::utf8(name);
    EXPECT_EQ(ce::kernel::exportRegistry(), before);

    // the deepest key the device allows can be made, and read back
    HKEY k;
    deep.resize(deep.size() - 2);  // 16 below the root, "Refused" included
    ASSERT_EQ(RegCreateKeyExW(top, deep.c_str(), 0, nullptr, 0, 0, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(k);
    RegCloseKey(top);
    reopen();
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (u"Refused\\" + deep).c_str(), 0, 0, &k),
              ERROR_SUCCESS);
    RegCloseKey(k);
}

TEST_F(RegistryNamesTest, AFileNestingKeysTooDeepIsRefusedWithItsLine) {
    ce::Device::close();
    std::string path = "HKEY_LOCAL_MACHINE";
    for (int i = 0; i < 50000; ++i) path += "\\k";
    const std::string deep = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Ok]\n[" +
                             path + "]\n\"v\"=dword:00000001\n";
    kt::writeHost(file, deep);
    try {
        ce::Device::open(device.dir());
        FAIL() << "a registry nested 50,000 deep was accepted";
    } catch (const ce::DeviceError& e) {
        std::string what = e.what();
        EXPECT_NE(what.find("line 4"), std::string::npos) << what.substr(0, 200);
        EXPECT_NE(what.find("50000 levels"), std::string::npos) << what.substr(0, 200);
        EXPECT_LT(what.size(), 300u);  // one line for the user, not the key
    }
    EXPECT_EQ(kt::readHost(file), deep);
    // the same from outside: one line, no crash
    kt::Result r = kt::run(std::string(CEDEVICE) + " reg " + kt::shq(device.dir()));
    EXPECT_EQ(r.code, 1) << r.out.substr(0, 300);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out.substr(0, 300);

    // as deep as the device allows is fine
    path = "HKEY_LOCAL_MACHINE";
    for (size_t i = 0; i < ce::kernel::kMaxKeyDepth; ++i) path += "\\k";
    kt::writeHost(file, "Windows Registry Editor Version 5.00\n[" + path + "]\n\"v\"=\"deep\"\n");
    ASSERT_NO_THROW(ce::Device::open(device.dir()));
    std::u16string sub = ce::kernel::fromUtf8(path.substr(strlen("HKEY_LOCAL_MACHINE\\")));
    EXPECT_EQ(kt::getString(HKEY_LOCAL_MACHINE, sub.c_str(), u"v"), u"deep");
}

// Runs fn on a thread with a small stack: a walk that recursed once per level would overflow it.
void onSmallStack(const std::function<void()>& fn) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 128 * 1024);
    pthread_t thread;
    auto call = [](void* arg) -> void* {
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, call, const_cast<std::function<void()>*>(&fn)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

TEST(RegistryTree, ADeepTreeIsWrittenAndFreedWithoutRecursion) {
    size_t length = 0;
    onSmallStack([&] {
        ce::kernel::RegRoots roots;
        ce::kernel::RegKey* k = &roots[ce::kernel::kLocalMachine];
        for (int i = 0; i < 4000; ++i) k = &k->addSubkey(u"n");
        k->setValue({u"leaf", REG_DWORD, {1, 0, 0, 0}});
        length = ce::kernel::formatReg(roots).size();
    });  // the tree is freed on that thread too
    // every key is written, each with its whole path
    EXPECT_GT(length, 4000u * 4000u);
}

TEST(RegistryText, WhatIsReadWritesBackAsTheSameRegistry) {
    const std::string text =
        "Windows Registry Editor Version 5.00\n"
        "[HKCU\\A]\n"
        "\"esc\\n\\r\"=\"x\\ny\"\n"
        "\"lit\\q\"=\"C:\\data\"\n"
        "@=hex(2):25,00,00,00\n"
        "[HKEY_CURRENT_USER\\a\\B]\n"
        "\"bin\"=hex:01,02,\\\n"
        "  03\n"
        "\"odd\"=hex(1):41\n"
        "\"dw\"=dword:1\n"
        "[HKEY_LOCAL_MACHINE\\Gone]\n"
        "\"x\"=\"y\"\n"
        "[-HKEY_LOCAL_MACHINE\\Gone]\n"
        "[HKCU\\a]\n"
        "\"esc\\n\\r\"=-\n";
    ce::kernel::RegRoots first, second;
    ce::kernel::RegParseError error;
    ASSERT_TRUE(ce::kernel::parseReg(text, first, error)) << error.line << ": " << error.message;
    std::string written = ce::kernel::formatReg(first);
    ASSERT_TRUE(ce::kernel::parseReg(written, second, error)) << error.message << "\n" << written;
    EXPECT_EQ(ce::kernel::formatReg(second), written);
    // the statements took effect in order, and names and data are what the text says
    const ce::kernel::RegKey& a = *first[ce::kernel::kCurrentUser].subkey(u"a");
    EXPECT_EQ(a.name, u"A");
    EXPECT_EQ(a.value(u"esc\n\r"), nullptr);
    ASSERT_NE(a.value(u"lit\\q"), nullptr);
    EXPECT_EQ(a.value(u"lit\\q")->data, ce::kernel::regString(u"C:\\data"));  // not an escape
    EXPECT_EQ(a.value(u"")->type, DWORD(REG_EXPAND_SZ));
    const ce::kernel::RegKey& b = *a.subkey(u"b");
    EXPECT_EQ(b.value(u"bin")->data, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(b.value(u"odd")->data, (std::vector<uint8_t>{0x41}));
    EXPECT_EQ(b.value(u"dw")->data, (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(first[ce::kernel::kLocalMachine].subkey(u"Gone"), nullptr);
}

TEST(RegistryTree, LookupByNameIgnoresCaseAndKeepsTheOrderOfAdding) {
    ce::kernel::RegKey parent;
    std::vector<std::u16string> names;
    for (int i = 0; i < 1000; ++i) {
        names.push_back(u"Key" + ce::kernel::fromUtf8(std::to_string(i * 7919 % 1000)) + u"\u00c9");
        parent.addSubkey(names.back());
    }
    for (int i = 0; i < 1000; i += 37) {
        std::u16string lower = ce::kernel::folded(names[i]);
        ASSERT_NE(parent.subkey(lower), nullptr) << kt::utf8(lower);
        EXPECT_EQ(parent.subkey(lower)->name, names[i]);
    }
    EXPECT_EQ(parent.subkey(u"Key1000\u00c9"), nullptr);
    // removing keeps the others in their order and findable
    for (int i = 0; i < 1000; i += 3) EXPECT_TRUE(parent.removeSubkey(names[i]));
    EXPECT_FALSE(parent.removeSubkey(names[0]));
    std::vector<std::u16string> left;
    for (const auto& k : parent.subkeys) left.push_back(k.name);
    std::vector<std::u16string> expected;
    for (int i = 0; i < 1000; ++i) {
        if (i % 3)
            expected.push_back(names[i]);
    }
    EXPECT_EQ(left, expected);
    for (int i = 1; i < 1000; i += 3) EXPECT_NE(parent.subkey(names[i]), nullptr);
    for (int i = 0; i < 1000; i += 3) EXPECT_EQ(parent.subkey(names[i]), nullptr);
}

}  // namespace
