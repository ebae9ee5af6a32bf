// The test driver's steps that set a control's state (check, select, set, slide). Each reads the
// control first and acts only when the state differs, through the same taps, drags and keys a
// person would use, then reads the control again: a program that refuses the change (a check box
// it does not tick, an edit too narrow for the text) is reported, never papered over.
#include "gwes/driver.h"

#include "gwes/entries.h"
#include "gwes/gwes.h"

#include <commctrl.h>

#include <algorithm>

namespace ce::test {

namespace {

std::string quote(std::u16string_view s) {
    return "\"" + gwes::utf8(s) + "\"";
}

std::u16string classOf(HWND h) {
    return gwes::classNameOf(h);
}

std::u16string textOf(HWND h) {
    return gwes::windowTextOf(h);
}

DWORD buttonType(HWND h) {
    return static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)) & BS_TYPEMASK;
}

bool isCheckBox(HWND h) {
    switch (buttonType(h)) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
            return true;
        default:
            return false;
    }
}

bool isRadio(HWND h) {
    DWORD type = buttonType(h);
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

std::string kindOf(HWND h) {
    std::u16string cls = classOf(h);
    if (cls == u"button") {
        if (isCheckBox(h))
            return "check box";
        if (isRadio(h))
            return "radio button";
        return buttonType(h) == BS_GROUPBOX ? "group box" : "push button";
    }
    static const std::pair<const char16_t*, const char*> kinds[] = {
        {u"edit", "edit"},          {u"listbox", "list"},
        {u"combolbox", "list"},     {u"combobox", "drop-down list"},
        {u"static", "label"},       {u"systabcontrol32", "tab bar"},
        {u"systreeview32", "tree"}, {u"msctls_trackbar32", "slider"},
    };
    for (const auto& [name, kind] : kinds)
        if (cls == name)
            return kind;
    return gwes::utf8(cls);
}

// An entry of a control: its index (a tree's HTREEITEM) and text.
struct Item {
    INT_PTR index;
    std::u16string text;
};

std::vector<Item> listItems(HWND h, bool combo) {
    std::vector<Item> out;
    int n = static_cast<int>(SendMessageW(h, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) out.push_back({i, gwes::listEntryText(h, i, combo)});
    return out;
}

std::vector<Item> tabItems(HWND h) {
    std::vector<Item> out;
    int n = static_cast<int>(SendMessageW(h, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) out.push_back({i, gwes::tabEntryText(h, i)});
    return out;
}

// The entries of a tree a person can see: those whose parents are all expanded.
std::vector<Item> treeItems(HWND h) {
    std::vector<Item> out;
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(h, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    for (int guard = 0; item && guard < 5000; ++guard) {
        out.push_back({reinterpret_cast<INT_PTR>(item), gwes::treeEntryText(h, item)});
        item = reinterpret_cast<HTREEITEM>(
            SendMessageW(h, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, reinterpret_cast<LPARAM>(item)));
    }
    return out;
}

const Item* findItem(const std::vector<Item>& items, const std::u16string& text) {
    auto it =
        std::find_if(items.begin(), items.end(), [&](const Item& i) { return i.text == text; });
    return it == items.end() ? nullptr : &*it;
}

// "(it has: "a" "b" ...)", at most ten entries.
std::string listing(const std::vector<Item>& items, const char* verb) {
    std::string s = std::string(" (it ") + verb + ":";
    if (items.empty())
        s += " nothing";
    for (size_t i = 0; i < items.size() && i < 10; ++i) s += " " + quote(items[i].text);
    if (items.size() > 10)
        s += " and " + std::to_string(items.size() - 10) + " more";
    return s + ")";
}

void requireEnabled(HWND h) {
    if (!IsWindowEnabled(h))
        throw DriverError(Driver::describe(h) + " is disabled");
}

}  // namespace

std::string Driver::describe(HWND window) {
    if (!IsWindow(window))
        return "a window that is gone";
    std::string s = kindOf(window);
    std::u16string text = textOf(window);
    std::u16string cls = classOf(window);
    // the text of edits, lists and drop-down lists is what they hold, not a name
    if (!text.empty() && cls != u"edit" && cls != u"combobox" && cls != u"listbox")
        s += " " + quote(text);
    if (GetParent(window))
        s += " id=" + std::to_string(GetDlgCtrlID(window));
    return s;
}

void Driver::setCheck(HWND box, bool checked) {
    if (classOf(box) != u"button" || !(isCheckBox(box) || isRadio(box)))
        throw DriverError(describe(box) + " is not a check box");
    auto state = [box] { return SendMessageW(box, BM_GETCHECK, 0, 0); };
    const LRESULT want = checked ? BST_CHECKED : BST_UNCHECKED;
    if (state() == want)
        return;
    requireEnabled(box);
    if (isRadio(box) && !checked)
        throw DriverError(describe(box) + " is a radio button: it is cleared by choosing another");
    // A three-state box passes through its third state; two taps reach any state.
    for (int taps = 0; taps < 2 && state() != want; ++taps) tap(box);
    if (state() != want)
        throw DriverError(describe(box) + " is still " +
                          (state() == BST_CHECKED         ? "checked"
                           : state() == BST_INDETERMINATE ? "greyed"
                                                          : "not checked") +
                          " after a tap");
}

void Driver::select(HWND control, const std::u16string& entry, bool selected) {
    const std::u16string cls = classOf(control);
    const std::string what = describe(control);
    auto missing = [&](const std::vector<Item>& items, const char* verb) {
        return DriverError(quote(entry) + " is not an entry of " + what + listing(items, verb));
    };
    auto onlyOne = [&] {
        return DriverError(what +
                           " keeps one entry selected: deselect works in multiple-"
                           "selection lists only");
    };
    if (cls == u"listbox") {
        const bool multiple =
            (GetWindowLongW(control, GWL_STYLE) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
        auto items = listItems(control, false);
        const Item* item = findItem(items, entry);
        if (!item)
            throw missing(items, "has");
        if (!multiple && !selected)
            throw onlyOne();
        const INT_PTR index = item->index;
        auto isSelected = [&] {
            return multiple ? SendMessageW(control, LB_GETSEL, static_cast<WPARAM>(index), 0) > 0
                            : SendMessageW(control, LB_GETCURSEL, 0, 0) == index;
        };
        if (isSelected() == selected)
            return;
        requireEnabled(control);
        tapEntry(control, index);  // a tap toggles an entry of a multiple-selection list
        if (isSelected() != selected)
            throw DriverError(quote(entry) + " of " + what + " is still " +
                              (selected ? "not selected" : "selected") + " after a tap");
    } else if (cls == u"combobox") {
        auto items = listItems(control, true);
        const Item* item = findItem(items, entry);
        if (!item)
            throw missing(items, "has");
        if (!selected)
            throw onlyOne();
        const INT_PTR index = item->index;
        if (SendMessageW(control, CB_GETCURSEL, 0, 0) == index)
            return;
        requireEnabled(control);
        tap(control);  // drops the list down
        Query dropped;
        dropped.className = u"ComboLBox";
        HWND list = find(dropped);
        if (!list || !SendMessageW(control, CB_GETDROPPEDSTATE, 0, 0))
            throw DriverError(what + " did not drop its list down when tapped");
        tapEntry(list, index);
        if (SendMessageW(control, CB_GETCURSEL, 0, 0) != index)
            throw DriverError(what + " shows " + quote(textOf(control)) + " after choosing " +
                              quote(entry));
    } else if (cls == u"systabcontrol32" || cls == u"systreeview32") {
        const bool tree = cls == u"systreeview32";
        auto items = tree ? treeItems(control) : tabItems(control);
        const Item* item = findItem(items, entry);
        if (!item)
            throw missing(items, tree ? "shows" : "has");
        if (!selected)
            throw onlyOne();
        const INT_PTR index = item->index;
        auto current = [&] {
            return tree ? SendMessageW(control, TVM_GETNEXTITEM, TVGN_CARET, 0) == index
                        : SendMessageW(control, TCM_GETCURSEL, 0, 0) == index;
        };
        if (current())
            return;
        requireEnabled(control);
        tapEntry(control, index);
        if (!current())
            throw DriverError(quote(entry) + " of " + what + " is not selected after a tap");
    } else {
        throw DriverError(what +
                          " has no entries to select: select takes a list, a drop-down list, a "
                          "tab bar or a tree");
    }
}

void Driver::setText(HWND edit, const std::u16string& text) {
    if (classOf(edit) != u"edit")
        throw DriverError(describe(edit) + " is not an edit");
    if (textOf(edit) == text)
        return;
    requireEnabled(edit);
    if (GetWindowLongW(edit, GWL_STYLE) & ES_READONLY)
        throw DriverError(describe(edit) + " is read-only");
    // focus it, select what it holds and type over it
    tap(edit);
    key(VK_HOME);
    key(VK_SHIFT, VK_END);
    key(VK_DELETE);
    type(text);
    std::u16string now = textOf(edit);
    if (now != text)
        throw DriverError(describe(edit) + " reads " + quote(now) + " after typing " + quote(text));
}

void Driver::slide(HWND trackbar, int position) {
    if (classOf(trackbar) != u"msctls_trackbar32")
        throw DriverError(describe(trackbar) + " is not a slider");
    const int lo = static_cast<int>(SendMessageW(trackbar, TBM_GETRANGEMIN, 0, 0));
    const int hi = static_cast<int>(SendMessageW(trackbar, TBM_GETRANGEMAX, 0, 0));
    if (position < lo || position > hi)
        throw DriverError("position " + std::to_string(position) + " is outside the range " +
                          std::to_string(lo) + " to " + std::to_string(hi) + " of " +
                          describe(trackbar));
    auto now = [trackbar] { return static_cast<int>(SendMessageW(trackbar, TBM_GETPOS, 0, 0)); };
    if (now() == position)
        return;
    requireEnabled(trackbar);
    reveal(trackbar);
    // The positions lie evenly along the channel; the thumb is dragged to the one wanted.
    RECT thumb{}, channel{};
    SendMessageW(trackbar, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    SendMessageW(trackbar, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    POINT from{(thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2};
    POINT to{channel.left + static_cast<LONG>(static_cast<long long>(position - lo) *
                                              (channel.right - channel.left) / (hi - lo)),
             from.y};
    ClientToScreen(trackbar, &from);
    ClientToScreen(trackbar, &to);
    int width = GetSystemMetrics(SM_CXSCREEN);
    to.x = std::clamp<LONG>(to.x, 0, width - 1);
    drag(from, to);
    if (now() != position)
        throw DriverError(describe(trackbar) + " stands at " + std::to_string(now()) +
                          " after dragging its thumb to " + std::to_string(position));
}

}  // namespace ce::test
