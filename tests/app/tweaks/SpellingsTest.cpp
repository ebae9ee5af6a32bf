// Folder texts in the spellings that once reached the whole device (separators of both kinds,
// ".", "..", doubled separators, other letter case) fed through every folder input of the Apply
// pass: the seven edits and the six registry values that name folders, in a real interactive
// and a real silent Apply. Canary trees at the root, in \Windows and outside the image are
// compared file by file: nothing outside the named folder's own tree may change.
#include "ApplyRun.h"

namespace appcore {
namespace {

const char16_t kUserShellFolders[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char16_t kSystemShellFolders[] = u"Explorer\\Shell Folders";
const char16_t kAvantGo[] = u"Software\\AvantGo";

struct Spelling {
    const char16_t* text;
    const char* names;  // the host folder (below root/) it names, or nullptr when refused
};

const Spelling kSpellings[] = {
    {u"\\/", nullptr},
    {u"/", nullptr},
    {u"\\//", nullptr},
    {u"\\./", nullptr},
    {u"\\.\\", nullptr},
    {u"/.", nullptr},
    {u"\\Temp\\..\\", nullptr},
    {u"\\Temp/../", nullptr},
    {u"\\My Documents/Sub\\", "My Documents/Sub"},
    {u"\\MY DOCUMENTS\\\\", "My Documents"},
};

// A folder input: an edit (the spelling is typed there) or a registry value (the spelling is
// written there). `other` is the folder at the other end of a relocation: the value's folder
// for an edit, the typed target for a value.
struct FolderInput {
    const char* name;
    std::vector<DWORD> bits;
    SETTING_FIELD field;  // SF_NONE for a registry value
    HKEY root = NULL;
    const char16_t* key = nullptr;
    const char16_t* value = nullptr;
    const char16_t* other = nullptr;  // device path
    SETTING_FIELD otherField = SF_NONE;
    bool emptyTargetOnly = false;  // refused unless the target holds nothing (Pocket IE cache)
};

const FolderInput kInputs[] = {
    {"User Defined 1", {OPT_CLEAN_USER_DIR1}, SF_USER_DEFINED1},
    {"User Defined 2", {OPT_CLEAN_USER_DIR2}, SF_USER_DEFINED2},
    {"Move Pocket IE Cache",
     {OPT_MOVE_IE_CACHE},
     SF_IE_CACHE_TARGET,
     HKEY_CURRENT_USER,
     kUserShellFolders,
     u"Cache",
     u"\\IE Cache",
     SF_NONE,
     true},
    {"Move AvantGo Cache",
     {OPT_MOVE_AVANTGO_CACHE},
     SF_AVANTGO_TARGET,
     HKEY_CURRENT_USER,
     kAvantGo,
     u"DatabaseLocation",
     u"\\Src AvantGo"},
    {"Move Favorites",
     {OPT_MOVE_FAVORITES},
     SF_FAVORITES_TARGET,
     HKEY_LOCAL_MACHINE,
     kSystemShellFolders,
     u"Favorites",
     u"\\Src Favorites"},
    {"Move Fonts",
     {OPT_MOVE_FONTS},
     SF_FONTS_TARGET,
     HKEY_LOCAL_MACHINE,
     kSystemShellFolders,
     u"Fonts",
     u"\\Src Fonts"},
    {"Move My Documents",
     {OPT_MOVE_MY_DOCUMENTS},
     SF_MY_DOCUMENTS_TARGET,
     HKEY_LOCAL_MACHINE,
     kSystemShellFolders,
     u"My Documents",
     u"\\Src Documents"},
    {"Cache value",
     {OPT_CLEAR_IE_CACHE, OPT_MOVE_IE_CACHE},
     SF_NONE,
     HKEY_CURRENT_USER,
     kUserShellFolders,
     u"Cache",
     u"\\New Cache\\",
     SF_IE_CACHE_TARGET},
    {"History value",
     {OPT_CLEAR_IE_HISTORY},
     SF_NONE,
     HKEY_CURRENT_USER,
     kUserShellFolders,
     u"History"},
    {"DatabaseLocation value",
     {OPT_MOVE_AVANTGO_CACHE},
     SF_NONE,
     HKEY_CURRENT_USER,
     kAvantGo,
     u"DatabaseLocation",
     u"\\Dest AvantGo\\",
     SF_AVANTGO_TARGET},
    {"Favorites value",
     {OPT_MOVE_FAVORITES},
     SF_NONE,
     HKEY_LOCAL_MACHINE,
     kSystemShellFolders,
     u"Favorites",
     u"\\Dest Favorites\\",
     SF_FAVORITES_TARGET},
    {"Fonts value",
     {OPT_MOVE_FONTS},
     SF_NONE,
     HKEY_LOCAL_MACHINE,
     kSystemShellFolders,
     u"Fonts",
     u"\\Dest Fonts\\",
     SF_FONTS_TARGET},
    {"My Documents value",
     {OPT_MOVE_MY_DOCUMENTS},
     SF_NONE,
     HKEY_LOCAL_MACHINE,
     kSystemShellFolders,
     u"My Documents",
     u"\\Dest Documents\\",
     SF_MY_DOCUMENTS_TARGET},
};

std::string HostName(const char16_t* devicePath) {
    std::string name;
    for (const char16_t* p = devicePath; *p; p++) {
        if (p == devicePath && *p == u'\\')
            continue;
        name += *p == u'\\' ? '/' : (char)*p;
    }
    while (!name.empty() && name.back() == '/') name.pop_back();
    return name;
}

class Spellings : public ApplyRunTest,
                  public ::testing::WithParamInterface<std::tuple<int, RunMode>> {
  protected:
    void PlantTrees() {
        for (const char16_t* file :
             {u"\\root-canary.txt", u"\\Canary\\a.txt", u"\\Canary\\Deep\\b.txt",
              u"\\Windows\\Canary\\c.txt", u"\\Windows\\Canary\\Deep\\d.txt",
              u"\\My Documents\\Sub\\sub1.txt", u"\\My Documents\\Sub\\Deeper\\sub2.txt",
              u"\\IE Cache\\Pages\\page.htm", u"\\Src AvantGo\\ag.pdb",
              u"\\Src Favorites\\Links\\site.url", u"\\Src Fonts\\face.ttf",
              u"\\Src Documents\\letter.doc", u"\\Src Documents\\Old\\memo.doc"})
            WriteBytes(Host(file), Bytes(file, file + std::char_traits<char16_t>::length(file)));
        for (const char16_t* folder : {u"\\New Cache", u"\\Dest AvantGo", u"\\Dest Favorites",
                                       u"\\Dest Fonts", u"\\Dest Documents"})
            fs::create_directories(Host(folder));
        MakeFile(device_.outside() / "outside-canary.txt", 5);
    }

    // The value an input reads, set to its folder before the run.
    void PresetValue(const FolderInput& input, const std::u16string& spelling) {
        if (!input.key)
            return;
        if (input.field == SF_NONE)
            SetRegString(input.root, input.key, input.value, spelling);
        else
            SetRegString(input.root, input.key, input.value, input.other);
    }

    std::vector<OptionText> Texts(const FolderInput& input, const std::u16string& spelling) {
        if (input.field != SF_NONE)
            return {{input.field, spelling}};
        if (input.otherField != SF_NONE)
            return {{input.otherField, input.other}};
        return {};
    }
};

TEST_P(Spellings, ReachOnlyTheFolderTheyName) {
    const Spelling& spelling = kSpellings[std::get<0>(GetParam())];
    RunMode mode = std::get<1>(GetParam());
    PlantTrees();
    const Tree outsideBefore = TakeTree(device_.outside());
    for (const FolderInput& input : kInputs) {
        SCOPED_TRACE(std::string(input.name) + ", " + ModeName(mode));
        PlantTrees();  // what an earlier input cleaned or moved away is there again
        PresetValue(input, spelling.text);
        std::optional<std::u16string> valueBefore;
        if (input.key)
            valueBefore = RegString(input.root, input.key, input.value);
        WriteBytes(SettingsPath(), {0, 0, 0, 0});
        const Tree before = TakeTree(Host(u"\\"));

        std::vector<MessageBoxInfo> boxes = RunApply(mode, input.bits, Texts(input, spelling.text));

        Tree after = TakeTree(Host(u"\\"));
        after.erase("Program Files/Varnello/settings.dat");
        Tree beforeRun = before;
        beforeRun.erase("Program Files/Varnello/settings.dat");
        std::vector<std::string> changed = Changed(beforeRun, after);
        std::vector<std::string> allowed;
        if (spelling.names) {
            allowed.push_back(spelling.names);
            if (input.other)
                allowed.push_back(HostName(input.other));
        }
        for (const std::string& name : changed)
            EXPECT_TRUE(InsideAny(name, allowed)) << name << " changed; " << Describe(boxes);
        EXPECT_TRUE(SameTree(outsideBefore, TakeTree(device_.outside())));

        if (!spelling.names) {
            // Refused, and said so; the value still names what it named.
            EXPECT_TRUE(HasError(boxes, u"was not")) << Describe(boxes);
            if (input.key)
                EXPECT_EQ(RegString(input.root, input.key, input.value), valueBefore);
        } else if (input.emptyTargetOnly) {
            EXPECT_TRUE(HasError(boxes, u"already holds files or folders")) << Describe(boxes);
            EXPECT_TRUE(changed.empty());
        } else {
            // The named folder was acted on.
            EXPECT_FALSE(changed.empty()) << Describe(boxes);
            EXPECT_FALSE(HasError(boxes, u"")) << Describe(boxes);
        }
    }
}

std::string SpellingName(const ::testing::TestParamInfo<std::tuple<int, RunMode>>& info) {
    return "Spelling" + std::to_string(std::get<0>(info.param)) + "_" +
           ModeName(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(AllInputs, Spellings,
                         ::testing::Combine(::testing::Range(0, (int)std::size(kSpellings)),
                                            ::testing::Values(RunMode::Interactive,
                                                              RunMode::Silent)),
                         SpellingName);

}  // namespace
}  // namespace appcore
