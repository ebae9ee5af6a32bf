// Every label the program shows fits the rectangle it is drawn in, measured in the device's
// system font through the platform's own text measurement: the six screens, the About window,
// the folder browser and the message boxes. A font that is wider than the device's, or a
// control that gives its label less room, fails here with the label, what it needs and what it
// has.
#include "AppHarness.h"

#include <sstream>
#include <vector>

#include "controls/layout.h"
#include "gwes/gwes.h"

using namespace apptest;
namespace layout = ce::controls::layout;

namespace {

std::string Narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out.push_back(c < 0x80 ? char(c) : '?');
    return out;
}

std::u16string ClassOf(HWND hwnd) {
    WCHAR name[64] = {0};
    GetClassNameW(hwnd, name, 64);
    return name;
}

// Measures labels in a font and keeps those that do not fit, with their measurements.
class LabelCheck {
  public:
    LabelCheck() : dc_(GetDC(NULL)) {}
    ~LabelCheck() { ReleaseDC(NULL, dc_); }

    // One line of text in `font` whose width plus `extra` must fit `room` (and its height
    // `roomHeight`).
    void Line(const std::string& where, const std::u16string& text, HFONT font, int extra, int room,
              int roomHeight) {
        SIZE size = Extent(text, font);
        ++measured_;
        if (extra + size.cx > room || size.cy > roomHeight)
            Misfit(where, text, extra + size.cx, size.cy, room, roomHeight);
    }

    // Text laid out over as many lines as the width needs (DT_WORDBREAK), as statics and
    // message boxes draw it: every line must fit the width and all of them the height.
    void Wrapped(const std::string& where, const std::u16string& text, HFONT font, RECT room) {
        HGDIOBJ old = SelectObject(dc_, font);
        RECT calc = {0, 0, room.right - room.left, 0};
        DrawTextW(dc_, text.c_str(), -1, &calc, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
        SelectObject(dc_, old);
        ++measured_;
        if (calc.right - calc.left > room.right - room.left ||
            calc.bottom - calc.top > room.bottom - room.top)
            Misfit(where, text, calc.right - calc.left, calc.bottom - calc.top,
                   room.right - room.left, room.bottom - room.top);
    }

    // A control's label, by the control's kind; controls without a label are passed over.
    void Control(const std::string& where, HWND hwnd) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        HFONT font = (HFONT)SendMessageW(hwnd, WM_GETFONT, 0, 0);
        if (font == NULL)
            font = (HFONT)GetStockObject(SYSTEM_FONT);
        std::u16string cls = ClassOf(hwnd), text = WindowText(hwnd);
        DWORD kind = GetWindowLongW(hwnd, GWL_STYLE) & BS_TYPEMASK;
        std::string at = where + " " + Narrow(cls);
        if (cls == u"BUTTON" && (kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX ||
                                 kind == BS_3STATE || kind == BS_AUTO3STATE))
            Line(at, text, font, layout::kCheckBoxSize + layout::kCheckGap, rc.right, rc.bottom);
        else if (cls == u"BUTTON")
            Line(at, text, font, 2 * layout::kPushEdge, rc.right, rc.bottom);
        else if (cls == u"STATIC")
            Wrapped(at, text, font, rc);
        else if (cls == u"COMBOBOX")
            for (int i = 0; i < (int)SendMessageW(hwnd, CB_GETCOUNT, 0, 0); i++) {
                WCHAR entry[64] = {0};
                SendMessageW(hwnd, CB_GETLBTEXT, i, (LPARAM)entry);
                Line(at + " entry", entry, font, layout::kComboTextLeft + layout::kComboButtonWidth,
                     rc.right, rc.bottom);
            }
    }

    int Measured() const { return measured_; }
    bool AllFit() const { return misfits_.empty(); }
    std::string Misfits() const { return misfits_; }

  private:
    SIZE Extent(const std::u16string& text, HFONT font) {
        HGDIOBJ old = SelectObject(dc_, font);
        SIZE size = {0, 0};
        GetTextExtentPoint32W(dc_, text.c_str(), (int)text.size(), &size);
        SelectObject(dc_, old);
        return size;
    }

