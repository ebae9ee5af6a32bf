// The script language: one step per line, arguments in double quotes where they hold blanks
// ("" inside quotes is one quote; a backslash is just a backslash, as in device paths).
#include "gwes/script.h"

#include "gwes/gwes.h"

#include <commctrl.h>

#include <cstdlib>
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

int number(const ScriptStep& s, const std::string& text) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || !end || *end)
        fail(s.line, "\"" + text + "\" is not a number");
    return static_cast<int>(v);
}

// "id=50003" -> 50003
int idArg(const ScriptStep& s, size_t i) {
    if (i >= s.words.size() || s.words[i].rfind("id=", 0) != 0 || s.quoted[i])
        fail(s.line, "expected id=N after \"" + s.words[0] + "\"");
    return number(s, s.words[i].substr(3));
}

// "120,200" -> a point of the screen; a point off the screen is refused, as no stylus reaches it.
bool pointArg(const ScriptStep& s, size_t i, POINT* p) {
    if (i >= s.words.size() || s.quoted[i])
        return false;
    auto comma = s.words[i].find(',');
    if (comma == std::string::npos)
        return false;
    p->x = number(s, s.words[i].substr(0, comma));
    p->y = number(s, s.words[i].substr(comma + 1));
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    if (p->x < 0 || p->y < 0 || p->x >= width || p->y >= height)
        fail(s.line, s.words[i] + " is outside the screen (" + std::to_string(width) + " x " +
                         std::to_string(height) + ")");
    return true;
}

