// The script language: one step per line, arguments in double quotes where they hold blanks
// ("" inside quotes is one quote; a backslash is just a backslash, as in device paths).
//
// Every command is one row of the command table below: its words, the forms of its arguments
// and what it does. The same row checks a step before the program starts (so that a typo on line
// 5 stops the script before line 2 has cleaned anything) and runs it afterwards.
#include "gwes/script.h"

#include "gwes/entries.h"
#include "gwes/gwes.h"
#include "kernel/device.h"
#include "kernel/regtext.h"

#include <commctrl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace ce::test {
namespace {

[[noreturn]] void fail(int line, const std::string& what) {
    throw DriverError("line " + std::to_string(line) + ": " + what);
}

std::u16string wide(const std::string& s) {
    return gwes::utf16(s);
}

std::string show(const std::u16string& s) {
    return "\"" + gwes::utf8(s) + "\"";
}

// What a step needs besides its words while it runs.
struct Context {
    Driver& driver;
    std::uintmax_t logStart;
};

// ---- argument forms --------------------------------------------------------------------------

enum class Arg {
    Text,        // any word
    Id,          // id=N
    Point,       // X,Y on the screen
    Target,      // "Text", id=N or X,Y
    Key,         // a key name
    Button,      // a message box button
    Number,      // a whole number
    Size,        // a number of bytes
    DevicePath,  // an absolute device path
    RegKey,      // HKLM\Key
    HostFile,    // a file of the host
};

long long number(const ScriptStep& s, const std::string& text, long long lo, long long hi) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) || *end ||
        errno == ERANGE)
        fail(s.line, "\"" + text + "\" is not a number");
    if (v < lo || v > hi)
        fail(s.line,
             text + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
    return v;
}

// "id=50003" -> 50003
int idArg(const ScriptStep& s, size_t i) {
    if (i >= s.words.size() || s.words[i].rfind("id=", 0) != 0 || s.quoted[i])
        fail(s.line, "expected id=N after \"" + s.words[0] + "\"");
    return static_cast<int>(number(s, s.words[i].substr(3), 0, 0x7FFFFFFF));
}

bool looksLikePoint(const ScriptStep& s, size_t i) {
    return i < s.words.size() && !s.quoted[i] && s.words[i].find(',') != std::string::npos;
}

// "120,200" -> a point of a screen; a point off the screen is refused, as no stylus reaches it.
POINT pointArg(const ScriptStep& s, size_t i, int width, int height) {
    if (!looksLikePoint(s, i))
        fail(s.line, "expected a point X,Y, not \"" + s.words[i] + "\"");
    auto comma = s.words[i].find(',');
    POINT p{};
    p.x = static_cast<LONG>(number(s, s.words[i].substr(0, comma), -100000, 100000));
    p.y = static_cast<LONG>(number(s, s.words[i].substr(comma + 1), -100000, 100000));
    if (p.x < 0 || p.y < 0 || p.x >= width || p.y >= height)
        fail(s.line, s.words[i] + " is outside the screen (" + std::to_string(width) + " x " +
                         std::to_string(height) + ")");
    return p;
}

