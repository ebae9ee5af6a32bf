// The setup library's four hooks, found by name in the loaded library as the installer finds
// them, and its version resource.
#include <gtest/gtest.h>

#include <windows.h>
#include <ce_setup.h>

#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "testing/device.h"
#include "resources/resources.h"

namespace {

namespace fs = std::filesystem;
using ce::test::TempDevice;

class SetupLibrary : public ::testing::Test {
  protected:
    SetupLibrary() {
        handle_ = dlopen(SETUP_LIBRARY_PATH, RTLD_NOW);
        if (!handle_)
            ADD_FAILURE() << dlerror();
    }
    ~SetupLibrary() override {
        if (handle_)
            dlclose(handle_);
    }
    template <class T>
    T Hook(const char* name) {
        return handle_ ? reinterpret_cast<T>(dlsym(handle_, name)) : nullptr;
    }
    void Make(const std::u16string& devicePath) {
        fs::path host = device_.host(devicePath);
        fs::create_directories(host.parent_path());
        std::ofstream(host) << "x";
    }
    bool Exists(const std::u16string& devicePath) { return fs::exists(device_.host(devicePath)); }

    TempDevice device_;
    void* handle_ = nullptr;
};

TEST_F(SetupLibrary, EveryHookIsExportedByNameAndAnswersGoOn) {
    auto installInit = Hook<pfnINSTALL_INIT>("Install_Init");
    auto installExit = Hook<pfnINSTALL_EXIT>("Install_Exit");
    auto uninstallInit = Hook<pfnUNINSTALL_INIT>("Uninstall_Init");
    auto uninstallExit = Hook<pfnUNINSTALL_EXIT>("Uninstall_Exit");
    ASSERT_NE(installInit, nullptr);
    ASSERT_NE(installExit, nullptr);
    ASSERT_NE(uninstallInit, nullptr);
    ASSERT_NE(uninstallExit, nullptr);
    EXPECT_EQ(installInit(NULL, TRUE, FALSE, u"\\Program Files\\Varnello"),
              codeINSTALL_INIT_CONTINUE);
    EXPECT_EQ(installExit(NULL, u"\\Program Files\\Varnello", 1, 2, 3, 4, 5),
              codeINSTALL_EXIT_DONE);
    // With nothing to remove, removal still goes on.
    EXPECT_EQ(uninstallInit(NULL, u"\\Program Files\\Varnello"), codeUNINSTALL_INIT_CONTINUE);
    EXPECT_EQ(uninstallExit(NULL), codeUNINSTALL_EXIT_DONE);
    EXPECT_EQ(device_.log().find("message box"), std::string::npos);
}

TEST_F(SetupLibrary, RemovalDeletesTheFilesTheProgramMade) {
    Make(u"\\Windows\\StartUp\\Varnello.lnk");
    Make(u"\\Program Files\\Varnello\\settings.dat");
    Make(u"\\Program Files\\Varnello\\Varnello.exe");
    Make(u"\\Windows\\Help\\Varnello.lnk");
    Make(u"\\Windows\\tunedoc.htm");
    Make(u"\\Windows\\StartUp\\Other.lnk");
    auto uninstallInit = Hook<pfnUNINSTALL_INIT>("Uninstall_Init");
    ASSERT_NE(uninstallInit, nullptr);
    EXPECT_EQ(uninstallInit(NULL, u"\\Program Files\\Varnello"), codeUNINSTALL_INIT_CONTINUE);
    EXPECT_FALSE(Exists(u"\\Windows\\StartUp\\Varnello.lnk"));
    EXPECT_FALSE(Exists(u"\\Program Files\\Varnello\\settings.dat"));
    EXPECT_FALSE(Exists(u"\\Windows\\Help\\Varnello.lnk"));
    EXPECT_FALSE(Exists(u"\\Windows\\tunedoc.htm"));
    // The installer removes its own files afterwards; the hook leaves them.
    EXPECT_TRUE(Exists(u"\\Program Files\\Varnello\\Varnello.exe"));
    EXPECT_TRUE(Exists(u"\\Windows\\StartUp\\Other.lnk"));
}

TEST_F(SetupLibrary, InstallFolderWithItsFinalBackslashNamesTheSameSettingsFile) {
    Make(u"\\Apps\\V\\settings.dat");
    auto uninstallInit = Hook<pfnUNINSTALL_INIT>("Uninstall_Init");
    ASSERT_NE(uninstallInit, nullptr);
    EXPECT_EQ(uninstallInit(NULL, u"\\Apps\\V\\"), codeUNINSTALL_INIT_CONTINUE);
    EXPECT_FALSE(Exists(u"\\Apps\\V\\settings.dat"));
}

TEST_F(SetupLibrary, InstallFolderTooLongForThePathIsNotCutAndUsed) {
    // A folder of 1012 characters: its settings path has 1025, and cut to the buffer it would
    // name "...\settings.d", another file, which must survive.
    std::u16string folder;
    for (int i = 0; i < 5; i++) folder += u"\\" + std::u16string(200, u'a' + i);
    folder += u"\\folder";
    ASSERT_EQ(folder.size(), 1012u);
    std::u16string cutName = folder + u"\\settings.d";
    ASSERT_EQ(cutName.size(), 1023u);
    Make(cutName);
    ASSERT_TRUE(Exists(cutName));
    auto uninstallInit = Hook<pfnUNINSTALL_INIT>("Uninstall_Init");
    ASSERT_NE(uninstallInit, nullptr);
    EXPECT_EQ(uninstallInit(NULL, folder.c_str()), codeUNINSTALL_INIT_CONTINUE);
    EXPECT_TRUE(Exists(cutName));
    // No folder at all: nothing to join, removal goes on.
    EXPECT_EQ(uninstallInit(NULL, nullptr), codeUNINSTALL_INIT_CONTINUE);
    EXPECT_EQ(uninstallInit(NULL, u""), codeUNINSTALL_INIT_CONTINUE);
}

TEST_F(SetupLibrary, VersionResourceNamesTheLibrary) {
    void* anchor = Hook<void*>("Uninstall_Exit");
    ASSERT_NE(anchor, nullptr);
    const ce::resources::ResourceSet* resources =
        ce::resources::moduleOf(ce::resources::instanceFor(anchor));
    ASSERT_NE(resources, nullptr);
    ASSERT_TRUE(resources->version.has_value());
    const ce::resources::VersionInfo& version = *resources->version;
    EXPECT_EQ(_wcsicmp(version.langCodepage.c_str(), u"040904B0"), 0);
    const std::pair<const char16_t*, const char16_t*> expected[] = {
        {u"FileVersion", u"1, 0, 0, 1"},
        {u"ProductVersion", u"1, 0, 0, 1"},
        {u"FileDescription", u"VarnelloSetup DLL"},
        {u"InternalName", u"VarnelloSetup"},
        {u"OriginalFilename", u"VarnelloSetup.dll"},
        {u"ProductName", u"VarnelloSetup Dynamic Link Library"},
        {u"CompanyName", u"Zembrik"},
    };
    for (const auto& [name, value] : expected) {
        auto it = version.strings.find(name);
        ASSERT_NE(it, version.strings.end())
            << std::string(name, name + std::char_traits<char16_t>::length(name));
        EXPECT_EQ(it->second, value);
    }
    EXPECT_EQ(version.fileVersion[0], 1);
    EXPECT_EQ(version.fileVersion[3], 1);
}

}  // namespace
