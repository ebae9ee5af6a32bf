// What every control shares: its state behind the window, the one way to notify the parent,
// text storage and copying, painting scopes, metrics and scroll-bar arithmetic.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <string_view>

namespace ce::controls {

// ---------------------------------------------------------------------------------------------
// Text

// Copies at most capacity - 1 units and a NUL into buffer (nothing when capacity is 0) and
// returns the number of units copied, without the NUL: WM_GETTEXT's rule.
size_t copyText(std::u16string_view text, WCHAR* buffer, size_t capacity);
// The text a caller passed (null reads as empty).
std::u16string textFrom(LPCWSTR text);
// The text a caller passed with an explicit count (-1: NUL-terminated).
std::u16string textFrom(LPCWSTR text, int count);

// ---------------------------------------------------------------------------------------------
// Notifications

// The parent and ID captured at creation; every notification a control sends goes through here,
// so NMHDR and WM_COMMAND are filled the same way by all of them.
class Notifier {
  public:
    void capture(HWND self, const CREATESTRUCTW& cs);
    // Sends notifications to `target` instead of the creation parent (a combo box's list).
    void redirect(HWND target) { parent_ = target; }

    HWND self() const { return self_; }
    HWND parent() const { return parent_; }
    int id() const { return id_; }

    // WM_COMMAND with MAKEWPARAM(id, code) and the control as lParam.
    LRESULT command(WORD code) const;
    // WM_NOTIFY: fills hdr (hwndFrom, idFrom, code) and returns the parent's answer.
    LRESULT notify(NMHDR& hdr, UINT code) const;
    LRESULT notify(UINT code) const;
    // WM_HSCROLL / WM_VSCROLL with MAKEWPARAM(code, pos) and the control as lParam.
    LRESULT scroll(UINT message, WORD code, int pos) const;

  private:
    HWND self_ = nullptr;
    HWND parent_ = nullptr;
    int id_ = 0;
};

// ---------------------------------------------------------------------------------------------
// The control object behind a window

class Control {
  public:
    Control(HWND hwnd, const CREATESTRUCTW& cs);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // One message; the window procedure has already caught WM_NCCREATE.
    virtual LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) = 0;

  protected:
    HWND hwnd() const { return hwnd_; }
    DWORD style() const;
    bool enabled() const;
    bool focused() const;
    HFONT font() const;
    HFONT givenFont() const { return font_; }  // null until WM_SETFONT
    // WM_SETFONT / WM_GETFONT for every control.
    LRESULT setFont(WPARAM font, LPARAM redraw);
    // Answers a message the control does not handle: what every control does alike (erasing,
    // enabling, fonts), else the default window procedure, with one log line the first time an
    // unknown control message (WM_USER and up) reaches a class.
    LRESULT unhandled(UINT message, WPARAM wParam, LPARAM lParam, const char* className);
    void invalidate(const RECT* rect = nullptr) const;
    RECT clientRect() const;

    Notifier notifier_;

  private:
    HWND hwnd_;
    HFONT font_ = nullptr;
};

// The window procedure of control class T (T(HWND, const CREATESTRUCTW&)): creates T at
// WM_NCCREATE, dispatches every message to it, destroys it after WM_NCDESTROY. The object is
// kept in the window's extra bytes (registerControlClass reserves them), never in
// GWLP_USERDATA, which is the application's. Nothing thrown
// by a handler leaves the procedure: it answers 0 with ERROR_NOT_ENOUGH_MEMORY (or -1 to
// WM_CREATE, which fails the creation).
LRESULT dispatchToControl(Control* control, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void attachControl(HWND hwnd, std::unique_ptr<Control> control);
Control* attachedControl(HWND hwnd);

template <class T>
LRESULT CALLBACK controlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Control* control = attachedControl(hwnd);
    if (!control && message == WM_NCCREATE && lParam) {
        try {
            attachControl(hwnd,
                          std::make_unique<T>(hwnd, *reinterpret_cast<CREATESTRUCTW*>(lParam)));
        } catch (...) {
            SetLastError(8 /* ERROR_NOT_ENOUGH_MEMORY */);
            return FALSE;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (!control)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return dispatchToControl(control, hwnd, message, wParam, lParam);
}

// Registers a global class with the procedure of T.
bool registerControlClass(LPCWSTR name, WNDPROC proc, UINT classStyle, LPCWSTR cursor = nullptr);

// ---------------------------------------------------------------------------------------------
// Painting

// BeginPaint/EndPaint with the control's font selected and a transparent text background.
class PaintScope {
  public:
    PaintScope(HWND hwnd, HFONT font);
    ~PaintScope();
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return dc_; }
    const RECT& dirty() const { return ps_.rcPaint; }

  private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
    HGDIOBJ oldFont_ = nullptr;
};

// A DC for measuring text in the control's font outside WM_PAINT.
class MeasureScope {
  public:
    MeasureScope(HWND hwnd, HFONT font);
    ~MeasureScope();
    MeasureScope(const MeasureScope&) = delete;
    MeasureScope& operator=(const MeasureScope&) = delete;
    HDC dc() const { return dc_; }

  private:
    HWND hwnd_;
    HDC dc_;
    HGDIOBJ oldFont_ = nullptr;
};

// Width of text in the DC's font (0 for no text).
int textWidth(HDC dc, std::u16string_view text);
// Height of a line in the DC's font (the font's tmHeight; 11 px when the DC cannot say).
int lineHeight(HDC dc);
// The control's line height measured in its font.
int fontLineHeight(HWND hwnd, HFONT font);

void fillRect(HDC dc, const RECT& rect, int sysColor);
void drawTextLine(HDC dc, std::u16string_view text, RECT rect, UINT format, COLORREF color);
// The dotted focus-free selection look of Pocket PC: a COLOR_HIGHLIGHT bar with highlight text.
COLORREF sysColor(int index);
// Small filled triangle pointing down (drop-down button) or left/right (tab scroll arrows).
enum class Arrow { Up, Down, Left, Right };
void drawArrow(HDC dc, const RECT& box, Arrow arrow, COLORREF color);

// ---------------------------------------------------------------------------------------------
// Scrolling

// The position a scroll request asks for (SB_* codes), clamped to min..maxPos.
int scrollRequest(WORD code, int current, int line, int page, int min, int maxPos, int thumb);
// Sets a non-client bar to the range min..max with page, and position pos.
// disableNoScroll keeps a bar that is not needed shown but disabled; otherwise it is hidden.
void setScrollBar(HWND hwnd, int bar, int min, int max, int page, int pos, bool disableNoScroll);

}  // namespace ce::controls