    void Misfit(const std::string& where, const std::u16string& text, int width, int height,
                int room, int roomHeight) {
        std::ostringstream s;
        s << "  " << where << " \"" << Narrow(text) << "\" needs " << width << " x " << height
          << " pixels, has " << room << " x " << roomHeight << "\n";
        misfits_ += s.str();
    }

    HDC dc_;
    int measured_ = 0;
    std::string misfits_;
};

// Every labelled control of every screen, shown or hidden.
TEST(LabelFit, EveryLabelOfTheSixScreensFitsItsControl) {
    App app;
    LabelCheck check;
    for (int screen = 0; screen < 6; screen++) {
        const CWindowList& items = g_pScreens->GetScreenItems(screen);
        for (int pos = 0; pos < items.GetCount(); pos++)
            check.Control("screen " + std::to_string(screen) + " position " + std::to_string(pos),
                          items.GetAt(pos));
    }
    EXPECT_GE(check.Measured(), 40);  // every check box, button, label and list entry
    EXPECT_TRUE(check.AllFit()) << "labels that do not fit their controls:\n" << check.Misfits();
}

// The About window's text and the folder browser's buttons.
TEST(LabelFit, TheAboutWindowAndTheFolderBrowserFit) {
    App app;
    LabelCheck check;
    app.driver().tapId(50003);  // "Browse" of "User Defined 1"
    ASSERT_NE(g_hBrowserOk, (HWND)NULL);
    check.Control("folder browser", g_hBrowserOk);
    check.Control("folder browser", g_hBrowserCancel);
    app.driver().tap(g_hBrowserCancel);

    app.driver().menu(u"Help", u"About");
    ASSERT_NE(g_hAboutWindow, (HWND)NULL);
    for (HWND c = GetWindow(g_hAboutWindow, GW_CHILD); c != NULL; c = GetWindow(c, GW_HWNDNEXT))
        check.Control("About", c);
    app.driver().ok();
    EXPECT_EQ(check.Measured(), 3);
    EXPECT_TRUE(check.AllFit()) << "labels that do not fit their controls:\n" << check.Misfits();
}

// A message box's caption on its one line, its text wrapped in the room the box gives it, and
// its buttons: the two boxes of an Apply without restart and the long hard reset warning.
TEST(LabelFit, MessageBoxCaptionsTextsAndButtonsFit) {
    App app;
    LabelCheck check;
    auto checkBox = [&](const char* which) {
        std::optional<ce::test::MessageBoxInfo> box = app.driver().messageBox();
        ASSERT_TRUE(box) << which;
        RECT caption = ce::gwes::boxCaptionRect(box->hwnd);
        check.Line(std::string(which) + " caption", box->caption, ce::gwes::boldFont(), 0,
                   caption.right - caption.left, caption.bottom - caption.top);
        check.Wrapped(std::string(which) + " text", box->text, ce::gwes::menuFont(),
                      ce::gwes::boxTextRect(box->hwnd));
        for (HWND c = GetWindow(box->hwnd, GW_CHILD); c != NULL; c = GetWindow(c, GW_HWNDNEXT))
            check.Control(which, c);
    };
    app.driver().menu(u"Apply", u"Defer Restart");
    checkBox("Cleaning Finished");
    app.driver().answerBox(u"Cleaning Finished", u"Bytes Cleaned", IDOK);
    checkBox("Restart Required");
    app.driver().answerBox(u"Restart Required", u"restarted", IDOK);
    app.driver().menu(u"Power", u"Hard Reset");
    checkBox("hard reset warning");
    app.driver().answerBox(u"Please Confirm", u"WARNING", IDNO);
    EXPECT_EQ(check.Measured(), 3 * 2 + 1 + 1 + 2);
    EXPECT_TRUE(check.AllFit()) << "labels that do not fit:\n" << check.Misfits();
}

}  // namespace