POINT screenPoint(const ScriptStep& s, size_t i) {
    return pointArg(s, i, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

const std::map<std::string, UINT>& keyNames() {
    static const std::map<std::string, UINT> keys = {
        {"RETURN", VK_RETURN},  {"ENTER", VK_RETURN},  {"ESCAPE", VK_ESCAPE},
        {"ESC", VK_ESCAPE},     {"TAB", VK_TAB},       {"BACK", VK_BACK},
        {"BACKSPACE", VK_BACK}, {"SPACE", VK_SPACE},   {"UP", VK_UP},
        {"DOWN", VK_DOWN},      {"LEFT", VK_LEFT},     {"RIGHT", VK_RIGHT},
        {"HOME", VK_HOME},      {"END", VK_END},       {"PRIOR", VK_PRIOR},
        {"PAGEUP", VK_PRIOR},   {"NEXT", VK_NEXT},     {"PAGEDOWN", VK_NEXT},
        {"DELETE", VK_DELETE},  {"INSERT", VK_INSERT}, {"ACTION", VK_TACTION},
    };
    return keys;
}

UINT keyCode(const ScriptStep& s, std::string name) {
    for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto it = keyNames().find(name);
    if (it != keyNames().end())
        return it->second;
    if (name.size() == 1 && (std::isalnum(static_cast<unsigned char>(name[0]))))
        return static_cast<UINT>(name[0]);
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'F' &&
        name.find_first_not_of("0123456789", 1) == std::string::npos) {
        int f = std::atoi(name.c_str() + 1);
        if (f >= 1 && f <= 12)
            return static_cast<UINT>(VK_F1 + f - 1);
    }
    fail(s.line, "unknown key " + name);
}

int buttonOf(const ScriptStep& s, std::string name) {
    for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const std::map<std::string, int> ids = {
        {"ok", IDOK},       {"cancel", IDCANCEL}, {"yes", IDYES},      {"no", IDNO},
        {"abort", IDABORT}, {"retry", IDRETRY},   {"ignore", IDIGNORE}};
    auto it = ids.find(name);
    if (it == ids.end())
        fail(s.line, "answer takes ok, yes, no, cancel, abort, retry or ignore");
    return it->second;
}

// An absolute device path ("\Temp\a.tmp"; "/" also separates, as on the device).
std::u16string devicePathArg(const ScriptStep& s, size_t i) {
    std::u16string p = wide(s.words[i]);
    if (p.empty() || (p[0] != u'\\' && p[0] != u'/'))
        fail(s.line, show(p) + " is not a device path (one begins with \\)");
    if (p.find_first_of(u"*?") != std::u16string::npos)
        fail(s.line, show(p) + " holds a wildcard; name one file or folder");
    if (p.size() > 1023)
        fail(s.line, "the path is " + std::to_string(p.size()) +
                         " characters long; a device path has at most 1023");
    return p;
}

struct RegPath {
    HKEY root = nullptr;
    std::u16string subkey;
};

RegPath regKeyArg(const ScriptStep& s, size_t i) {
    RegPath r;
    if (!kernel::splitRegPath(wide(s.words[i]), r.root, r.subkey))
        fail(s.line, "\"" + s.words[i] +
                         "\" does not begin with a registry root (HKLM, HKCU, HKCR or HKU)");
    return r;
}

void checkArg(const ScriptStep& s, size_t i, Arg form, int width, int height) {
    switch (form) {
        case Arg::Text:
        case Arg::HostFile:
            break;
        case Arg::Id:
            idArg(s, i);
            break;
        case Arg::Point:
            pointArg(s, i, width, height);
            break;
        case Arg::Target:
            if (s.quoted[i])
                break;
            if (s.words[i].rfind("id=", 0) == 0)
                idArg(s, i);
            else if (looksLikePoint(s, i))
                pointArg(s, i, width, height);
            else
                fail(s.line, s.words[0] + " takes \"Text\", id=N or X,Y");
            break;
        case Arg::Key:
            keyCode(s, s.words[i]);
            break;
        case Arg::Button:
            buttonOf(s, s.words[i]);
            break;
        case Arg::Number:
            number(s, s.words[i], -0x7FFFFFFFLL - 1, 0x7FFFFFFF);
            break;
        case Arg::Size:
            number(s, s.words[i], 0, 0x7FFFFFFFFFFFFFFFLL);
            break;
        case Arg::DevicePath:
            devicePathArg(s, i);
            break;
        case Arg::RegKey:
            regKeyArg(s, i);
            break;
    }
    if (s.words[i].find('\0') != std::string::npos)
        fail(s.line, "an argument holds a NUL character");
}

// ---- reading the screen ----------------------------------------------------------------------

std::u16string windowText(HWND h) {
    return gwes::windowTextOf(h);
}

std::u16string classOf(HWND h) {
    return gwes::classNameOf(h);
}

// What a list, combo box, tab bar or tree has selected; several entries for a multiple-choice list.
std::vector<std::u16string> selection(HWND h) {
    std::vector<std::u16string> out;
    std::u16string cls = classOf(h);
    if (cls == u"listbox") {
        LONG style = GetWindowLongW(h, GWL_STYLE);
        if (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) {
            LRESULT count = SendMessageW(h, LB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i)
                if (SendMessageW(h, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0)
                    out.push_back(gwes::listEntryText(h, i));
        } else if (LRESULT i = SendMessageW(h, LB_GETCURSEL, 0, 0); i >= 0) {
            out.push_back(gwes::listEntryText(h, i));
        }
    } else if (cls == u"combobox") {
        if (LRESULT i = SendMessageW(h, CB_GETCURSEL, 0, 0); i >= 0)
            out.push_back(gwes::listEntryText(h, i, true));
    } else if (cls == u"systabcontrol32") {
        if (LRESULT i = SendMessageW(h, TCM_GETCURSEL, 0, 0); i >= 0)
            out.push_back(gwes::tabEntryText(h, i));
    } else if (cls == u"systreeview32") {
        if (auto item = SendMessageW(h, TVM_GETNEXTITEM, TVGN_CARET, 0))
            out.push_back(gwes::treeEntryText(h, reinterpret_cast<HTREEITEM>(item)));
    }
    return out;
}

HWND control(Driver& d, const ScriptStep& s, int id, bool includeHidden,
             std::function<bool(HWND)> where = {}) {
    Query q;
    q.id = id;
    q.includeHidden = includeHidden;
    q.where = std::move(where);
    HWND h = d.find(q);
    if (h)
        return h;
    q.includeHidden = true;
    if (!includeHidden && d.find(q))
        fail(s.line, "the control with ID " + std::to_string(id) + " is not on screen (hidden)");
    fail(s.line, "no control with ID " + std::to_string(id));
}

// The control a state-setting step acts on: the visible one with that ID (of those without an ID,
// all id=0, the one that fits the step).
HWND target(Driver& d, const ScriptStep& s, std::function<bool(HWND)> fits = {}) {
    int id = idArg(s, 1);
    if (id == 0 && fits) {
        Query q;
        q.id = 0;
        q.where = fits;
        if (HWND h = d.find(q))
            return h;
    }
    return control(d, s, id, false);
}

// ---- reading the device ----------------------------------------------------------------------

// The folder part of a device path ("\Temp\a.tmp" -> "\Temp"; "\a" -> "\").
std::u16string folderOf(const std::u16string& path) {
    size_t end = path.find_last_not_of(u"\\/");
    if (end == std::u16string::npos)
        return u"\\";
    size_t sep = path.find_last_of(u"\\/", end);
    return sep == 0 || sep == std::u16string::npos ? u"\\" : path.substr(0, sep);
}

// "\Temp holds: b.tmp, Sub\" for the nearest folder of the path that exists.
std::string whatIsThere(const std::u16string& path) {
    std::u16string folder = folderOf(path);
    std::string missing;
    for (int up = 0; up < 64; ++up) {
        DWORD a = GetFileAttributesW(folder.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY))
            break;
        if (missing.empty())
            missing = "; " + gwes::utf8(folder) +
                      (a == INVALID_FILE_ATTRIBUTES ? " does not exist either" : " is no folder");
        if (folder == u"\\")
            return missing;
        folder = folderOf(folder);
    }
    std::u16string pattern = folder == u"\\" ? u"\\*" : folder + u"\\*";
    WIN32_FIND_DATAW fd;
    std::vector<std::string> names;
    HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            names.push_back(gwes::utf8(fd.cFileName) +
                            ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "\\" : ""));
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    std::sort(names.begin(), names.end());
    std::string s = missing + "; " + gwes::utf8(folder) + " holds:";
    if (names.empty())
        s += " nothing";
    for (size_t i = 0; i < names.size() && i < 12; ++i) s += (i ? ", " : " ") + names[i];
    if (names.size() > 12)
        s += " and " + std::to_string(names.size() - 12) + " more";
    return s;
}

