// MessageBoxW: a real top-level window with its caption (also in the navigation bar), icon,
// text and buttons, run as a modal loop over the same queue and input source. Every box is
// written to the device log; with nothing to answer it (a headless run without a script) it is
// answered with its default button at once, so a silent run never hangs.
#include "gwes/gwes.h"

#include <algorithm>

namespace ce::gwes {
namespace {

const char16_t kDialogClass[] = u"Dialog";
constexpr int kMargin = 8;
constexpr int kCaptionHeight = 18;
constexpr int kIconSize = 32;
constexpr int kButtonWidth = 56;
constexpr int kButtonHeight = 22;
constexpr int kButtonGap = 8;

std::vector<int> buttonsFor(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE:
            return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL:
            return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO:
            return {IDYES, IDNO};
        case MB_RETRYCANCEL:
            return {IDRETRY, IDCANCEL};
        default:
            return {IDOK};
    }
}

std::string logText(std::u16string_view s) {
    std::string out;
    for (char c : utf8(s)) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            continue;
        else
            out += c;
    }
    return out;
}

void paintIcon(HDC dc, int x, int y, UINT icon) {
    COLORREF fill;
    const char16_t* mark;
    switch (icon) {
        case MB_ICONHAND:
            fill = RGB(208, 32, 32);
            mark = u"X";
            break;
        case MB_ICONQUESTION:
            fill = RGB(32, 80, 200);
            mark = u"?";
            break;
        case MB_ICONEXCLAMATION:
            fill = RGB(240, 192, 0);
            mark = u"!";
            break;
        default:
            fill = RGB(32, 80, 200);
            mark = u"i";
            break;
    }
    HBRUSH brush = CreateSolidBrush(fill);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    Ellipse(dc, x, y, x + kIconSize, y + kIconSize);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(brush);
    RECT r{x, y, x + kIconSize, y + kIconSize};
    HGDIOBJ oldFont = SelectObject(dc, boldFont());
    SetTextColor(dc, icon == MB_ICONEXCLAMATION ? RGB(0, 0, 0) : RGB(255, 255, 255));
    DrawTextW(dc, mark, 1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, oldFont);
}

RECT captionRect(HWND box) {
    RECT rc;
    GetClientRect(box, &rc);
    return RECT{kMargin / 2, 0, rc.right - kMargin / 2, kCaptionHeight};
}

RECT textRect(HWND box, const BoxState& s) {
    RECT rc;
    GetClientRect(box, &rc);
    int left = kMargin + ((s.type & MB_ICONMASK) ? kIconSize + kMargin : 0);
    return RECT{left, kCaptionHeight + kMargin, rc.right - kMargin,
                rc.bottom - kButtonHeight - 2 * kMargin};
}

void paintBox(HWND box, const BoxState& s) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(box, &ps);
    if (dc) {
        RECT rc;
        GetClientRect(box, &rc);
        RECT caption{0, 0, rc.right, kCaptionHeight};
        FillRect(dc, &caption, GetSysColorBrush(COLOR_ACTIVECAPTION));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_CAPTIONTEXT));
        HGDIOBJ oldFont = SelectObject(dc, boldFont());
        RECT ct = captionRect(box);
        DrawTextW(dc, s.caption.c_str(), -1, &ct,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        SelectObject(dc, menuFont());
        if (UINT icon = s.type & MB_ICONMASK)
            paintIcon(dc, kMargin, kCaptionHeight + kMargin, icon);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        RECT tr = textRect(box, s);
        DrawTextW(dc, s.text.c_str(), -1, &tr, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, oldFont);
    }
    EndPaint(box, &ps);
}

