// GWES internals: the window manager state of one device (classes, windows, z-order, focus,
// the message queue, the input source) and the helpers the GWES files share.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "gwes/input.h"
#include "kernel/device.h"
#include "kernel/text.h"

#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87L
#endif

namespace ce::gwes {

// Thrown through the program's stack when it must end while it waits for input: the input source
// has no more input, the host window was closed, or the device restarts. The launcher and the
// test driver catch it around the program.
struct ProgramEnd {
    enum class Reason { NoMoreInput, Closed, Reboot } reason;
};

// Pocket PC 2003 metrics at QVGA.
inline constexpr int kNavBarHeight = 26;
inline constexpr int kMenuBarHeight = 26;
inline constexpr int kScrollBarSize = 13;
inline constexpr int kMinThumb = 8;

struct WindowClass {
    std::u16string name;
    WNDCLASSW wc{};
    bool system = false;  // registered by the platform
    ATOM atom = 0;
};

struct ScrollBar {
    int min = 0;
    int max = 0;
    UINT page = 0;
    int pos = 0;
    int trackPos = 0;
    bool shown = false;        // the style bit decides at creation; ShowScrollBar changes it
    UINT disabled = 0;         // ESB_* arrows disabled
    bool forcedShown = false;  // SIF_DISABLENOSCROLL keeps it shown
};

struct DialogData {
    DLGPROC proc = nullptr;
    LRESULT msgResult = 0;
    LONG_PTR user = 0;
    INT_PTR result = 0;
    bool ended = false;
    bool modal = false;
    HWND focus = nullptr;  // control to give the focus back to
    UINT defId = IDOK;
    HFONT font = nullptr;
    int baseX = 6;
    int baseY = 13;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> cls;
    WNDPROC proc = nullptr;
    std::u16string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    Window* parent = nullptr;       // structural parent (the desktop for top-level windows)
    HWND owner = nullptr;           // owner of a top-level window
    std::vector<Window*> children;  // z-order, topmost first
    RECT rect{};                    // window rectangle in the parent's client coordinates
    RECT client{};                  // client rectangle in window coordinates
    UINT_PTR id = 0;
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    std::vector<uint8_t> extra;
    HFONT font = nullptr;
    HMENU menu = nullptr;  // a top-level window's menu (unused on Pocket PC)
    ScrollBar vbar;
    ScrollBar hbar;
    // painting
    bool dirty = false;
    bool erase = false;
    bool ncDirty = false;
    RECT update{};       // client coordinates
    bool redraw = true;  // WM_SETREDRAW
    // kind
    bool floating = false;    // WS_POPUP | WS_CHILD: stays above its siblings
    bool doneButton = false;  // SHInitDialog / SHDoneButton: the navigation bar shows "ok"
    bool noActivate = false;  // shell windows: the menu bar, popup menus
    bool topmost = false;
    bool destroying = false;
    bool destroyed = false;
    bool created = false;  // WM_CREATE answered
    std::unique_ptr<DialogData> dialog;
    HWND menuBar = nullptr;  // the menu bar SHCreateMenuBar made for this window

    bool isChild() const { return parent && !parent->isDesktop(); }
    bool isDesktop() const { return desktop; }
    bool visibleSelf() const { return (style & WS_VISIBLE) != 0; }
    bool desktop = false;
};

struct MenuItem {
    UINT flags = 0;  // MF_* type and state bits
    UINT id = 0;
    HMENU sub = nullptr;
    std::u16string text;
    ULONG_PTR data = 0;
};

struct MenuData {
    std::vector<MenuItem> items;
    bool popup = false;
};

// An item of the popup menu that is open, on the screen (for the test driver).
struct OpenMenuItem {
    std::u16string text;
    RECT screen{};
    bool enabled = true;
    UINT id = 0;
};

// A button of a menu bar, on the screen.
struct MenuBarButton {
    std::u16string text;
    RECT screen{};
    HWND bar = nullptr;
};

struct BoxState {
    std::u16string caption;
    std::u16string text;
    UINT type = 0;
    std::vector<int> buttons;  // IDOK, IDCANCEL, ... left to right
    int defaultButton = IDOK;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT elapse;
    TIMERPROC proc;
    uint64_t due;
};

// Scroll bar tracking by the stylus (DefWindowProc's WM_NCLBUTTONDOWN on a scroll bar).
struct ScrollTrack {
    HWND hwnd = nullptr;
    int bar = SB_VERT;
    int part = 0;        // 0 none, 1 up arrow, 2 down arrow, 3 page up, 4 page down, 5 thumb
    int grabOffset = 0;  // stylus offset within the thumb
    int lastPos = 0;
};

class Gwes : public DeviceService {
  public:
    Gwes();
    ~Gwes() override;

