// Dialogs: windows made from an in-memory DLGTEMPLATE, the dialog procedure contract
// (DefDlgProc), modal dialogs as a nested loop, and the dialog manager's keys.
#include "gwes/gwes.h"

#include <algorithm>
#include <cstring>

namespace ce::gwes {
namespace {

const char16_t kDialogClass[] = u"Dialog";

// Reads the template's variable parts: a 0x0000 / 0xFFFF+ordinal / NUL-terminated text entry.
struct Reader {
    const uint8_t* p;
    const uint8_t* end;
    bool ok = true;

    WORD word() {
        if (p + 2 > end) {
            ok = false;
            return 0;
        }
        WORD v;
        std::memcpy(&v, p, 2);
        p += 2;
        return v;
    }
    DWORD dword() {
        WORD lo = word();
        WORD hi = word();
        return MAKELONG(lo, hi);
    }
    // Returns the text, or the ordinal in *ordinal (0 when it is text).
    std::u16string entry(WORD* ordinal) {
        *ordinal = 0;
        WORD first = word();
        if (first == 0)
            return {};
        if (first == 0xFFFF) {
            *ordinal = word();
            return {};
        }
        std::u16string s(1, static_cast<char16_t>(first));
        for (WORD c; ok && (c = word()) != 0;) s += static_cast<char16_t>(c);
        return s;
    }
    void alignDword(const uint8_t* base) {
        size_t off = static_cast<size_t>(p - base);
        p += (4 - off % 4) % 4;
    }
};

std::u16string classForAtom(WORD atom) {
    switch (atom) {
        case 0x80:
            return u"BUTTON";
        case 0x81:
            return u"EDIT";
        case 0x82:
            return u"STATIC";
        case 0x83:
            return u"LISTBOX";
        case 0x84:
            return u"SCROLLBAR";
        case 0x85:
            return u"COMBOBOX";
        default:
            return u"STATIC";
    }
}

// Base units of a font: the average width of the letters (rounded) and the height.
void baseUnits(HFONT font, int* bx, int* by) {
    *bx = 6;
    *by = 13;
    HDC dc = GetDC(nullptr);
    if (!dc)
        return;
    HGDIOBJ old = SelectObject(dc, font);
    SIZE ext{};
    static const char16_t letters[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    TEXTMETRICW tm{};
    if (GetTextExtentPoint32W(dc, letters, 52, &ext) && ext.cx > 0)
        *bx = static_cast<int>((ext.cx / 26 + 1) / 2);
    if (GetTextMetricsW(dc, &tm) && tm.tmHeight > 0)
        *by = tm.tmHeight;
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
}

int px(int units, int base, int div) {
    return (units * base + div / 2) / div;
}

HWND firstTabStop(HWND dialog) {
    Window* w = win(dialog);
    if (!w)
        return nullptr;
    for (Window* c : w->children)
        if ((c->style & WS_TABSTOP) && (c->style & WS_VISIBLE) && !(c->style & WS_DISABLED))
            return c->handle;
    return nullptr;
}

HWND createFromTemplate(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND owner, DLGPROC proc,
                        LPARAM param, bool modal) {
    if (!tmpl) {
        setError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Templates are read with bounds: 64 KB is far more than any dialog needs.
    const auto* base = reinterpret_cast<const uint8_t*>(tmpl);
    Reader r{base, base + 0x10000};
    DWORD style = r.dword();
    DWORD exStyle = r.dword();
    if (LOWORD(style) == 1 && HIWORD(style) == 0xFFFF) {
        // DLGTEMPLATEEX: not used by the device's programs
        setError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    WORD count = r.word();
    short x = static_cast<short>(r.word()), y = static_cast<short>(r.word());
    short cx = static_cast<short>(r.word()), cy = static_cast<short>(r.word());
    WORD ordinal;
    r.entry(&ordinal);  // menu: dialogs on the device have none
    std::u16string cls = r.entry(&ordinal);
    if (ordinal)
        cls = classForAtom(ordinal);
    if (cls.empty())
        cls = kDialogClass;
    std::u16string title = r.entry(&ordinal);
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    bool ownFont = false;
    if (style & DS_SETFONT) {
        WORD points = r.word();
        std::u16string face = r.entry(&ordinal);
        LOGFONTW lf{};
        lf.lfHeight = -static_cast<LONG>((points * 96 + 36) / 72);
        std::copy_n(face.data(), std::min<size_t>(face.size(), LF_FACESIZE - 1), lf.lfFaceName);
        if (HFONT f = CreateFontIndirectW(&lf)) {
            font = f;
            ownFont = true;
        }
    }
    if (!r.ok)
        return nullptr;
    int bx, by;
    baseUnits(font, &bx, &by);
    RECT rc{px(x, bx, 4), px(y, by, 8), px(x, bx, 4) + px(cx, bx, 4), px(y, by, 8) + px(cy, by, 8)};
    bool child = (style & WS_CHILD) != 0;
    if (!child && !(style & DS_ABSALIGN) && owner) {
        POINT o{0, 0};
        ClientToScreen(owner, &o);
        OffsetRect(&rc, o.x, o.y);
    }
    if (!child && (style & DS_CENTER)) {
        RECT work = workArea();
        int w = rc.right - rc.left, h = rc.bottom - rc.top;
        rc = {work.left + (work.right - work.left - w) / 2,
              work.top + (work.bottom - work.top - h) / 2, 0, 0};
        rc.right = rc.left + w;
        rc.bottom = rc.top + h;
    }
    // A dialog that is not a child is a top-level window owned by `owner`, whatever its style.
    HWND hwnd =
        CreateWindowExW(exStyle, cls.c_str(), title.c_str(), style & ~WS_VISIBLE, rc.left, rc.top,
                        rc.right - rc.left, rc.bottom - rc.top, child ? owner : nullptr, nullptr,
                        instance, reinterpret_cast<LPVOID>(param));
    Window* w = win(hwnd);
    if (!w) {
        if (ownFont)
            DeleteObject(font);
        return nullptr;
    }
    if (!child && win(owner))
        w->owner = topLevelOf(win(owner))->handle;
    w->dialog = std::make_unique<DialogData>();
    w->dialog->proc = proc;
    w->dialog->modal = modal;
    w->dialog->font = font;
    w->dialog->baseX = bx;
    w->dialog->baseY = by;
    w->font = font;
    if (style & DS_SETFONT)
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    for (WORD i = 0; i < count && r.ok && IsWindow(hwnd); ++i) {
        r.alignDword(base);
        DWORD itemStyle = r.dword();
        DWORD itemEx = r.dword();
        short ix = static_cast<short>(r.word()), iy = static_cast<short>(r.word());
        short icx = static_cast<short>(r.word()), icy = static_cast<short>(r.word());
        WORD id = r.word();
        std::u16string itemClass = r.entry(&ordinal);
        if (ordinal)
            itemClass = classForAtom(ordinal);
        std::u16string text = r.entry(&ordinal);
        WORD extra = r.word();
        r.p += extra;
        HWND item = CreateWindowExW(
            itemEx | WS_EX_NOPARENTNOTIFY, itemClass.c_str(), text.c_str(), itemStyle | WS_CHILD,
            px(ix, bx, 4), px(iy, by, 8), px(icx, bx, 4), px(icy, by, 8), hwnd,
            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), instance, nullptr);
        if (item)
            SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    }
    if (!IsWindow(hwnd))
        return nullptr;
    HWND focus = firstTabStop(hwnd);
    if (SendMessageW(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param) && focus &&
        IsWindow(focus))
        SetFocus(focus);
    if (!IsWindow(hwnd))
        return nullptr;
    if (style & WS_VISIBLE)
        ShowWindow(hwnd, SW_SHOWNORMAL);
    return hwnd;
}

bool specialResult(UINT msg) {
    switch (msg) {
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_INITDIALOG:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return true;
        default:
            return false;
    }
}

HWND nextTab(HWND dialog, HWND from, bool previous) {
    Window* w = win(dialog);
    if (!w)
        return nullptr;
    std::vector<Window*> stops;
    for (Window* c : w->children)
        if ((c->style & WS_TABSTOP) && (c->style & WS_VISIBLE) && !(c->style & WS_DISABLED))
            stops.push_back(c);
    if (stops.empty())
        return nullptr;
    Window* f = win(from);
    while (f && f->parent != w) f = f->parent;
    auto it = std::find(stops.begin(), stops.end(), f);
    if (it == stops.end())
        return (previous ? stops.back() : stops.front())->handle;
    size_t i = static_cast<size_t>(it - stops.begin());
    size_t n = stops.size();
    return stops[previous ? (i + n - 1) % n : (i + 1) % n]->handle;
}

// The dialog manager's default answers, when the dialog procedure returns FALSE.
LRESULT defaultDialog(Window* w, UINT msg, WPARAM wp, LPARAM lp) {
    HWND hwnd = w->handle;
    DialogData& d = *w->dialog;
    switch (msg) {
        case WM_ERASEBKGND: {
            auto brush = reinterpret_cast<HBRUSH>(
                SendMessageW(hwnd, WM_CTLCOLORDLG, wp, reinterpret_cast<LPARAM>(hwnd)));
            if (!brush)
                brush = reinterpret_cast<HBRUSH>(
                    DefWindowProcW(hwnd, WM_CTLCOLORDLG, wp, reinterpret_cast<LPARAM>(hwnd)));
            RECT rc;
            GetClientRect(hwnd, &rc);
            FillRect(reinterpret_cast<HDC>(wp), &rc, brush);
            return 1;
        }
        case WM_ACTIVATE:
            if (LOWORD(wp) == WA_INACTIVE) {
                HWND f = GetFocus();
                if (f && IsChild(hwnd, f))
                    d.focus = f;
            } else {
                HWND f = IsWindow(d.focus) && IsChild(hwnd, d.focus) ? d.focus : firstTabStop(hwnd);
                SetFocus(f ? f : hwnd);
            }
            return 0;
        case WM_SETFOCUS: {
            HWND f = IsWindow(d.focus) && IsChild(hwnd, d.focus) ? d.focus : firstTabStop(hwnd);
            if (f)
                SetFocus(f);
            return 0;
        }
        case WM_CLOSE:
            PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDCANCEL)));
            return 0;
        case DM_SETDEFID:
            d.defId = static_cast<UINT>(wp);
            return TRUE;
        case DM_GETDEFID:
            return MAKELONG(d.defId, DC_HASDEFID);
        case WM_NEXTDLGCTL: {
            HWND target = lp ? reinterpret_cast<HWND>(wp) : nextTab(hwnd, GetFocus(), wp != 0);
            if (target)
                SetFocus(target);
            return 0;
        }
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(d.font);
        case WM_NCDESTROY: {
            HFONT stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
            if (d.font && d.font != stock)
                DeleteObject(d.font);
            d.font = nullptr;
            return DefWindowProcW(hwnd, msg, wp, lp);
        }
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace

void registerDialogClass() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefDlgProcW;
    wc.lpszClassName = kDialogClass;
    RegisterClassW(&wc);
}

LRESULT defDialogProc(Window* w, UINT msg, WPARAM wp, LPARAM lp) {
    if (!w->dialog)
        return DefWindowProcW(w->handle, msg, wp, lp);
    auto keep = state()->hold(w->handle);
    DLGPROC proc = w->dialog->proc;
    INT_PTR answered = 0;
    if (proc) {
        w->dialog->msgResult = 0;
        answered = proc(w->handle, msg, wp, lp);
    }
    if (w->destroyed || !w->dialog)
        return answered;
    if (specialResult(msg) && answered)
        return answered;
    if (answered)
        return w->dialog->msgResult;
    return defaultDialog(w, msg, wp, lp);
}

}  // namespace ce::gwes

using namespace ce::gwes;

extern "C" {

LRESULT WINAPI DefDlgProcW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = win(hwnd);
    if (!w)
        return 0;
    return defDialogProc(w, msg, wp, lp);
}

HWND WINAPI CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND owner,
                                       DLGPROC proc, LPARAM initParam) {
    return createFromTemplate(instance, tmpl, owner, proc, initParam, false);
}

INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND owner,
                                       DLGPROC proc, LPARAM initParam) {
    HWND hwnd = createFromTemplate(instance, tmpl, owner, proc, initParam, true);
    Window* w = win(hwnd);
    if (!w)
        return -1;
    bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled)
        EnableWindow(owner, FALSE);
    if (!w->dialog->ended)
        ShowWindow(hwnd, SW_SHOWNORMAL);
    struct Restore {
        HWND owner;
        bool enable;
        ~Restore() {
            if (enable && IsWindow(owner))
                EnableWindow(owner, TRUE);
        }
    } restore{owner, ownerWasEnabled};
    modalLoop(hwnd, [hwnd] {
        Window* d = win(hwnd);
        return !d || !d->dialog || d->dialog->ended;
    });
    Window* d = win(hwnd);
    INT_PTR result = d && d->dialog ? d->dialog->result : -1;
    if (d)
        DestroyWindow(hwnd);
    if (owner && IsWindow(owner))
        SetActiveWindow(owner);
    return result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    Window* w = win(dialog);
    if (!w || !w->dialog)
        return FALSE;
    w->dialog->result = result;
    w->dialog->ended = true;
    ShowWindow(dialog, SW_HIDE);
    return TRUE;
}

BOOL WINAPI IsDialogMessageW(HWND dialog, LPMSG msg) {
    Window* d = win(dialog);
    if (!d || !msg || (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)))
        return FALSE;
    if (msg->message != WM_KEYDOWN && msg->message != WM_CHAR)
        return FALSE;
    UINT key = static_cast<UINT>(msg->wParam);
    bool navigation = msg->message == WM_KEYDOWN
                          ? (key == VK_RETURN || key == VK_ESCAPE || key == VK_TAB)
                          : (key == u'\r' || key == 0x1B || key == u'\t');
    if (!navigation)
        return FALSE;
    LRESULT code =
        SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
    if (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE))
        return FALSE;
    if (key == VK_TAB && (code & DLGC_WANTTAB))
        return FALSE;
    if (msg->message == WM_CHAR)
        return TRUE;  // the key itself was handled
    if (key == VK_TAB) {
        bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
        if (HWND next = nextTab(dialog, msg->hwnd, back))
            SetFocus(next);
        return TRUE;
    }
    if (key == VK_ESCAPE) {
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
        return TRUE;
    }
    LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    UINT id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, static_cast<int>(id))));
    return TRUE;
}

BOOL WINAPI MapDialogRect(HWND dialog, LPRECT rect) {
    Window* w = win(dialog);
    if (!w || !w->dialog || !rect)
        return FALSE;
    int bx = w->dialog->baseX, by = w->dialog->baseY;
    rect->left = px(rect->left, bx, 4);
    rect->right = px(rect->right, bx, 4);
    rect->top = px(rect->top, by, 8);
    rect->bottom = px(rect->bottom, by, 8);
    return TRUE;
}

LONG WINAPI GetDialogBaseUnits(void) {
    int bx, by;
    baseUnits(static_cast<HFONT>(GetStockObject(SYSTEM_FONT)), &bx, &by);
    return MAKELONG(bx, by);
}

HWND WINAPI GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
    return nextTab(dialog, control, previous);
}
HWND WINAPI GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
    return nextTab(dialog, control, previous);
}

}  // extern "C"
