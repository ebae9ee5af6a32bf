// Which folder a text names, asked of the one place the Apply pass asks it, and checked against
// where the device's own file system takes the same text: thousands of random spellings made of
// "\", "/", ".", "..", blanks, doubled separators, letter case and the names of real folders.
#include "AppCoreTest.h"

#include <cstdlib>
#include <random>

#include "tweaks/ApplySteps.h"

namespace appcore {
namespace {

// A small tree: nested folders, two folders whose names differ only in case, a folder whose
// name ends in a blank, and a file to walk through.
const char16_t* const kFolders[] = {u"\\Alpha",
                                    u"\\Alpha\\Beta",
                                    u"\\Alpha\\Beta\\Gamma",
                                    u"\\My Documents",
                                    u"\\My Documents\\Sub",
                                    u"\\Temp",
                                    u"\\Windows",
                                    u"\\Windows\\Temp",
                                    u"\\Dup",
                                    u"\\DUP",
                                    u"\\Space ",
                                    u"\\Space \\Inner"};
const char16_t kFile[] = u"\\Alpha\\file.txt";

struct Node {
    std::u16string name;
    std::vector<Node> children;
};

// The tree above as the generator walks it (children by name; the file counts as a child).
Node TreeOf() {
    Node root;
    auto add = [&](const std::u16string& path) {
        Node* node = &root;
        size_t start = 1;
        while (start <= path.size()) {
            size_t end = path.find(u'\\', start);
            if (end == std::u16string::npos)
                end = path.size();
            std::u16string name = path.substr(start, end - start);
            auto it = std::find_if(node->children.begin(), node->children.end(),
                                   [&](const Node& n) { return n.name == name; });
            if (it == node->children.end()) {
                node->children.push_back({name, {}});
                it = node->children.end() - 1;
            }
            node = &*it;
            start = end + 1;
        }
    };
    for (const char16_t* folder : kFolders) add(folder);
    add(kFile);
    return root;
}

class SpellingMaker {
  public:
    SpellingMaker(unsigned seed, Node root) : random_(seed), root_(std::move(root)) {}

    std::u16string Make() {
        std::u16string text;
        int lead = Pick(20);
        if (lead == 0)
            text = u"";  // relative: no separator at all
        else if (lead <= 2)
            text = Separator() + Separator();  // a network name
        else
            text = Separator();
        const Node* node = &root_;
        int depth = Pick(8) == 0 ? 0 : 1 + Pick(4);
        for (int i = 0; i < depth; i++) {
            if (i > 0 || lead == 0)
                text += Separators();
            text += Component(node);
        }
        if (Pick(2))
            text += Separators();
        // Now and then a text longer than any path, still naming a short one.
        if (Pick(100) == 0)
            while (text.size() < 1030) text += Separator() + u".";
        return text;
    }

  private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    std::u16string Separator() { return Pick(2) ? u"\\" : u"/"; }
    std::u16string Separators() {
        std::u16string s = Separator();
        while (Pick(4) == 0) s += Separator();
        // "." components between separators name the same folder.
        while (Pick(5) == 0) s += u"." + Separator();
        return s;
    }
    std::u16string CaseChanged(std::u16string name) {
        for (char16_t& c : name) {
            if (Pick(3) == 0 && c < 0x80 && isalpha((int)c))
                c = (char16_t)(isupper((int)c) ? tolower((int)c) : toupper((int)c));
        }
        return name;
    }
    // The next component; walks node down when it names a child.
    std::u16string Component(const Node*& node) {
        int kind = Pick(32);
        if (kind == 0)
            return u"..";
        if (kind == 1)
            return u".";
        if (kind == 2)
            return u"Nowhere";
        if (kind == 3)
            return Pick(2) ? u"Alpha " : u" ";  // blanks are part of a name
        if (kind == 4)
            return Pick(2) ? u"a*b" : u"c:d";
        if (node->children.empty())
            return u"Leaf";
        const Node& child = node->children[(size_t)Pick((int)node->children.size())];
        node = &child;
        return Pick(2) ? child.name : CaseChanged(child.name);
    }