    // handles
    Window* find(HWND hwnd) const;
    std::shared_ptr<Window> hold(HWND hwnd) const;
    HWND newHandle(std::shared_ptr<Window> w);
    void releaseHandle(HWND hwnd);

    std::unordered_map<uintptr_t, std::shared_ptr<Window>> windows;
    uintptr_t nextHandle = 0x10010;
    Window* desktop = nullptr;

    // classes: (name lower-case) -> class; looked up by name only (one module per device here)
    std::map<std::u16string, std::shared_ptr<WindowClass>> classes;
    ATOM nextAtom = 0xC000;
    bool systemClassesDone = false;

    // focus and activation
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;
    std::vector<HWND> modal;  // modal windows, innermost last

    // queue
    std::deque<MSG> queue;
    bool quitPending = false;
    int quitCode = 0;
    DWORD messagePos = 0;
    LONG messageTime = 0;
    std::vector<Timer> timers;
    uint8_t keyState[256] = {};
    POINT cursor{};

    // input
    InputSource* input = nullptr;
    bool suspended = false;
    ScrollTrack track;
    // The window that held the stylus when the tap in progress went down (a popup menu or a
    // dropped list); if it lets go during that tap, the tap was the one that closed it.
    HWND tapCapture = nullptr;
    // Screen areas painted over or uncovered since the last paint pass. An area a window painted
    // (source) needs repainting only in what is drawn after that window: its descendants and the
    // windows above it.
    struct Damage {
        RECT rect;
        HWND source;
        bool active;
    };
    std::vector<Damage> damage;
    struct DcInfo {
        HWND hwnd;
        RECT clip;  // on the screen
    };
    std::unordered_map<HDC, DcInfo> dcs;

    // shell
    HWND navBar = nullptr;
    bool shellReady = false;
    HWND lastNavOwner = nullptr;
    std::u16string lastNavTitle;
    bool lastNavOk = false;

    // message boxes: answered with their default button when nothing can answer them
    bool autoAnswerBoxes = false;

    // the last message box shown, for the driver
    UINT caretBlink = 500;
    struct Caret {
        HWND hwnd = nullptr;
        int w = 0, h = 0, x = 0, y = 0;
        int shown = 0;
    } caret;

    std::unordered_map<uintptr_t, std::unique_ptr<MenuData>> menus;
    uintptr_t nextMenu = 0x7F0010;
    HWND openPopup = nullptr;  // the popup menu window that is open

    HFONT boldFont = nullptr;
    std::map<HWND, BoxState> boxes;  // the message boxes that are up

