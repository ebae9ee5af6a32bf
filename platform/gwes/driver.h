// The test driver: runs a program (WinMain or any function with a message loop) on the current
// device and operates it as a person would. The program runs on a thread of its own; the driver
// and the program take turns, never running at the same time: every action below hands the
// program its input and returns when the program waits for input again (or has ended), so the
// caller can read the state of any window between actions. Queries are made while the program
// waits. A program that waits while nobody acts is stopped when the Driver is destroyed.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ce::test {

// An action or expectation that cannot be carried out: nothing matches, no box is up, the
// program has ended, ... what() says what was expected and what is on screen.
class DriverError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::u16string caption;
    std::u16string text;
    UINT type = 0;  // MB_* flags as given to MessageBoxW
};

// How to find a window: every field that is set must match. Only visible windows match unless
// includeHidden is set. When several match, the topmost wins.
struct Query {
    std::optional<std::u16string> text;       // window text, exactly
    std::optional<std::u16string> className;  // "BUTTON", "EDIT", ...; case-insensitive
    std::optional<int> id;                    // control ID
    HWND parent = nullptr;                    // a descendant of this window
    bool includeHidden = false;
    std::function<bool(HWND)> where;  // any further test the window must pass
};

class Driver {
  public:
    using Program = std::function<int()>;

    // Starts the program and returns when it first waits for input or has ended.
    explicit Driver(Program program);
    // Convenience: runs winMain(instance, nullptr, commandLine, SW_SHOW) as the program.
    Driver(int (*winMain)(HINSTANCE, HINSTANCE, LPWSTR, int), std::u16string commandLine);
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    bool running() const;
    // The program's exit code once it has ended; throws DriverError while it runs.
    int exitCode() const;
    // True when the program ended because the device restarted (KernelIoControl reboot).
    bool rebooted() const;
    // What ended the program when an exception left it; empty when it returned or still runs.
    std::string failure() const;

    // Actions. Each throws DriverError when its target is not on screen.
    void tap(int x, int y);                    // stylus down and up at screen coordinates
    void tap(HWND window);                     // at the centre of the window's visible part
    void tap(const Query& query);              // the topmost visible match, scrolled into view
    void tapText(const std::u16string& text);  // a window, list/tree/tab entry or menu item
    void tapId(int controlId);
    void drag(POINT from, POINT to);        // stylus down, moves, up
    void type(const std::u16string& text);  // characters to the focus window
    void key(UINT virtualKey);              // key down and up to the focus window
    // The key pressed while a modifier (VK_SHIFT, VK_CONTROL, ...) is held down.
    void key(UINT modifier, UINT virtualKey);
    void menu(const std::u16string& popup, const std::u16string& item);  // menu bar popup item
    void ok();  // the navigation bar's ok button
    // Taps an entry of a list, drop-down list's dropped list, tab bar or tree: index is the
    // entry's index (a tree's HTREEITEM). The entry is scrolled into view first.
    void tapEntry(HWND owner, INT_PTR index);
    // Scrolls the window into its scrolling parent's view, as a person drags the scroll bar.
    void reveal(HWND window);

    // Steps that set a control's state rather than toggle it. Each acts only when the state
    // differs, by tapping, dragging and typing as a person would, and checks the outcome; each
    // throws DriverError saying what it found instead.
    void setCheck(HWND checkBox, bool checked);  // a check box (or radio button, to check it)
    // Selects (or, in a multiple-selection list, deselects) the entry with this text of a list,
    // drop-down list, tab bar or tree (an entry whose folder is expanded).
    void select(HWND control, const std::u16string& entry, bool selected = true);
    void setText(HWND edit, const std::u16string& text);  // replaces what an edit holds
    void slide(HWND trackbar, int position);              // drags a slider's thumb

    // Presses the button (IDOK, IDYES, IDNO, ...) of the message box that is up.
    void answer(int buttonId);
    // Checks that a message box is up with this caption and (when given) text containing
    // textPart, presses buttonId, and returns what the box showed.
    MessageBoxInfo answerBox(const std::u16string& caption, const std::u16string& textPart,
                             int buttonId);

    // Queries (while the program waits).
    HWND find(const Query& query) const;  // nullptr when nothing matches
    HWND findId(int controlId) const;
    HWND findText(const std::u16string& text) const;
    std::optional<MessageBoxInfo> messageBox() const;  // the topmost box that is up
    HWND activeWindow() const;                         // the active top-level window
    std::u16string navTitle() const;                   // title shown in the navigation bar
    std::u16string describeScreen() const;             // the visible windows, for messages
    // A window as messages name it: its kind, text and ID ("check box \"Remember\" id=202").
    static std::string describe(HWND window);
    void screenshot(const std::string& pngPath) const;

    // Steps the driver stops the program with when it is destroyed while the program waits.
    // (Used by tests that end with the program still running.)
    void stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ce::test