void arity(const ScriptStep& s, size_t min, size_t max) {
    size_t n = s.words.size() - 1;
    if (n < min || n > max)
        fail(s.line, "\"" + s.words[0] + "\" takes " + std::to_string(min) +
                         (min == max ? "" : " to " + std::to_string(max)) + " argument(s)");
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
    if (name.size() >= 2 && name[0] == 'F') {
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

std::string show(const std::u16string& s) {
    return "\"" + gwes::utf8(s) + "\"";
}

std::u16string classOf(HWND h) {
    WCHAR name[64] = {};
    GetClassNameW(h, name, 64);
    return gwes::lower(name);
}

std::u16string windowText(HWND h) {
    int n = GetWindowTextLengthW(h);
    std::u16string t(static_cast<size_t>(n) + 1, 0);
    t.resize(static_cast<size_t>(GetWindowTextW(h, t.data(), n + 1)));
    return t;
}

// What a list, combo box, tab bar or tree has selected; several entries for a multiple-choice list.
std::vector<std::u16string> selection(HWND h) {
    std::vector<std::u16string> out;
    std::u16string cls = classOf(h);
    auto listText = [&](UINT lenMsg, UINT textMsg, LRESULT i) {
        LRESULT n = SendMessageW(h, lenMsg, static_cast<WPARAM>(i), 0);
        if (n < 0)
            return;
        std::u16string t(static_cast<size_t>(n) + 1, 0);
        SendMessageW(h, textMsg, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(t.data()));
        t.resize(std::char_traits<char16_t>::length(t.c_str()));
        out.push_back(t);
    };
    if (cls == u"listbox") {
        LONG style = GetWindowLongW(h, GWL_STYLE);
        if (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) {
            LRESULT count = SendMessageW(h, LB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i)
                if (SendMessageW(h, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0)
                    listText(LB_GETTEXTLEN, LB_GETTEXT, i);
        } else if (LRESULT i = SendMessageW(h, LB_GETCURSEL, 0, 0); i >= 0) {
            listText(LB_GETTEXTLEN, LB_GETTEXT, i);
        }
    } else if (cls == u"combobox") {
        if (LRESULT i = SendMessageW(h, CB_GETCURSEL, 0, 0); i >= 0)
            listText(CB_GETLBTEXTLEN, CB_GETLBTEXT, i);
    } else if (cls == u"systabcontrol32") {
        if (LRESULT i = SendMessageW(h, TCM_GETCURSEL, 0, 0); i >= 0) {
            WCHAR buf[256] = {};
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = buf;
            item.cchTextMax = 256;
            SendMessageW(h, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
            out.push_back(buf);
        }
    } else if (cls == u"systreeview32") {
        if (auto item = SendMessageW(h, TVM_GETNEXTITEM, TVGN_CARET, 0)) {
            WCHAR buf[1024] = {};
            TVITEMW tv{};
            tv.mask = TVIF_TEXT;
            tv.hItem = reinterpret_cast<HTREEITEM>(item);
            tv.pszText = buf;
            tv.cchTextMax = 1024;
            SendMessageW(h, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
            out.push_back(buf);
        }
    }
    return out;
}

HWND control(Driver& d, const ScriptStep& s, int id, bool includeHidden) {
    Query q;
    q.id = id;
    q.includeHidden = includeHidden;
    HWND h = d.find(q);
    if (!h)
        fail(s.line, "no control with ID " + std::to_string(id));
    return h;
}

void expect(Driver& d, const ScriptStep& s) {
    if (s.words.size() < 2)
        fail(s.line, "expect what?");
    const std::string& what = s.words[1];
    if (what == "box") {
        arity(s, 2, 3);
        auto box = d.messageBox();
        std::u16string caption = wide(s.words[2]);
        std::u16string part = s.words.size() > 3 ? wide(s.words[3]) : u"";
        if (!box)
            fail(s.line,
                 "expected the message box " + show(caption) + ", but no message box is up");
        if (box->caption != caption || box->text.find(part) == std::u16string::npos)
            fail(s.line, "expected the message box " + show(caption) +
                             (part.empty() ? "" : " with " + show(part)) + ", but the box up is " +
                             show(box->caption) + ": " + show(box->text));
    } else if (what == "nobox") {
        arity(s, 1, 1);
        if (auto box = d.messageBox())
            fail(s.line, "a message box is up: " + show(box->caption) + ": " + show(box->text));
    } else if (what == "checked" || what == "unchecked") {
        arity(s, 2, 2);
        HWND h = control(d, s, idArg(s, 2), true);
        LRESULT state = SendMessageW(h, BM_GETCHECK, 0, 0);
        bool want = what == "checked";
        if ((state == BST_CHECKED) != want)
            fail(s.line, "control " + s.words[2] + " is " +
                             (state == BST_CHECKED ? "checked" : "not checked"));
    } else if (what == "text") {
        arity(s, 3, 3);
        HWND h = control(d, s, idArg(s, 2), true);
        std::u16string have = windowText(h);
        if (have != wide(s.words[3]))
            fail(s.line, "control " + s.words[2] + " reads " + show(have));
    } else if (what == "visible" || what == "hidden") {
        arity(s, 2, 2);
        HWND h = control(d, s, idArg(s, 2), true);
        bool visible = IsWindowVisible(h);
        if (visible != (what == "visible"))
            fail(s.line, "control " + s.words[2] + " is " + (visible ? "visible" : "hidden"));
    } else if (what == "selected") {
        arity(s, 3, 3);
        HWND h = control(d, s, idArg(s, 2), true);
        auto sel = selection(h);
        std::u16string want = wide(s.words[3]);
        if (std::find(sel.begin(), sel.end(), want) == sel.end()) {
            std::string have;
            for (auto& t : sel) have += " " + show(t);
            fail(s.line, show(want) + " is not selected in control " + s.words[2] +
                             " (selected:" + (have.empty() ? std::string(" nothing") : have) + ")");
        }
    } else if (what == "title") {
        arity(s, 2, 2);
        if (d.navTitle() != wide(s.words[2]))
            fail(s.line, "the navigation bar reads " + show(d.navTitle()));
    } else if (what == "ended") {
        arity(s, 1, 2);
        if (d.running())
            fail(s.line, "the program is still running");
        if (s.words.size() == 3 && d.exitCode() != number(s, s.words[2]))
            fail(s.line, "the program ended with exit code " + std::to_string(d.exitCode()));
    } else {
        fail(s.line, "unknown expectation \"" + what + "\"");
    }
}

void runStep(Driver& d, const ScriptStep& s) {
    const std::string& cmd = s.words[0];
    POINT p{}, q{};
    if (cmd == "tap") {
        arity(s, 1, 1);
        if (s.quoted[1])
            d.tapText(wide(s.words[1]));
        else if (s.words[1].rfind("id=", 0) == 0)
            d.tapId(idArg(s, 1));
        else if (pointArg(s, 1, &p))
            d.tap(static_cast<int>(p.x), static_cast<int>(p.y));
        else
            fail(s.line, "tap takes \"Text\", id=N or X,Y");
    } else if (cmd == "drag") {
        arity(s, 2, 2);
        if (!pointArg(s, 1, &p) || !pointArg(s, 2, &q))
            fail(s.line, "drag takes X1,Y1 X2,Y2");
        d.drag(p, q);
    } else if (cmd == "menu") {
        arity(s, 2, 2);
        d.menu(wide(s.words[1]), wide(s.words[2]));
    } else if (cmd == "type") {
        arity(s, 1, 1);
        d.type(wide(s.words[1]));
    } else if (cmd == "key") {
        arity(s, 1, 1);
        d.key(keyCode(s, s.words[1]));
    } else if (cmd == "ok") {
        arity(s, 0, 0);
        d.ok();
    } else if (cmd == "answer") {
        arity(s, 1, 1);
        d.answer(buttonOf(s, s.words[1]));
    } else if (cmd == "expect") {
        expect(d, s);
    } else if (cmd == "screenshot") {
        arity(s, 1, 1);
        d.screenshot(s.words[1]);
    } else {
        fail(s.line, "unknown command \"" + cmd + "\"");
    }
}

}  // namespace

std::vector<ScriptStep> parseScript(const std::string& text) {
    std::vector<ScriptStep> steps;
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
        size_t i = 0;
        while (i < line.size()) {
            char c = line[i];
            if (c == ' ' || c == '\t') {
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
                if (!closed)
                    fail(number, "a quoted argument is not closed");
                step.words.push_back(word);
                step.quoted.push_back(true);
            } else {
                size_t e = line.find_first_of(" \t", i);
                if (e == std::string::npos)
                    e = line.size();
                step.words.push_back(line.substr(i, e - i));
                step.quoted.push_back(false);
                i = e;
            }
        }
        if (!step.words.empty()) {
            if (step.quoted[0])
                fail(number, "a line starts with its command, not a quoted text");
            steps.push_back(std::move(step));
        }
    }
    return steps;
}

int runScript(Driver& driver, const std::vector<ScriptStep>& steps, const std::string& scriptName,
              std::ostream& err) {
    for (const ScriptStep& s : steps) {
        try {
            // Only expectations about the end may run after the program has ended.
            bool endStep = s.words[0] == "expect" && s.words.size() > 1 && s.words[1] == "ended";
            if (!driver.running() && !driver.failure().empty())
                fail(s.line, "the program failed before this step: " + driver.failure());
            if (!driver.running() && !endStep && s.words[0] != "screenshot")
                fail(s.line, "the program has ended (exit code " +
                                 std::to_string(driver.exitCode()) + ") before this step");
            runStep(driver, s);
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