std::optional<WIN32_FIND_DATAW> findOne(const std::u16string& path) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(path.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    FindClose(h);
    return fd;
}

uint64_t sizeOf(const WIN32_FIND_DATAW& fd) {
    return (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
}

bool isFolder(const WIN32_FIND_DATAW& fd) {
    return (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string regKeyName(const RegPath& r) {
    return std::string(kernel::regRootName(r.root)) +
           (r.subkey.empty() ? "" : "\\" + gwes::utf8(r.subkey));
}

// An open registry key, closed when it goes.
struct OpenKey {
    HKEY key = nullptr;
    explicit OpenKey(const RegPath& r) {
        if (RegOpenKeyExW(r.root, r.subkey.c_str(), 0, 0, &key) != ERROR_SUCCESS)
            key = nullptr;
    }
    ~OpenKey() {
        if (key)
            RegCloseKey(key);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
};

struct RegData {
    DWORD type = REG_NONE;
    std::vector<uint8_t> bytes;
    std::string text() const { return kernel::regValueText(type, bytes.data(), bytes.size()); }
    std::string described() const { return text() + " (" + kernel::regTypeName(type) + ")"; }
};

std::optional<RegData> queryValue(HKEY key, const std::u16string& name) {
    RegData d;
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &d.type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    d.bytes.resize(size);
    if (RegQueryValueExW(key, name.c_str(), nullptr, &d.type, d.bytes.data(), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    d.bytes.resize(size);
    return d;
}

// The names of a key's values or subkeys, for messages.
std::string namesOf(HKEY key, bool values) {
    std::string s;
    int shown = 0;
    for (DWORD i = 0; i < 1000; ++i) {
        WCHAR name[256] = {};
        DWORD n = 256;
        LONG rc = values ? RegEnumValueW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr)
                         : RegEnumKeyExW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS)
            break;
        if (++shown > 12) {
            s += " ...";
            break;
        }
        s += " " + show(name);
    }
    return s.empty() ? " none" : s;
}

// "there is no key HKLM\A\B (HKLM\A has the subkeys: ...)"
std::string whereKeyIsNot(const RegPath& r) {
    std::string s = "there is no key " + regKeyName(r);
    RegPath up = r;
    while (!up.subkey.empty()) {
        size_t sep = up.subkey.find_last_of(u'\\');
        up.subkey = sep == std::u16string::npos ? u"" : up.subkey.substr(0, sep);
        OpenKey k(up);
        if (k.key)
            return s + " (" + regKeyName(up) + " has the subkeys:" + namesOf(k.key, false) + ")";
    }
    return s;
}

std::string lastLines(const std::vector<std::string>& lines) {
    std::string s;
    size_t from = lines.size() > 5 ? lines.size() - 5 : 0;
    for (size_t i = from; i < lines.size(); ++i) s += "\n  " + lines[i];
    return s;
}

// The device log's lines written since the script started.
std::vector<std::string> logSince(std::uintmax_t offset) {
    std::vector<std::string> lines;
    Device* device = Device::current();
    if (!device)
        return lines;
    std::ifstream in(device->logFile(), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// ---- the steps -------------------------------------------------------------------------------

using Run = void (*)(Context&, const ScriptStep&);

void runTap(Context& c, const ScriptStep& s) {
    if (s.quoted[1])
        c.driver.tapText(wide(s.words[1]));
    else if (s.words[1].rfind("id=", 0) == 0)
        c.driver.tapId(idArg(s, 1));
    else {
        POINT p = screenPoint(s, 1);
        c.driver.tap(static_cast<int>(p.x), static_cast<int>(p.y));
    }
}

void runDrag(Context& c, const ScriptStep& s) {
    c.driver.drag(screenPoint(s, 1), screenPoint(s, 2));
}

void runMenu(Context& c, const ScriptStep& s) {
    c.driver.menu(wide(s.words[1]), wide(s.words[2]));
}

void runType(Context& c, const ScriptStep& s) {
    c.driver.type(wide(s.words[1]));
}

void runKey(Context& c, const ScriptStep& s) {
    c.driver.key(keyCode(s, s.words[1]));
}

void runOk(Context& c, const ScriptStep&) {
    c.driver.ok();
}

void runAnswer(Context& c, const ScriptStep& s) {
    c.driver.answer(buttonOf(s, s.words[1]));
}

void runScreenshot(Context& c, const ScriptStep& s) {
    c.driver.screenshot(s.words[1]);
}

bool isCheckable(HWND h) {
    return classOf(h) == u"button" && SendMessageW(h, BM_GETCHECK, 0, 0) >= 0 &&
           (GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK) != BS_PUSHBUTTON;
}

void runCheck(Context& c, const ScriptStep& s) {
    c.driver.setCheck(target(c.driver, s, isCheckable), s.words[0] == "check");
}

void runSelect(Context& c, const ScriptStep& s) {
    std::u16string entry = wide(s.words[2]);
    // of several controls without an ID, the one that lists the entry
    auto lists = [entry](HWND h) {
        auto cls = classOf(h);
        return cls == u"listbox" || cls == u"combobox" || cls == u"systabcontrol32" ||
               cls == u"systreeview32";
    };
    c.driver.select(target(c.driver, s, lists), entry, s.words[0] == "select");
}

void runSet(Context& c, const ScriptStep& s) {
    c.driver.setText(target(c.driver, s, [](HWND h) { return classOf(h) == u"edit"; }),
                     wide(s.words[2]));
}

void runSlide(Context& c, const ScriptStep& s) {
    c.driver.slide(target(c.driver, s, [](HWND h) { return classOf(h) == u"msctls_trackbar32"; }),
                   static_cast<int>(number(s, s.words[2], -0x7FFFFFFFLL - 1, 0x7FFFFFFF)));
}

void expectBox(Context& c, const ScriptStep& s) {
    auto box = c.driver.messageBox();
    std::u16string caption = wide(s.words[2]);
    std::u16string part = s.words.size() > 3 ? wide(s.words[3]) : u"";
    if (!box)
        fail(s.line, "expected the message box " + show(caption) + ", but no message box is up");
    if (box->caption != caption || box->text.find(part) == std::u16string::npos)
        fail(s.line, "expected the message box " + show(caption) +
                         (part.empty() ? "" : " with " + show(part)) + ", but the box up is " +
                         show(box->caption) + ": " + show(box->text));
}

void expectNoBox(Context& c, const ScriptStep& s) {
    if (auto box = c.driver.messageBox())
        fail(s.line, "a message box is up: " + show(box->caption) + ": " + show(box->text));
}

void expectChecked(Context& c, const ScriptStep& s) {
    HWND h = control(c.driver, s, idArg(s, 2), true);
    LRESULT state = SendMessageW(h, BM_GETCHECK, 0, 0);
    bool want = s.words[1] == "checked";
    if ((state == BST_CHECKED) != want)
        fail(s.line,
             "control " + s.words[2] + " is " + (state == BST_CHECKED ? "checked" : "not checked"));
}

void expectText(Context& c, const ScriptStep& s) {
    HWND h = control(c.driver, s, idArg(s, 2), true);
    std::u16string have = windowText(h);
    if (have != wide(s.words[3]))
        fail(s.line, "control " + s.words[2] + " reads " + show(have));
}

void expectVisible(Context& c, const ScriptStep& s) {
    HWND h = control(c.driver, s, idArg(s, 2), true);
    bool visible = IsWindowVisible(h);
    if (visible != (s.words[1] == "visible"))
        fail(s.line, "control " + s.words[2] + " is " + (visible ? "visible" : "hidden"));
}

void expectSelected(Context& c, const ScriptStep& s) {
    HWND h = control(c.driver, s, idArg(s, 2), true);
    auto sel = selection(h);
    std::u16string want = wide(s.words[3]);
    if (std::find(sel.begin(), sel.end(), want) == sel.end()) {
        std::string have;
        for (auto& t : sel) have += " " + show(t);
        fail(s.line, show(want) + " is not selected in control " + s.words[2] +
                         " (selected:" + (have.empty() ? std::string(" nothing") : have) + ")");
    }
}

void expectTitle(Context& c, const ScriptStep& s) {
    if (c.driver.navTitle() != wide(s.words[2]))
        fail(s.line, "the navigation bar reads " + show(c.driver.navTitle()));
}

void expectEnded(Context& c, const ScriptStep& s) {
    if (c.driver.running())
        fail(s.line, "the program is still running");
    if (s.words.size() == 3 && c.driver.exitCode() != number(s, s.words[2], INT32_MIN, INT32_MAX))
        fail(s.line, "the program ended with exit code " + std::to_string(c.driver.exitCode()));
}

void expectFile(Context&, const ScriptStep& s) {
    std::u16string path = devicePathArg(s, 2);
    auto found = findOne(path);
    if (s.words[1] == "nofile") {
        if (found)
            fail(s.line, gwes::utf8(path) + " exists (" +
                             (isFolder(*found) ? std::string("a folder")
                                               : std::to_string(sizeOf(*found)) + " bytes") +
                             ")");
        return;
    }
    if (!found)
        fail(s.line, "there is no " + gwes::utf8(path) + whatIsThere(path));
    if (isFolder(*found))
        fail(s.line, gwes::utf8(path) + " is a folder, not a file");
    if (s.words[1] == "size") {
        auto want = static_cast<uint64_t>(number(s, s.words[3], 0, 0x7FFFFFFFFFFFFFFFLL));
        if (sizeOf(*found) != want)
            fail(s.line, gwes::utf8(path) + " is " + std::to_string(sizeOf(*found)) +
                             " bytes, not " + s.words[3]);
    }
}

void expectReg(Context&, const ScriptStep& s) {
    RegPath path = regKeyArg(s, 2);
    OpenKey key(path);
    if (!key.key)
        fail(s.line, whereKeyIsNot(path));
    std::u16string name = wide(s.words[3]);
    auto value = queryValue(key.key, name);
    if (!value)
        fail(s.line, regKeyName(path) + " has no value " + show(name) +
                         " (its values:" + namesOf(key.key, true) + ")");
    if (!kernel::regValueMatches(value->type, value->bytes.data(), value->bytes.size(), s.words[4]))
        fail(s.line, regKeyName(path) + " " + show(name) + " is " + value->described() +
                         ", not \"" + s.words[4] + "\"");
}

void expectNoReg(Context&, const ScriptStep& s) {
    RegPath path = regKeyArg(s, 2);
    OpenKey key(path);
    if (!key.key)
        return;
    if (s.words.size() < 4)
        fail(s.line, "the key " + regKeyName(path) + " exists (its values:" +
                         namesOf(key.key, true) + "; subkeys:" + namesOf(key.key, false) + ")");
    std::u16string name = wide(s.words[3]);
    if (auto value = queryValue(key.key, name))
        fail(s.line, regKeyName(path) + " " + show(name) + " exists: " + value->described());
}

void expectLog(Context& c, const ScriptStep& s) {
    auto lines = logSince(c.logStart);
    for (const auto& line : lines)
        if (line.find(s.words[2]) != std::string::npos)
            return;
    fail(s.line, "no line of the device log since the script started holds \"" + s.words[2] + "\"" +
                     (lines.empty() ? std::string(" (no line was written since)")
                                    : " (the last lines:" + lastLines(lines) + ")"));
}

// ---- the command table -----------------------------------------------------------------------

struct Command {
    const char* name;
    const char* expectation;  // the word after "expect", for expectations
    std::vector<Arg> args;
    size_t optional;  // how many of the last arguments may be left out
    Run run;
    bool afterEnd = false;  // may run once the program has ended (it needs no program)
};

const std::vector<Command>& commands() {
    using A = Arg;
    static const std::vector<Command> table = {
        {"tap", nullptr, {A::Target}, 0, runTap},
        {"drag", nullptr, {A::Point, A::Point}, 0, runDrag},
        {"menu", nullptr, {A::Text, A::Text}, 0, runMenu},
        {"type", nullptr, {A::Text}, 0, runType},
        {"key", nullptr, {A::Key}, 0, runKey},
        {"ok", nullptr, {}, 0, runOk},
        {"answer", nullptr, {A::Button}, 0, runAnswer},
        {"screenshot", nullptr, {A::HostFile}, 0, runScreenshot, true},
        {"check", nullptr, {A::Id}, 0, runCheck},
        {"uncheck", nullptr, {A::Id}, 0, runCheck},
        {"select", nullptr, {A::Id, A::Text}, 0, runSelect},
        {"deselect", nullptr, {A::Id, A::Text}, 0, runSelect},
        {"set", nullptr, {A::Id, A::Text}, 0, runSet},
        {"slide", nullptr, {A::Id, A::Number}, 0, runSlide},
        {"expect", "box", {A::Text, A::Text}, 1, expectBox},
        {"expect", "nobox", {}, 0, expectNoBox},
        {"expect", "checked", {A::Id}, 0, expectChecked},
        {"expect", "unchecked", {A::Id}, 0, expectChecked},
        {"expect", "text", {A::Id, A::Text}, 0, expectText},
        {"expect", "visible", {A::Id}, 0, expectVisible},
        {"expect", "hidden", {A::Id}, 0, expectVisible},
        {"expect", "selected", {A::Id, A::Text}, 0, expectSelected},
        {"expect", "title", {A::Text}, 0, expectTitle},
        {"expect", "ended", {A::Number}, 1, expectEnded, true},
        {"expect", "file", {A::DevicePath}, 0, expectFile, true},
        {"expect", "nofile", {A::DevicePath}, 0, expectFile, true},
        {"expect", "size", {A::DevicePath, A::Size}, 0, expectFile, true},
        {"expect", "reg", {A::RegKey, A::Text, A::Text}, 0, expectReg, true},
        {"expect", "noreg", {A::RegKey, A::Text}, 1, expectNoReg, true},
        {"expect", "log", {A::Text}, 0, expectLog, true},
    };
    return table;
}

// The table's row for a step; throws for an unknown command or expectation.
const Command& commandOf(const ScriptStep& s) {
    const std::string& name = s.words[0];
    bool expectation = name == "expect";
    if (expectation && s.words.size() < 2)
        fail(s.line, "expect what?");
    for (const Command& c : commands()) {
        if (name == c.name && (!expectation || s.words[1] == c.expectation))
            return c;
    }
    if (expectation)
        fail(s.line, "unknown expectation \"" + s.words[1] + "\"");
    fail(s.line, "unknown command \"" + name + "\"");
}

// Checks a step against its row: the number of arguments and the form of each.
const Command& check(const ScriptStep& s, int width, int height) {
    const Command& c = commandOf(s);
    size_t first = c.expectation ? 2 : 1;
    size_t given = s.words.size() - first;
    size_t max = c.args.size(), min = max - c.optional;
    if (given < min || given > max) {
        std::string name = c.expectation ? std::string("expect ") + c.expectation : c.name;
        fail(s.line, "\"" + name + "\" takes " + std::to_string(min) +
                         (min == max ? "" : " to " + std::to_string(max)) + " argument(s)");
    }
    for (size_t i = 0; i < given; ++i) checkArg(s, first + i, c.args[i], width, height);
    return c;
}

// ---- reading the text ------------------------------------------------------------------------

// Whether the bytes are UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool validUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        size_t n = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : 9;
        if (n == 9 || (n && i + n >= s.size()))
            return false;
        uint32_t cp = n == 0 ? b : b & (0x3F >> n);
        for (size_t k = 1; k <= n; ++k) {
            auto c = static_cast<unsigned char>(s[i + k]);
            if ((c >> 6) != 2)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
            return false;
        i += n + 1;
    }
    return true;
}

// Splits one line into its words; false (problem set) for a line that cannot be read.
bool splitLine(const std::string& line, ScriptStep& step, std::string& problem) {
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {  // a stray carriage return separates too
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            std::string word;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        word += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                word += line[i++];
            }
            if (!closed) {
                problem = "a quoted argument is not closed";
                return false;
            }
            step.words.push_back(word);
            step.quoted.push_back(true);
        } else {
            size_t e = line.find_first_of(" \t\r", i);
            if (e == std::string::npos)
                e = line.size();
            step.words.push_back(line.substr(i, e - i));
            step.quoted.push_back(false);
            i = e;
        }
    }
    if (!step.words.empty() && step.quoted[0]) {
        problem = "a line starts with its command, not a quoted text";
        return false;
    }
    return true;
}

}  // namespace

Script readScript(const std::string& text, int screenWidth, int screenHeight) {
    Script script;
    // a script saved by an editor that marks UTF-8 with a byte-order mark
    std::istringstream in(text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ScriptStep step;
        step.line = number;
        std::string problem;
        if (!validUtf8(line))
            problem = "the line is not UTF-8 text";
        else if (splitLine(line, step, problem) && !step.words.empty()) {
            try {
                check(step, screenWidth, screenHeight);
            } catch (const DriverError& e) {
                problem = e.what();
                problem.erase(0, problem.find(": ") + 2);  // "line N: " is added below
            }
        }
        if (!problem.empty())
            script.problems.push_back({number, problem});
        else if (!step.words.empty())
            script.steps.push_back(std::move(step));
    }
    return script;
}

std::vector<ScriptStep> parseScript(const std::string& text) {
    int width = 240, height = 320;
    if (Device* d = Device::current()) {
        width = d->screenWidth();
        height = d->screenHeight();
    }
    Script script = readScript(text, width, height);
    if (!script.problems.empty())
        fail(script.problems[0].line, script.problems[0].what);
    return std::move(script.steps);
}

std::string scriptDisplayName(const std::string& name) {
    return name == "-" ? "standard input" : name;
}

bool readScriptSource(const std::string& name, std::string& text, std::string& error) {
    // larger than any script a person writes; a device node or a runaway pipe stops here
    constexpr size_t kLargest = 16u << 20;
    int fd = name == "-" ? dup(STDIN_FILENO) : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    auto refuse = [&](const std::string& why) {
        error = "cannot read the script " + scriptDisplayName(name) + ": " + why;
        if (fd >= 0)
            ::close(fd);
        return false;
    };
    if (fd < 0)
        return refuse(strerror(errno));
    text.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return refuse(strerror(errno));  // a folder gives EISDIR here
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
        if (text.size() > kLargest)
            return refuse("it is larger than 16 MiB");
    }
    ::close(fd);
    return true;
}

int runScript(Driver& driver, const std::vector<ScriptStep>& steps, const std::string& scriptName,
              std::ostream& err, std::uintmax_t logStart) {
    Context context{driver, logStart};
    for (const ScriptStep& s : steps) {
        try {
            if (!driver.running() && !driver.failure().empty())
                fail(s.line, "the program failed before this step: " + driver.failure());
            const Command& c =
                check(s, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
            if (!driver.running() && !c.afterEnd)
                fail(s.line, "the program has ended (exit code " +
                                 std::to_string(driver.exitCode()) + ") before this step");
            c.run(context, s);
        } catch (const DriverError& e) {
            std::string what = e.what();
            if (what.rfind("line ", 0) != 0)
                what = "line " + std::to_string(s.line) + ": " + what;
            err << scriptName << ": " << what << "\n";
            if (driver.running() && what.find("on screen:") == std::string::npos)
                err << gwes::utf8(driver.describeScreen());
            return 2;
        }
    }
    if (driver.running()) {
        err << scriptName << ": the script has ended but the program still waits for input\n"
            << gwes::utf8(driver.describeScreen());
        return 2;
    }
    if (!driver.failure().empty()) {
        err << scriptName << ": the program failed: " << driver.failure() << "\n";
        return 2;
    }
    return 0;
}

}  // namespace ce::test