    std::unordered_map<std::u16string, UINT> registeredMessages;
    UINT nextRegisteredMessage = 0xC000;
};

// Key messages from an input source carry this bit (one of lParam's reserved bits): the source
// delivers the characters of printable keys itself, so only control keys are translated.
inline constexpr LPARAM kFromInputSource = 1 << 28;

// The current device's window manager, or nullptr when no device is open. Makes the desktop,
// the system classes and the navigation bar on first use.
Gwes* state();
Window* win(HWND hwnd);  // nullptr for a null, unknown or destroyed handle

// geometry (window.cpp)
POINT clientOrigin(const Window* w);        // client (0,0) on the screen
RECT screenRect(const Window* w);           // window rectangle on the screen
RECT screenClient(const Window* w);         // client rectangle on the screen
RECT visibleScreenClient(const Window* w);  // clipped by the ancestors and the screen
RECT visibleScreenWindow(const Window* w);
bool reallyVisible(const Window* w);  // itself and every ancestor visible
void recalcClient(Window* w);         // WM_NCCALCSIZE
Window* topLevelOf(Window* w);
bool isDescendant(const Window* ancestor, const Window* w);
int screenWidth();
int screenHeight();
RECT workArea();  // below the navigation bar

// messages (message.cpp)
LRESULT send(Window* w, UINT msg, WPARAM wp, LPARAM lp);
void post(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
void pumpOne();  // one GetMessage/Translate/Dispatch round, for modal loops
// Runs a modal loop until done() is true; throws ProgramEnd through it when input ends.
void modalLoop(HWND modalWindow, const std::function<bool()>& done);

// painting (paint.cpp)
void invalidate(Window* w, const RECT* clientRect, bool erase, bool frame);
void invalidateTree(Window* w);  // the window, its frame and all its descendants
void damageScreen(const RECT& screen);
void paintAll();
HDC dcFor(Window* w, bool client, const RECT* clipClient);

// activation, focus, z-order (window.cpp)
void activate(Window* w);
void activateNext(Window* leaving);
// What the system does when a program ends: every window, timer, menu and window class the
// program left is destroyed, without calling back into the program's code (its window and
// dialog procedures are not run again; the controls' own procedures still free their state).
// The device's shell windows stay. Answers how many top-level windows were destroyed.
int endProgram();
void bringToTop(Window* w);
bool activatable(const Window* w);

// scroll bars (scroll.cpp)
void paintScrollBars(Window* w, HDC windowDC);
int scrollHitTest(Window* w, POINT screen);  // HTVSCROLL, HTHSCROLL or 0
void beginScrollTrack(Window* w, int bar, POINT screen);
void continueScrollTrack(POINT screen, bool up);

// input (input.cpp)
void handleInputEvent(const InputEvent& e);
Window* hitTest(POINT screen);

// shell (shell.cpp)
void createShell();
void updateNavBar();
HWND navBarHandle();
RECT navOkRect();  // screen rectangle of the navigation bar's ok button (empty when none)
bool navHasOk();
std::u16string navTitle();
Window* navOwner();  // the window the navigation bar speaks for (the active window)

// dialogs (dialog.cpp)
void registerDialogClass();
LRESULT defDialogProc(Window* w, UINT msg, WPARAM wp, LPARAM lp);
// menus (menu.cpp)
void registerMenuClasses();
MenuData* menuOf(HMENU menu);
// Opens a popup menu at a screen point (its bottom left corner when aboveY is set: the menu
// then ends at aboveY), runs it, and answers the ID chosen or 0.
UINT trackPopup(HMENU menu, int x, int y, bool above, HWND owner);
std::vector<OpenMenuItem> openMenuItems();
std::vector<MenuBarButton> menuBarButtons();  // of the menu bars on screen, topmost first
HFONT menuFont();
HFONT boldFont();
// message boxes (msgbox.cpp)
void registerMessageBoxClass();
std::vector<HWND> openBoxes();  // topmost first
const BoxState* boxState(HWND box);
std::u16string buttonText(int id);
// Where a box draws its caption (in the bold font) and its text (word-wrapped, in the menu
// font), in its client coordinates; empty for a window that is no box.
RECT boxCaptionRect(HWND box);
RECT boxTextRect(HWND box);

// class helpers (window.cpp)
std::u16string lower(std::u16string_view s);
std::shared_ptr<WindowClass> findClass(LPCWSTR name);
// Per-window state of the platform's own classes lives in extra bytes that the class reserves at
// registration (cbWndExtra = kStateBytes; the state at offset 0), never in GWLP_USERDATA: that
// slot is the application's, on these windows as on its own.
inline constexpr int kStateBytes = sizeof(LONG_PTR);
template <class T>
T* windowState(HWND hwnd) {
    return reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, 0));
}
inline void setWindowState(HWND hwnd, const void* state) {
    SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(state));
}
// Registers a class of the platform's own (a control): unlike a program's class, it stays when
// the program ends, and so does the procedure of its windows. The atom, or 0 with the error set.
ATOM registerSystemClass(const WNDCLASSW& wc);
// The parts above the window system that bring classes of their own (the controls) add a function
// here when the library loads; the window manager of every device calls each one when it starts.
void addClassProvider(void (*provide)());
HBRUSH resolveBrush(HBRUSH b);  // a (COLOR_x + 1 | SYS_COLOR_INDEX_FLAG) value -> system brush
void setError(DWORD code);
uint64_t nowMs();

// log a line in the device log
void deviceLog(const std::string& line);
// text for people: the platform's one conversion (kernel/text.h)
inline std::string utf8(std::u16string_view s) {
    return kernel::toUtf8(s);
}
inline std::u16string utf16(std::string_view s) {
    return kernel::fromUtf8(s);
}

}  // namespace ce::gwes
