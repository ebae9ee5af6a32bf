// The .rc reader: the statements a resource compiler would turn into MENU, ICON, STRINGTABLE
// and VERSIONINFO resources, with #define/#include/#if of the preprocessor as far as resource
// scripts use them. Other resource types are passed over.
#include "resources/resources.h"

#include <cstring>
#include <strings.h>
#include <stdexcept>

namespace ce::resources {
namespace {

std::u16string widen(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char b = s[i];
        uint32_t c = b;
        int n = 1;
        if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            n = 2;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            n = 3;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            n = 4;
        } else if (b >= 0x80)
            c = b;  // a Windows-1252 byte, taken as Latin-1
        if (n > 1 && i + n <= s.size()) {
            for (int k = 1; k < n; ++k)
                c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        } else {
            n = 1;
        }
        i += n;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

struct Token {
    enum Kind { End, Word, Number, String, Punct } kind = End;
    std::string text;
    long value = 0;
    int line = 0;
};

class Parser {
  public:
    Parser(std::string name,
           const std::function<std::optional<std::string>(const std::string&)>& file)
        : name_(std::move(name)), file_(file) {}

    ResourceSet run(const std::string& text) {
        tokenize(text, name_);
        pos_ = 0;
        while (peek().kind != Token::End) statement();
        return std::move(set_);
    }

  private:
    std::string name_;
    const std::function<std::optional<std::string>(const std::string&)>& file_;
    std::vector<Token> tokens_;
    size_t pos_ = 0;
    std::map<std::string, std::string> defines_;
    ResourceSet set_;
    int includeDepth_ = 0;
    int includes_ = 0;
    int expressionDepth_ = 0;

    [[noreturn]] void fail(const Token& t, const std::string& what) const {
        throw std::runtime_error(name_ + ":" + std::to_string(t.line) + ": " + what);
    }

    // ---- preprocessing and tokens ---------------------------------------------------------

    static std::string trim(std::string s) {
        size_t a = s.find_first_not_of(" \t\r");
        size_t b = s.find_last_not_of(" \t\r");
        return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
    }

    bool condition(const std::string& expr) {
        std::string e = trim(expr);
        bool negate = false;
        if (!e.empty() && e[0] == '!') {
            negate = true;
            e = trim(e.substr(1));
        }
        bool value;
        if (e.rfind("defined", 0) == 0) {
            std::string n = e.substr(7);
            std::string id;
            for (char c : n)
                if (std::isalnum(static_cast<unsigned char>(c)) || c == '_')
                    id += c;
            value = defines_.count(id) > 0;
        } else if (!e.empty() && std::isdigit(static_cast<unsigned char>(e[0]))) {
            value = std::strtol(e.c_str(), nullptr, 0) != 0;
        } else {
            auto it = defines_.find(e);
            value = it != defines_.end() && std::strtol(it->second.c_str(), nullptr, 0) != 0;
        }
        return negate ? !value : value;
    }

    void tokenize(const std::string& text, const std::string& fileName) {
        std::vector<bool> active{true};
        int line = 0;
        size_t i = 0;
        bool inComment = false;
        while (i <= text.size()) {
            size_t eol = text.find('\n', i);
            if (eol == std::string::npos)
                eol = text.size();
            std::string l = text.substr(i, eol - i);
            ++line;
            i = eol + 1;
            std::string t = trim(l);
            if (!inComment && !t.empty() && t[0] == '#') {
                std::string d = trim(t.substr(1));
                auto word = d.substr(0, d.find_first_of(" \t"));
                std::string rest = trim(d.size() > word.size() ? d.substr(word.size()) : "");
                if (word == "ifdef")
                    active.push_back(active.back() && defines_.count(rest));
                else if (word == "ifndef")
                    active.push_back(active.back() && !defines_.count(rest));
                else if (word == "if")
                    active.push_back(active.back() && condition(rest));
                else if (word == "elif") {
                    if (active.size() > 1)
                        active.back() = active[active.size() - 2] && condition(rest);
                } else if (word == "else") {
                    if (active.size() > 1)
                        active.back() = active[active.size() - 2] && !active.back();
                } else if (word == "endif") {
                    if (active.size() > 1)
                        active.pop_back();
                } else if (active.back() && word == "define") {
                    auto sp = rest.find_first_of(" \t");
                    std::string id = rest.substr(0, sp);
                    std::string value = sp == std::string::npos ? "" : trim(rest.substr(sp));
                    if (auto c = value.find("//"); c != std::string::npos)
                        value = trim(value.substr(0, c));
                    defines_[id] = value;
                } else if (active.back() && word == "undef") {
                    defines_.erase(rest);
                } else if (active.back() && word == "include") {
                    include(rest, fileName, line);
                }
                continue;
            }
            if (!active.back())
                continue;
            lexLine(l, line, inComment, fileName);
        }
        if (includeDepth_ == 0)
            tokens_.push_back(Token{Token::End, "", 0, line});
    }

