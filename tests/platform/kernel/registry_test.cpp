// The registry: keys and values as Win32 gives them, kept in registry.reg and shared safely.
#include "regutil.h"

#include <sys/wait.h>
#include <unistd.h>

using ce::test::TempDevice;
using kt::getDword;
using kt::getString;
using kt::setDword;
using kt::setString;

namespace {

class RegistryTest : public ::testing::Test {
  protected:
    TempDevice device{TempDevice::Contents::Empty};
    std::filesystem::path file = device.dir() / "registry.reg";
};

TEST_F(RegistryTest, CreateOpensExistingKeysAndAnyAccessMaskWorks) {
    HKEY key;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Game", 0, nullptr, 0, 0,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\apps\\game", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
    // access mask 0 (ignored on Windows CE) and a leading backslash name the same key
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\Software\\Apps", 0, 0, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Missing", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Apps", 0, 0, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, QueryReportsSizesAndMoreData) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\AvantGo", 0, nullptr, 0, 0, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(setString(key, u"DatabaseLocation", u"\\Windows\\AvantGo"), ERROR_SUCCESS);
    DWORD type = 0, cb = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"databaselocation", nullptr, &type, nullptr, &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(cb, DWORD((16 + 1) * 2));
    WCHAR small[4];
    cb = sizeof small;
    EXPECT_EQ(RegQueryValueExW(key, u"DatabaseLocation", nullptr, &type,
                               reinterpret_cast<BYTE*>(small), &cb),
              ERROR_MORE_DATA);
    EXPECT_EQ(cb, DWORD(34));
    cb = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Nothing", nullptr, &type, nullptr, &cb),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryTest, StringsWithoutTerminatorAreStoredTerminated) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"K", 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    std::u16string text = u"\\Storage\\Cache\\";
    ASSERT_EQ(RegSetValueExW(key, u"Cache", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                             static_cast<DWORD>(text.size() * 2)),
              ERROR_SUCCESS);
    WCHAR buf[64];
    for (auto& c : buf) c = u'#';
    DWORD cb = sizeof buf;
    ASSERT_EQ(RegQueryValueExW(key, u"Cache", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(cb, DWORD((text.size() + 1) * 2));
    EXPECT_EQ(std::u16string(buf), text);
    RegCloseKey(key);
    EXPECT_NE(ce::kernel::exportRegistry().find("\"Cache\"=\"\\\\Storage\\\\Cache\\\\\""),
              std::string::npos);
}

TEST_F(RegistryTest, EnumerationEndsWithNoMoreItems) {
    HKEY apps;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps", 0, nullptr, 0, 0, nullptr,
                              &apps, nullptr),
              ERROR_SUCCESS);
    for (auto name : {u"One", u"Two", u"A much longer name"}) {
        HKEY k;
        ASSERT_EQ(RegCreateKeyExW(apps, name, 0, nullptr, 0, 0, nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        setDword(k, u"Instl", 1);
        RegCloseKey(k);
    }
    std::vector<std::u16string> seen;
    DWORD longIndex = 99;
    for (DWORD i = 0;; ++i) {
        WCHAR name[1024];
        DWORD cch = 1024;
        LONG rc = RegEnumKeyExW(apps, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(rc, ERROR_SUCCESS);
        EXPECT_EQ(cch, std::u16string(name).size());
        if (cch > 10)
            longIndex = i;
        seen.push_back(name);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"A much longer name", u"One", u"Two"}));
    WCHAR tiny[4];
    DWORD cch = 4;
    EXPECT_EQ(RegEnumKeyExW(apps, longIndex, tiny, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    HKEY one;
    ASSERT_EQ(RegOpenKeyExW(apps, u"One", 0, 0, &one), ERROR_SUCCESS);
    WCHAR vname[16];
    DWORD vcch = 16, type = 0, data = 0, cb = 4;
    ASSERT_EQ(
        RegEnumValueW(one, 0, vname, &vcch, nullptr, &type, reinterpret_cast<BYTE*>(&data), &cb),
        ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(vname), u"Instl");
    EXPECT_EQ(data, 1u);
    vcch = 16;
    EXPECT_EQ(RegEnumValueW(one, 1, vname, &vcch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(one);
    RegCloseKey(apps);
}

TEST_F(RegistryTest, DeletingAKeyTakesItsSubkeysAsOnWindowsCE) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Old\\Sub\\Deeper", 0, nullptr,
                              0, 0, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(k);
    HKEY apps;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\Software\\Apps", 0, KEY_ALL_ACCESS, &apps),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(apps, u"old"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Old\\Sub", 0, 0, &k),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(apps, u"Old"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_ACCESS_DENIED);  // a root stays
    RegCloseKey(apps);
    EXPECT_EQ(ce::kernel::exportRegistry().find("Old"), std::string::npos);
}

TEST_F(RegistryTest, ChangesPersistAndReloadWithEveryValueType) {
    HKEY k;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"System\\GWE", 0, nullptr, 0, 0, nullptr, &k, nullptr),
        ERROR_SUCCESS);
    setDword(k, u"Animate", 0);
    setString(k, u"Quote", u"say \"hi\" \\ bye");
    setString(k, nullptr, u"default");
    BYTE bin[] = {0, 1, 2, 0xFE, 0xFF};
    RegSetValueExW(k, u"Bin", 0, REG_BINARY, bin, sizeof bin);
    std::u16string multi(u"one\0two\0\0", 9);
    RegSetValueExW(k, u"Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi.data()), 18);
    setString(k, u"Gone", u"x");
    EXPECT_EQ(RegDeleteValueW(k, u"gone"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(k, u"gone"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(k);

    ce::Device::close();  // the last program to close the device writes registry.reg whole
    std::string text = kt::readHost(file);
    EXPECT_FALSE(std::filesystem::exists(device.dir() / "registry.journal"));
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\System\\GWE]\n"), std::string::npos);
    EXPECT_NE(text.find("\"Animate\"=dword:00000000\n"), std::string::npos);
    EXPECT_NE(text.find("\"Quote\"=\"say \\\"hi\\\" \\\\ bye\"\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Bin\"=hex:00,01,02,fe,ff\n"), std::string::npos);
    EXPECT_NE(text.find("\"Multi\"=hex(7):6f,00,6e,00,65,00,00,00,74,00,77,00,6f,00,00,00,00,00\n"),
              std::string::npos);

    ce::Device::open(device.dir());
    EXPECT_EQ(getDword(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Animate"), 0u);
    EXPECT_EQ(getString(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Quote"), u"say \"hi\" \\ bye");
    EXPECT_EQ(getString(HKEY_LOCAL_MACHINE, u"System\\GWE", u""), u"default");
    EXPECT_EQ(getString(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Gone"), u"<no value>");
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"System\\GWE", 0, 0, &k), ERROR_SUCCESS);
    BYTE back[32];
    DWORD cb = sizeof back, type = 0;
    ASSERT_EQ(RegQueryValueExW(k, u"Multi", nullptr, &type, back, &cb), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(back), cb / 2), multi);
    RegCloseKey(k);
    EXPECT_EQ(kt::readHost(file), text);  // reading writes nothing
}

TEST_F(RegistryTest, ReadsRegFilesWithContinuationLinesAndExpandStrings) {
    ce::Device::close();
    kt::writeHost(file,
                  "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
                  "; a comment\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Test]\r\n"
                  "\"Path\"=hex(2):25,00,54,00,\\\r\n"
                  "  45,00,00,00\r\n"
                  "\"Count\"=dword:0000000a\r\n"
                  "[HKEY_LOCAL_MACHINE\\Removed]\r\n"
                  "[-HKEY_LOCAL_MACHINE\\Removed]\r\n");
    ce::Device::open(device.dir());
    HKEY k;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Test", 0, 0, &k), ERROR_SUCCESS);
    WCHAR buf[8] = {};
    DWORD cb = sizeof buf, type = 0;
    ASSERT_EQ(RegQueryValueExW(k, u"Path", nullptr, &type, reinterpret_cast<BYTE*>(buf), &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(std::u16string(buf), u"%TE");
    RegCloseKey(k);
    EXPECT_EQ(getDword(HKEY_CURRENT_USER, u"Software\\Test", u"Count"), 10u);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Removed", 0, 0, &k), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, ACorruptFileIsRefusedWithItsLineAndLeftUntouched) {
    ce::Device::close();
    const std::string corrupt =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\System]\n\"Bad\"=dword:zz\n";
    kt::writeHost(file, corrupt);
    try {
        ce::Device::open(device.dir());
        FAIL() << "a corrupt registry was accepted";
    } catch (const ce::DeviceError& e) {
        std::string what = e.what();
        EXPECT_NE(what.find("registry.reg"), std::string::npos) << what;
        EXPECT_NE(what.find("line 4"), std::string::npos) << what;
    }
    EXPECT_EQ(kt::readHost(file), corrupt);
    for (const char* junk : {"REGEDIT4\n", "", "\x01\x02\x03garbage",
                             "Windows Registry Editor Version 5.00\n\"v\"=\"x\"\n",
                             "Windows Registry Editor Version 5.00\n[HKEY_NOWHERE\\X]\n"}) {
        kt::writeHost(file, junk);
        EXPECT_THROW(ce::Device::open(device.dir()), ce::DeviceError) << junk;
        EXPECT_EQ(kt::readHost(file), junk);
    }
}

TEST_F(RegistryTest, AFileCorruptedWhileOpenIsNeverOverwritten) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"A", 0, nullptr, 0, 0, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    const std::string corrupt =
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"x\"=what\n";
    kt::writeHost(file, corrupt);
    EXPECT_EQ(setDword(k, u"v", 1), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(kt::readHost(file), corrupt);
    RegCloseKey(k);
    EXPECT_NE(device.log().find("registry not written"), std::string::npos);
}

TEST_F(RegistryTest, TwoProgramsOfOneDeviceDoNotLoseEachOthersWrites) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Shared", 0, nullptr, 0, 0, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(k);
    auto writer = [](const char16_t* prefix) {
        for (int i = 0; i < 40; ++i) {
            HKEY key;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Shared", 0, 0, &key) != ERROR_SUCCESS)
                return false;
            std::u16string name = prefix + ce::kernel::fromUtf8(std::to_string(i));
            LONG rc = setDword(key, name.c_str(), static_cast<DWORD>(i));
            RegCloseKey(key);
            if (rc != ERROR_SUCCESS)
                return false;
        }
        return true;
    };
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ce::Device::open(device.dir());
        _exit(writer(u"child") ? 0 : 1);
    }
    EXPECT_TRUE(writer(u"parent"));
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ce::Device::close();
    ce::Device::open(device.dir());
    for (int i = 0; i < 40; ++i) {
        std::u16string n = ce::kernel::fromUtf8(std::to_string(i));
        EXPECT_EQ(getDword(HKEY_CURRENT_USER, u"Shared", (u"child" + n).c_str()), DWORD(i));
        EXPECT_EQ(getDword(HKEY_CURRENT_USER, u"Shared", (u"parent" + n).c_str()), DWORD(i));
    }
}

TEST(FactoryRegistry, HoldsWhatTheProgramReads) {
    TempDevice device;
    const char16_t* cache =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\";
    for (auto sub : {u"Content", u"History", u"Cookies"})
        EXPECT_NE(getDword(HKEY_CURRENT_USER, (std::u16string(cache) + sub).c_str(), u"CacheLimit"),
                  0xBEEFu);
    EXPECT_EQ(getDword(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Animate"), 1u);
    EXPECT_EQ(getDword(HKEY_LOCAL_MACHINE, u"System\\GWE\\Menu", u"AniType"), 6u);
    EXPECT_EQ(getDword(HKEY_LOCAL_MACHINE, u"System\\GDI\\GLYPHCACHE", u"limit"), 8192u);
    EXPECT_EQ(getString(HKEY_LOCAL_MACHINE, u"Explorer\\Shell Folders", u"My Documents"),
              u"\\My Documents");
    EXPECT_EQ(getString(HKEY_LOCAL_MACHINE, u"Explorer\\Shell Folders", u"Fonts"),
              u"\\Windows\\Fonts");
    const char16_t* shell =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    for (auto name : {u"Cache", u"History"}) {
        std::u16string folder = getString(HKEY_CURRENT_USER, shell, name);
        EXPECT_NE(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES) << kt::utf8(folder);
    }
    std::u16string avantgo =
        getString(HKEY_CURRENT_USER, u"Software\\AvantGo", u"DatabaseLocation");
    EXPECT_NE(GetFileAttributesW(avantgo.c_str()), INVALID_FILE_ATTRIBUTES);
    // some installed applications' folders are gone
    HKEY apps;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\Software\\Apps", 0, KEY_ALL_ACCESS, &apps),
              ERROR_SUCCESS);
    int gone = 0, present = 0;
    WCHAR name[1024];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 1024;
        if (RegEnumKeyExW(apps, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        std::u16string dir =
            getString(HKEY_LOCAL_MACHINE, (u"Software\\Apps\\" + std::u16string(name)).c_str(),
                      u"InstallDir");
        if (dir.front() != u'\\')
            continue;
        (GetFileAttributesW(dir.c_str()) == INVALID_FILE_ATTRIBUTES ? gone : present)++;
    }
    RegCloseKey(apps);
    EXPECT_GE(gone, 2);
    EXPECT_GE(present, 1);
}

}  // namespace