INT_PTR CALLBACK boxProc(HWND box, UINT msg, WPARAM wp, LPARAM) {
    Gwes* g = state();
    auto it = g ? g->boxes.find(box) : decltype(g->boxes.end()){};
    if (!g || it == g->boxes.end())
        return FALSE;
    const BoxState& s = it->second;
    switch (msg) {
        case WM_PAINT:
            paintBox(box, s);
            return TRUE;
        case WM_COMMAND: {
            int id = LOWORD(wp);
            if (id == IDCANCEL &&
                std::find(s.buttons.begin(), s.buttons.end(), IDCANCEL) == s.buttons.end()) {
                // Escape closes a box that has only an OK button
                if (s.buttons.size() == 1 && s.buttons[0] == IDOK)
                    id = IDOK;
                else
                    return TRUE;
            }
            if (std::find(s.buttons.begin(), s.buttons.end(), id) != s.buttons.end())
                EndDialog(box, id);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

HWND createBox(HWND owner, const BoxState& s) {
    Gwes* g = state();
    int width = screenWidth() - 2 * kMargin;
    // text height from the font
    int textWidth = width - 2 * kMargin - ((s.type & MB_ICONMASK) ? kIconSize + kMargin : 0);
    int textHeight = 14;
    if (HDC dc = GetDC(nullptr)) {
        HGDIOBJ old = SelectObject(dc, menuFont());
        RECT calc{0, 0, textWidth, 0};
        DrawTextW(dc, s.text.c_str(), -1, &calc,
                  DT_LEFT | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
        textHeight = std::max<int>(calc.bottom - calc.top, 14);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
    }
    int content = std::max(textHeight, (s.type & MB_ICONMASK) ? kIconSize : 0);
    RECT work = workArea();
    int height =
        std::min<int>(kCaptionHeight + kMargin + content + kMargin + kButtonHeight + kMargin + 2,
                      work.bottom - work.top);
    int x = kMargin;
    int y = work.top + (work.bottom - work.top - height) / 2;
    bool okInNavBar = (s.type & MB_TYPEMASK) == MB_OK || (s.type & MB_TYPEMASK) == MB_OKCANCEL;
    HWND box = CreateWindowExW(okInNavBar ? WS_EX_CAPTIONOKBTN : 0, kDialogClass, s.caption.c_str(),
                               WS_POPUP | WS_BORDER, x, y, width, height, owner, nullptr, nullptr,
                               nullptr);
    Window* w = win(box);
    if (!w)
        return nullptr;
    g->boxes[box] = s;
    w->dialog = std::make_unique<DialogData>();
    w->dialog->proc = boxProc;
    w->dialog->modal = true;
    w->dialog->font = menuFont();
    w->dialog->defId = static_cast<UINT>(s.defaultButton);
    RECT rc;
    GetClientRect(box, &rc);
    int n = static_cast<int>(s.buttons.size());
    int total = n * kButtonWidth + (n - 1) * kButtonGap;
    int bx = (rc.right - total) / 2;
    int by = rc.bottom - kMargin - kButtonHeight;
    HWND focus = nullptr;
    for (int id : s.buttons) {
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                      (id == s.defaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        std::u16string label = buttonText(id);
        HWND b = CreateWindowExW(
            0, u"BUTTON", label.c_str(), style, bx, by, kButtonWidth, kButtonHeight, box,
            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
        if (b)
            SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(menuFont()), 0);
        if (id == s.defaultButton)
            focus = b;
        bx += kButtonWidth + kButtonGap;
    }
    ShowWindow(box, SW_SHOWNORMAL);
    if (focus)
        SetFocus(focus);
    else
        SetFocus(box);
    return box;
}

}  // namespace

void registerMessageBoxClass() {}  // boxes use the dialog class

std::u16string buttonText(int id) {
    switch (id) {
        case IDOK:
            return u"OK";
        case IDCANCEL:
            return u"Cancel";
        case IDABORT:
            return u"Abort";
        case IDRETRY:
            return u"Retry";
        case IDIGNORE:
            return u"Ignore";
        case IDYES:
            return u"Yes";
        case IDNO:
            return u"No";
        default:
            return u"";
    }
}

std::vector<HWND> openBoxes() {
    std::vector<HWND> out;
    Gwes* g = state();
    if (!g)
        return out;
    for (Window* top : g->desktop->children)
        if (g->boxes.count(top->handle) && reallyVisible(top))
            out.push_back(top->handle);
    return out;
}

const BoxState* boxState(HWND box) {
    Gwes* g = state();
    if (!g)
        return nullptr;
    auto it = g->boxes.find(box);
    return it == g->boxes.end() ? nullptr : &it->second;
}

RECT boxCaptionRect(HWND box) {
    return boxState(box) ? captionRect(box) : RECT{0, 0, 0, 0};
}

RECT boxTextRect(HWND box) {
    const BoxState* s = boxState(box);
    return s ? textRect(box, *s) : RECT{0, 0, 0, 0};
}

}  // namespace ce::gwes

using namespace ce::gwes;

extern "C" int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    Gwes* g = state();
    BoxState s;
    s.caption = caption ? caption : u"Error";
    s.text = text ? text : u"";
    s.type = type;
    s.buttons = buttonsFor(type);
    size_t def = std::min<size_t>((type & MB_DEFMASK) >> 8, s.buttons.size() - 1);
    s.defaultButton = s.buttons[def];
    deviceLog("message box \"" + logText(s.caption) + "\": " + logText(s.text));
    if (!g || !g->input || g->autoAnswerBoxes) {
        deviceLog("message box answered " + utf8(buttonText(s.defaultButton)) +
                  " (default button, no input)");
        return s.defaultButton;
    }
    if (owner && !IsWindow(owner))
        owner = nullptr;
    bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    HWND box = createBox(owner, s);
    if (!box)
        return 0;
    if (ownerWasEnabled)
        EnableWindow(owner, FALSE);
    struct Cleanup {
        HWND box, owner;
        bool enable;
        ~Cleanup() {
            if (enable && IsWindow(owner))
                EnableWindow(owner, TRUE);
            if (Gwes* st = state())
                st->boxes.erase(box);
            if (IsWindow(box))
                DestroyWindow(box);
        }
    } cleanup{box, owner, ownerWasEnabled};
    modalLoop(box, [box] {
        Window* w = win(box);
        return !w || !w->dialog || w->dialog->ended;
    });
    Window* w = win(box);
    int result =
        w && w->dialog && w->dialog->ended ? static_cast<int>(w->dialog->result) : s.defaultButton;
    deviceLog("message box answered " + utf8(buttonText(result)));
    return result;
}