    // Reads a header the script includes; one that is not embedded is passed over (the
    // resource compiler's own headers, windows.h and the like).
    void include(std::string name, const std::string& from, int line) {
        if (name.size() >= 2 && (name[0] == '"' || name[0] == '<'))
            name = name.substr(1, name.size() - 2);
        auto content = file_(name);
        if (!content)
            return;
        auto refuse = [&](const std::string& what) {
            throw std::runtime_error(from + ":" + std::to_string(line) + ": " + what);
        };
        if (includeDepth_ >= kMaxIncludeDepth)
            refuse("#include nested deeper than " + std::to_string(kMaxIncludeDepth) + " files");
        if (++includes_ > kMaxIncludes)
            refuse("more than " + std::to_string(kMaxIncludes) + " #include files");
        ++includeDepth_;
        tokenize(*content, name);
        --includeDepth_;
    }

    void lexLine(const std::string& l, int line, bool& inComment, const std::string& fileName) {
        size_t k = 0;
        while (k < l.size()) {
            if (inComment) {
                size_t e = l.find("*/", k);
                if (e == std::string::npos)
                    return;
                inComment = false;
                k = e + 2;
                continue;
            }
            char c = l[k];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++k;
            } else if (c == '/' && k + 1 < l.size() && l[k + 1] == '/') {
                return;
            } else if (c == '/' && k + 1 < l.size() && l[k + 1] == '*') {
                inComment = true;
                k += 2;
            } else if (c == '"') {
                std::string s;
                ++k;
                bool closed = false;
                while (k < l.size()) {
                    char d = l[k];
                    if (d == '"') {
                        if (k + 1 < l.size() && l[k + 1] == '"') {
                            s += '"';
                            k += 2;
                            continue;
                        }
                        ++k;
                        closed = true;
                        break;
                    }
                    if (d == '\\' && k + 1 < l.size()) {
                        char e = l[k + 1];
                        k += 2;
                        switch (e) {
                            case 'n':
                                s += '\n';
                                break;
                            case 't':
                                s += '\t';
                                break;
                            case 'r':
                                s += '\r';
                                break;
                            case '0':
                                s += '\0';
                                break;
                            case 'a':
                                s += '\b';
                                break;
                            case '\\':
                                s += '\\';
                                break;
                            case '"':
                                s += '"';
                                break;
                            default:
                                s += '\\';
                                s += e;
                                break;
                        }
                        continue;
                    }
                    s += d;
                    ++k;
                }
                if (!closed)
                    throw std::runtime_error(fileName + ":" + std::to_string(line) +
                                             ": unterminated string");
                tokens_.push_back(Token{Token::String, s, 0, line});
            } else if (std::isdigit(static_cast<unsigned char>(c))) {
                size_t e = k;
                while (e < l.size() && (std::isalnum(static_cast<unsigned char>(l[e])))) ++e;
                std::string num = l.substr(k, e - k);
                std::string digits = num;
                while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l' ||
                                           digits.back() == 'U' || digits.back() == 'u'))
                    digits.pop_back();
                char* end = nullptr;
                long v = std::strtol(digits.c_str(), &end, 0);
                if (!end || *end)
                    throw std::runtime_error(fileName + ":" + std::to_string(line) +
                                             ": bad number " + num);
                tokens_.push_back(Token{Token::Number, num, v, line});
                k = e;
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                size_t e = k;
                while (e < l.size() && (std::isalnum(static_cast<unsigned char>(l[e])) ||
                                        l[e] == '_' || l[e] == '.'))
                    ++e;
                tokens_.push_back(Token{Token::Word, l.substr(k, e - k), 0, line});
                k = e;
            } else {
                tokens_.push_back(Token{Token::Punct, std::string(1, c), 0, line});
                ++k;
            }
        }
    }

    // ---- token access ---------------------------------------------------------------------

    const Token& peek(size_t ahead = 0) const {
        size_t i = std::min(pos_ + ahead, tokens_.size() - 1);
        return tokens_[i];
    }
    Token next() {
        Token t = peek();
        if (pos_ < tokens_.size() - 1)
            ++pos_;
        return t;
    }
    bool isWord(const Token& t, const char* w) const {
        if (t.kind != Token::Word)
            return false;
        return strcasecmp(t.text.c_str(), w) == 0;
    }
    bool isOpen(const Token& t) const {
        return isWord(t, "BEGIN") || (t.kind == Token::Punct && t.text == "{");
    }
    bool isClose(const Token& t) const {
        return isWord(t, "END") || (t.kind == Token::Punct && t.text == "}");
    }
    void comma() {
        if (peek().kind == Token::Punct && peek().text == ",")
            next();
    }
    void expectOpen() {
        Token t = next();
        if (!isOpen(t))
            fail(t, "expected BEGIN");
    }
    std::string expectString(const char* what) {
        Token t = next();
        if (t.kind != Token::String)
            fail(t, std::string("expected a string ") + what);
        return t.text;
    }

    // A numeric expression: numbers, #defined names, | + - ~ and parentheses. Sums wrap, as
    // in the resource compiler's 32-bit arithmetic, rather than overflow.
    long value() {
        unsigned long v = static_cast<unsigned long>(term());
        while (peek().kind == Token::Punct &&
               (peek().text == "|" || peek().text == "+" || peek().text == "-")) {
            char op = next().text[0];
            unsigned long r = static_cast<unsigned long>(term());
            v = op == '|' ? (v | r) : op == '+' ? v + r : v - r;
        }
        return static_cast<long>(v);
    }
    // Each nested parenthesis or unary operator is one level deeper, up to kMaxExpressionDepth.
    long term() {
        struct Level {
            int& depth;
            ~Level() { --depth; }
        } level{++expressionDepth_};
        if (expressionDepth_ > kMaxExpressionDepth)
            fail(peek(), "expression nested deeper than " + std::to_string(kMaxExpressionDepth) +
                             " levels");
        Token t = next();
        if (t.kind == Token::Number)
            return t.value;
        if (t.kind == Token::Punct && t.text == "(") {
            long v = value();
            Token c = next();
            if (c.text != ")")
                fail(c, "expected )");
            return v;
        }
        if (t.kind == Token::Punct && t.text == "~")
            return ~term();
        if (t.kind == Token::Punct && t.text == "-")
            return static_cast<long>(0ul - static_cast<unsigned long>(term()));
        if (t.kind == Token::Word) {
            if (isWord(t, "NOT"))
                return ~term();
            auto it = defines_.find(t.text);
            if (it != defines_.end()) {
                char* end = nullptr;
                std::string d = it->second;
                while (!d.empty() && (d.back() == 'L' || d.back() == 'l')) d.pop_back();
                if (!d.empty() && d.front() == '(' && d.back() == ')')
                    d = d.substr(1, d.size() - 2);
                long v = std::strtol(d.c_str(), &end, 0);
                if (end && !*end)
                    return v;
            }
            fail(t, "unknown name " + t.text);
        }
        fail(t, "expected a number");
    }

    // ---- statements -----------------------------------------------------------------------

    void skipBlock() {
        expectOpen();
        int depth = 1;
        while (depth > 0) {
            Token t = next();
            if (t.kind == Token::End)
                fail(t, "missing END");
            if (isOpen(t))
                ++depth;
            if (isClose(t))
                --depth;
        }
    }

    void skipRestOfLine(int line) {
        while (peek().kind != Token::End && peek().line == line) next();
    }

    void statement() {
        Token id = next();
        if (isWord(id, "LANGUAGE")) {
            skipRestOfLine(id.line);
            return;
        }
        if (isWord(id, "STRINGTABLE")) {
            stringTable(id);
            return;
        }
        if (id.kind != Token::Number && id.kind != Token::Word && id.kind != Token::String)
            fail(id, "expected a resource name");
        std::optional<UINT> number;
        std::u16string name;
        if (id.kind == Token::Number)
            number = static_cast<UINT>(id.value);
        else if (id.kind == Token::Word && defines_.count(id.text)) {
            --pos_;
            number = static_cast<UINT>(value());
        } else {
            name = widen(id.text);
        }
        Token type = next();
        if (type.kind != Token::Word)
            fail(type, "expected a resource type after " + id.text);
        if (isWord(type, "MENU") || isWord(type, "MENUEX")) {
            skipOptions();
            std::vector<MenuNode> items = menuItems();
            if (number)
                set_.menus[*number] = std::move(items);
            else
                set_.namedMenus[name] = std::move(items);
        } else if (isWord(type, "ICON")) {
            skipOptions();
            std::string file = expectString("naming the icon file");
            auto data = file_(file);
            if (!data)
                fail(type, "icon file " + file + " is not embedded");
            try {
                set_.icons[number.value_or(0)] = decodeIco(*data);
            } catch (const std::exception& e) {
                fail(type, file + ": " + e.what());
            }
        } else if (isWord(type, "VERSIONINFO")) {
            versionInfo();
        } else if (isWord(type, "DIALOG") || isWord(type, "DIALOGEX") ||
                   isWord(type, "ACCELERATORS") || isWord(type, "TOOLBAR") ||
                   isWord(type, "DLGINIT") || isWord(type, "TEXTINCLUDE") ||
                   isWord(type, "DESIGNINFO")) {
            while (peek().kind != Token::End && !isOpen(peek())) next();
            skipBlock();
        } else {
            // file resources (BITMAP "x.bmp", custom types) and data blocks
            skipRestOfLine(type.line);
            if (isOpen(peek()))
                skipBlock();
        }
    }

    void skipOptions() {
        while (isWord(peek(), "DISCARDABLE") || isWord(peek(), "MOVEABLE") ||
               isWord(peek(), "PURE") || isWord(peek(), "PRELOAD") ||
               isWord(peek(), "LOADONCALL") || isWord(peek(), "FIXED") ||
               isWord(peek(), "IMPURE") || isWord(peek(), "SHARED") || isWord(peek(), "NONSHARED"))
            next();
    }

    UINT itemOptions() {
        UINT flags = 0;
        while (peek().kind == Token::Punct && peek().text == ",") {
            next();
            Token o = next();
            if (isWord(o, "GRAYED"))
                flags |= MF_GRAYED;
            else if (isWord(o, "INACTIVE"))
                flags |= MF_DISABLED;
            else if (isWord(o, "CHECKED"))
                flags |= MF_CHECKED;
            else if (isWord(o, "MENUBARBREAK"))
                flags |= MF_MENUBARBREAK;
            else if (isWord(o, "MENUBREAK"))
                flags |= MF_MENUBREAK;
            else if (isWord(o, "HELP"))
                flags |= MF_HELP;
            else
                fail(o, "unknown menu item option " + o.text);
        }
        return flags;
    }

    // A MENU's items. Popups being filled wait on a stack of their own, not on the C++ stack,
    // and nest at most kMaxMenuDepth deep.
    std::vector<MenuNode> menuItems() {
        expectOpen();
        std::vector<MenuNode> top;
        std::vector<MenuNode> open;  // the popups being filled, innermost last
        auto items = [&]() -> std::vector<MenuNode>& {
            return open.empty() ? top : open.back().items;
        };
        for (;;) {
            Token t = next();
            if (isClose(t)) {
                if (open.empty())
                    return top;
                MenuNode done = std::move(open.back());
                open.pop_back();
                items().push_back(std::move(done));
            } else if (t.kind == Token::End) {
                fail(t, "missing END of the menu");
            } else if (isWord(t, "POPUP")) {
                if (open.size() >= static_cast<size_t>(kMaxMenuDepth))
                    fail(t, "menu popups nested deeper than " + std::to_string(kMaxMenuDepth) +
                                " levels");
                MenuNode n;
                n.text = widen(expectString("after POPUP"));
                n.flags = MF_POPUP | itemOptions();
                expectOpen();
                open.push_back(std::move(n));
            } else if (isWord(t, "MENUITEM")) {
                items().push_back(menuItem());
            } else {
                fail(t, "expected POPUP, MENUITEM or END");
            }
        }
    }

    // MENUITEM SEPARATOR, or MENUITEM "text", id [, option ...]
    MenuNode menuItem() {
        MenuNode n;
        if (isWord(peek(), "SEPARATOR")) {
            next();
            n.flags = MF_SEPARATOR;
            return n;
        }
        n.text = widen(expectString("after MENUITEM"));
        if (peek().kind != Token::Punct || peek().text != ",")
            fail(peek(), "expected , and the item's ID");
        next();
        n.id = static_cast<UINT>(value());
        n.flags = itemOptions();
        return n;
    }

    void stringTable(const Token&) {
        skipOptions();
        while (!isOpen(peek()) && peek().kind != Token::End) next();
        expectOpen();
        for (;;) {
            if (isClose(peek())) {
                next();
                return;
            }
            if (peek().kind == Token::End)
                fail(peek(), "missing END of the string table");
            UINT id = static_cast<UINT>(value());
            comma();
            set_.strings[id] = widen(expectString("in the string table"));
        }
    }

    void fourWords(WORD out[4]) {
        for (int i = 0; i < 4; ++i) {
            out[i] = static_cast<WORD>(value());
            if (i < 3)
                comma();
        }
    }

    void versionInfo() {
        VersionInfo v;
        while (!isOpen(peek())) {
            Token t = next();
            if (t.kind == Token::End)
                fail(t, "missing BEGIN of VERSIONINFO");
            if (isWord(t, "FILEVERSION"))
                fourWords(v.fileVersion);
            else if (isWord(t, "PRODUCTVERSION"))
                fourWords(v.productVersion);
            else if (t.kind == Token::Word)
                value();  // FILEFLAGSMASK and the other fixed fields
        }
        expectOpen();
        while (!isClose(peek())) {
            Token block = next();
            if (!isWord(block, "BLOCK"))
                fail(block, "expected BLOCK in VERSIONINFO");
            std::string kind = expectString("after BLOCK");
            expectOpen();
            if (kind == "StringFileInfo") {
                while (!isClose(peek())) {
                    Token inner = next();
                    if (!isWord(inner, "BLOCK"))
                        fail(inner, "expected BLOCK in StringFileInfo");
                    v.langCodepage = widen(expectString("naming the language"));
                    expectOpen();
                    while (!isClose(peek())) {
                        Token value = next();
                        if (!isWord(value, "VALUE"))
                            fail(value, "expected VALUE");
                        std::string key = expectString("naming the value");
                        comma();
                        std::string text = expectString("after the value's name");
                        v.strings[widen(key)] = widen(text);
                    }
                    next();
                }
                next();
            } else {
                // VarFileInfo: VALUE "Translation", lang, codepage
                int depth = 1;
                while (depth > 0) {
                    Token t = next();
                    if (t.kind == Token::End)
                        fail(t, "missing END");
                    if (isOpen(t))
                        ++depth;
                    if (isClose(t))
                        --depth;
                }
            }
        }
        next();
        set_.version = std::move(v);
    }
};

}  // namespace

ResourceSet parseRc(const std::string& rcName, const std::string& text,
                    const std::function<std::optional<std::string>(const std::string&)>& file) {
    Parser p(rcName, file);
    return p.run(text);
}

}  // namespace ce::resources