    std::mt19937 random_;
    Node root_;
};

std::u16string DevicePathOf(const fs::path& root, const fs::path& folder) {
    std::u16string device;
    for (const fs::path& part : fs::relative(folder, root)) {
        if (part == ".")
            continue;
        std::string name = part.string();
        device += u"\\" + std::u16string(name.begin(), name.end());
    }
    return device.empty() ? u"\\" : device;
}

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? (char)c : '?';
    return out;
}

bool HasComponent(const std::u16string& text, const std::u16string& component) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(u"\\/", start);
        if (end == std::u16string::npos)
            end = text.size();
        if (text.compare(start, end - start, component) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

class FolderPaths : public ::testing::Test {
  protected:
    FolderPaths() : device_(TempDevice::Contents::Empty) {
        for (const char16_t* folder : kFolders) fs::create_directories(device_.host(folder));
        MakeFile(device_.host(kFile), 3);
    }

    // Where the device's file system puts a new file named below the text: the folder it lands
    // in, found on the host, or nothing when the file system refuses the text.
    std::optional<std::u16string> WhereTheDevicePutsAFile(const std::u16string& text) {
        const char16_t marker[] = u"marker-7f3a";
        // Joined as a program joins a name to a folder: the root "\" and "\marker" would
        // make a network name.
        bool separated = !text.empty() && (text.back() == u'\\' || text.back() == u'/');
        std::u16string path = text + (separated ? u"" : u"\\") + marker;
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        if (h == INVALID_HANDLE_VALUE)
            return std::nullopt;
        CloseHandle(h);
        fs::path root = device_.host(u"\\");
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.path().filename() == "marker-7f3a") {
                fs::path folder = entry.path().parent_path();
                fs::remove(entry.path());
                return DevicePathOf(root, folder);
            }
        }
        ADD_FAILURE() << "the device made a file that is nowhere in the image";
        return std::nullopt;
    }

    // Checks one text; returns what is wrong, or an empty text.
    std::string Judge(const std::u16string& text) {
        WCHAR answer[TWEAK_PATH_UNITS];
        FOLDER_PATH_RESULT result = ResolveFolderPath(text.c_str(), answer);
        std::u16string answered = result == FOLDER_PATH_OK ? std::u16string(answer) : u"";
        auto said = [&] {
            return " (answer " + std::to_string(result) + " \"" + Narrow(answered) + "\")";
        };
        if (text.size() >= 2 && (text[0] == u'\\' || text[0] == u'/') &&
            (text[1] == u'\\' || text[1] == u'/'))
            return result == FOLDER_PATH_NETWORK ? "" : "a network name was not refused" + said();
        if (text.empty())
            return result == FOLDER_PATH_EMPTY ? "" : "an empty text was not refused" + said();
        if (text.size() > 1023)
            return result == FOLDER_PATH_TOO_LONG ? "" : "a text past 1023 units" + said();
        std::optional<std::u16string> reached = WhereTheDevicePutsAFile(text);
        if (reached) {
            if (*reached == u"\\")
                return result == FOLDER_PATH_ROOT ? "" : "the root was not refused" + said();
            if (result != FOLDER_PATH_OK)
                return "refused a folder the device reaches, " + Narrow(*reached) + said();
            if (answered != *reached + u"\\")
                return "the device reaches " + Narrow(*reached) + said();
            return "";
        }
        // The device reaches no folder: a refusal must have its reason, an answer must name a
        // folder that is not there.
        switch (result) {
            case FOLDER_PATH_OK: {
                DWORD attributes = GetFileAttributesW(answer);
                bool folder = attributes != INVALID_FILE_ATTRIBUTES &&
                              (attributes & FILE_ATTRIBUTE_DIRECTORY);
                return folder ? "names a folder the device did not reach" + said() : "";
            }
            case FOLDER_PATH_BAD_NAME:
                return HasComponent(text, u"..") ||
                               text.find_first_of(u"*?:<>|\"") != std::u16string::npos
                           ? ""
                           : "refused as a bad name" + said();
            case FOLDER_PATH_RELATIVE:
                return text.empty() || text[0] == u'\\' || text[0] == u'/'
                           ? "refused as relative" + said()
                           : "";
            case FOLDER_PATH_EMPTY:
                return text.empty() ? "" : "refused as empty" + said();
            default:
                return "refused" + said();
        }
    }

    TempDevice device_;
};

TEST_F(FolderPaths, TenThousandSpellingsNameWhatTheDeviceReaches) {
    unsigned seed = std::random_device()();
    if (const char* fixed = getenv("VARNELLO_SPELLING_SEED"))
        seed = (unsigned)strtoul(fixed, nullptr, 10);
    SpellingMaker maker(seed, TreeOf());
    int failures = 0;
    int reachedFolders = 0;
    for (int i = 0; i < 10000 && failures < 10; i++) {
        std::u16string text = maker.Make();
        std::string wrong = Judge(text);
        if (!wrong.empty()) {
            ADD_FAILURE() << "\"" << Narrow(text) << "\": " << wrong << " (seed " << seed
                          << "; VARNELLO_SPELLING_SEED repeats it)";
            failures++;
        }
        WCHAR answer[TWEAK_PATH_UNITS];
        if (ResolveFolderPath(text.c_str(), answer) == FOLDER_PATH_OK &&
            GetFileAttributesW(answer) != INVALID_FILE_ATTRIBUTES)
            reachedFolders++;
    }
    // The spellings must mostly reach real folders, or the comparison proves little.
    EXPECT_GT(reachedFolders, 2000) << "seed " << seed;
}

// The spellings people and old values actually hold, and the answer for each.
TEST_F(FolderPaths, KnownSpellings) {
    struct Case {
        const char16_t* text;
        FOLDER_PATH_RESULT result;
        const char16_t* folder;
    } cases[] = {
        {u"\\/", FOLDER_PATH_NETWORK, u""},
        {u"//", FOLDER_PATH_NETWORK, u""},
        {u"/\\Temp", FOLDER_PATH_NETWORK, u""},
        {u"\\\\server\\share\\", FOLDER_PATH_NETWORK, u""},
        {u"/", FOLDER_PATH_ROOT, u""},
        {u"\\./", FOLDER_PATH_ROOT, u""},
        {u"\\.\\", FOLDER_PATH_ROOT, u""},
        {u"/.", FOLDER_PATH_ROOT, u""},
        {u"\\Temp\\..\\", FOLDER_PATH_BAD_NAME, u""},
        {u"\\Temp/../", FOLDER_PATH_BAD_NAME, u""},
        {u"\\Temp\\...", FOLDER_PATH_OK, u"\\Temp\\...\\"},  // a name, not a step up
        {u"\\My Documents/Sub\\", FOLDER_PATH_OK, u"\\My Documents\\Sub\\"},
        {u"\\MY DOCUMENTS\\\\", FOLDER_PATH_OK, u"\\My Documents\\"},
        {u"\\windows//./TEMP", FOLDER_PATH_OK, u"\\Windows\\Temp\\"},
        {u"\\Space \\inner", FOLDER_PATH_OK, u"\\Space \\Inner\\"},
        {u"\\Alpha ", FOLDER_PATH_OK, u"\\Alpha \\"},  // another name, which does not exist
        {u"\\DUP", FOLDER_PATH_OK, u"\\DUP\\"},        // the exact spelling wins
        {u"\\Dup", FOLDER_PATH_OK, u"\\Dup\\"},
        {u"\\Temp\\*", FOLDER_PATH_BAD_NAME, u""},
        {u"Temp\\", FOLDER_PATH_RELATIVE, u""},
        {u"", FOLDER_PATH_EMPTY, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        WCHAR answer[TWEAK_PATH_UNITS];
        EXPECT_EQ(ResolveFolderPath(c.text, answer), c.result);
        if (c.result == FOLDER_PATH_OK)
            EXPECT_EQ(std::u16string(answer), c.folder);
    }
    WCHAR answer[TWEAK_PATH_UNITS];
    EXPECT_EQ(ResolveFolderPath(nullptr, answer), FOLDER_PATH_EMPTY);
}

// 1023 units is the longest path; a folder also needs its final backslash and the "*" that lists
// it, so the longest folder that can be cleaned is 1021 units without its backslash.
TEST_F(FolderPaths, LengthLimitsInEverySpelling) {
    WCHAR answer[TWEAK_PATH_UNITS];
    std::u16string longest = u"\\" + std::u16string(1020, u'x');
    EXPECT_EQ(ResolveFolderPath(longest.c_str(), answer), FOLDER_PATH_OK);
    EXPECT_EQ(std::u16string(answer), longest + u"\\");
    EXPECT_EQ(ResolveFolderPath((longest + u"y").c_str(), answer), FOLDER_PATH_TOO_LONG);
    // Collapsed separators do not make a long text short enough: the text itself must fit.
    std::u16string padded = u"\\Temp" + std::u16string(1100, u'/');
    EXPECT_EQ(ResolveFolderPath(padded.c_str(), answer), FOLDER_PATH_TOO_LONG);
    // A file path may use all 1023 units.
    std::u16string file = u"\\" + std::u16string(1022, u'f');
    EXPECT_EQ(ResolveDevicePath(file.c_str(), answer, TWEAK_PATH_UNITS), FOLDER_PATH_OK);
    EXPECT_EQ(ResolveDevicePath((file + u"g").c_str(), answer, TWEAK_PATH_UNITS),
              FOLDER_PATH_TOO_LONG);
}

TEST_F(FolderPaths, FoldersCompareByWhatTheyName) {
    EXPECT_EQ(CompareFolders(u"\\Docs\\", u"\\Docs\\"), FOLDERS_SAME);
    EXPECT_EQ(CompareFolders(u"\\Docs\\Sub\\", u"\\Docs\\"), FOLDER_INSIDE);
    EXPECT_EQ(CompareFolders(u"\\Docs\\", u"\\Docs\\Sub\\"), FOLDER_CONTAINS);
    EXPECT_EQ(CompareFolders(u"\\Docs2\\", u"\\Docs\\"), FOLDERS_APART);
    EXPECT_EQ(CompareFolders(u"\\Docs\\", u"\\Docs2\\"), FOLDERS_APART);
}

}  // namespace
}  // namespace appcore
