// "SysTreeView32": sorted siblings, navigation, children answered on request (the folder
// browser's way), expanding with its notifications, selection, and taps on buttons and labels.
#include <map>

#include "harness.h"

namespace ctltest {
namespace {

constexpr UINT kBrowserMask =
    TVIF_TEXT | TVIF_IMAGE | TVIF_PARAM | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;

HTREEITEM insert(HWND tree, HTREEITEM parent, const char16_t* text, HTREEITEM after = TVI_SORT,
                 int children = I_CHILDRENCALLBACK, LPARAM param = -1) {
    TVINSERTSTRUCTW is{};
    is.hParent = parent;
    is.hInsertAfter = after;
    is.item.mask = kBrowserMask;
    is.item.pszText = const_cast<LPWSTR>(text);
    is.item.cChildren = children;
    is.item.lParam = param;
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is)));
}

HTREEITEM next(HWND tree, HTREEITEM item, UINT code) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
}

std::u16string text(HWND tree, HTREEITEM item) {
    WCHAR buffer[64] = {};
    TVITEMW tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = buffer;
    tv.cchTextMax = 64;
    if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)))
        return u"<FALSE>";
    return buffer;
}

std::vector<std::u16string> children(HWND tree, HTREEITEM parent) {
    std::vector<std::u16string> out;
    for (HTREEITEM i = next(tree, parent, TVGN_CHILD); i; i = next(tree, i, TVGN_NEXT))
        out.push_back(text(tree, i));
    return out;
}

// The folder browser's answer to a children request: insert the folder's subfolders now, then
// store the answer with TVM_SETITEMW from inside the notification.
HWND g_tree = nullptr;
std::map<std::u16string, std::vector<const char16_t*>> g_folders;
int g_requests = 0;

LRESULT browserHook(NMHDR* hdr, bool* handled) {
    if (hdr->code != TVN_GETDISPINFOW)
        return 0;
    auto* info = reinterpret_cast<NMTVDISPINFOW*>(hdr);
    if (!(info->item.mask & TVIF_CHILDREN))
        return 0;
    *handled = true;
    ++g_requests;
    if (info->item.lParam != -1) {
        info->item.cChildren = static_cast<int>(info->item.lParam);
        return 1;
    }
    int n = 0;
    for (const char16_t* sub : g_folders[text(g_tree, info->item.hItem)]) {
        insert(g_tree, info->item.hItem, sub);
        ++n;
    }
    info->item.cChildren = n >= 1 ? 1 : 0;
    info->item.lParam = info->item.cChildren;
    SendMessageW(g_tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&info->item));
    return 1;
}

using TreeViewTest = ControlTest;

// Win32's answers, from a MinGW probe under Wine and the documentation of the messages:
// selecting an item shows it (its parents expand), selecting nothing is allowed; TVM_EXPAND
// answers FALSE for an item without children or an unknown action; TVM_SETINDENT goes no
// lower than the smallest indent; TVM_SETITEMHEIGHT answers the old height, takes 1 for
// anything below it, rounds an odd height down, and -1 gives the natural height back;
// TVM_SETIMAGELIST answers the old list and ignores a kind it does not know. Setters repaint
// what changed: Wine repaints an item already expanded again, and not the text it was given.
TEST_F(TreeViewTest, SettersAnswerAsWin32) {
    HWND tree = child(WC_TREEVIEWW, u"", TVS_HASLINES | TVS_HASBUTTONS, 0, 0, 150, 120, 1);
    HTREEITEM root = insert(tree, TVI_ROOT, u"Root", TVI_LAST, 1);
    HTREEITEM leaf = insert(tree, root, u"Child", TVI_LAST, 0);
    insert(tree, root, u"Child2", TVI_LAST, 0);
    const LRESULT natural = SendMessageW(tree, TVM_GETITEMHEIGHT, 0, 0);
    const auto handle = [](HTREEITEM item) { return reinterpret_cast<LPARAM>(item); };
    const auto state = [&](HTREEITEM selected, UINT rootState) {
        return std::vector<Query>{{TVM_GETNEXTITEM, TVGN_CARET, handle(selected)},
                                  {TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(root),
                                   static_cast<LRESULT>(rootState), 0xFFFF}};
    };
    const UINT opened = TVIS_EXPANDED | TVIS_EXPANDEDONCE;
    TVITEMW label{};
    label.mask = TVIF_TEXT;
    label.hItem = root;
    label.pszText = const_cast<LPWSTR>(u"Top");
    TVITEMW bold{};
    bold.mask = TVIF_STATE;
    bold.hItem = root;
    bold.stateMask = bold.state = TVIS_BOLD;
    TVITEMW nowhere = label;
    nowhere.hItem = nullptr;
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR, 1, 1);
    const auto list = reinterpret_cast<LPARAM>(images);
    runSetterTable(
        tree,
        {
            {"select the root", TVM_SELECTITEM, TVGN_CARET, handle(root), TRUE, Y,
             state(root, TVIS_SELECTED)},
            {"select it again", TVM_SELECTITEM, TVGN_CARET, handle(root), TRUE, N,
             state(root, TVIS_SELECTED)},
            {"select a hidden child: its parent opens", TVM_SELECTITEM, TVGN_CARET, handle(leaf),
             TRUE, Y, state(leaf, opened)},
            {"select nothing", TVM_SELECTITEM, TVGN_CARET, 0, TRUE, Y, state(nullptr, opened)},
            {"unknown code", TVM_SELECTITEM, 0x77, handle(root), TRUE, N, state(nullptr, opened)},
            {"collapse", TVM_EXPAND, TVE_COLLAPSE, handle(root), TRUE, Y,
             state(nullptr, TVIS_EXPANDEDONCE)},
            {"expand", TVM_EXPAND, TVE_EXPAND, handle(root), TRUE, Y, state(nullptr, opened)},
            {"expand again", TVM_EXPAND, TVE_EXPAND, handle(root), TRUE, N, state(nullptr, opened)},
            {"toggle", TVM_EXPAND, TVE_TOGGLE, handle(root), TRUE, Y,
             state(nullptr, TVIS_EXPANDEDONCE)},
            {"no action", TVM_EXPAND, 0, handle(root), FALSE, N, state(nullptr, TVIS_EXPANDEDONCE)},
            {"a leaf does not expand", TVM_EXPAND, TVE_EXPAND, handle(leaf), FALSE, N, {}},
            {"indent 30", TVM_SETINDENT, 30, 0, 0, Y, {{TVM_GETINDENT, 0, 30}}},
            {"indent 30 again", TVM_SETINDENT, 30, 0, 0, N, {{TVM_GETINDENT, 0, 30}}},
            {"indent 0: the smallest", TVM_SETINDENT, 0, 0, 0, Y, {{TVM_GETINDENT, 0, 12}}},
            {"indent -1: the smallest",
             TVM_SETINDENT,
             static_cast<WPARAM>(-1),
             0,
             0,
             N,
             {{TVM_GETINDENT, 0, 12}}},
            {"height 20", TVM_SETITEMHEIGHT, 20, 0, natural, Y, {{TVM_GETITEMHEIGHT, 0, 20}}},
            {"21 rounds down to 20", TVM_SETITEMHEIGHT, 21, 0, 20, N, {{TVM_GETITEMHEIGHT, 0, 20}}},
            {"0 is 1", TVM_SETITEMHEIGHT, 0, 0, 20, Y, {{TVM_GETITEMHEIGHT, 0, 1}}},
            {"-1 is the natural height",
             TVM_SETITEMHEIGHT,
             static_cast<WPARAM>(-1),
             0,
             1,
             Y,
             {{TVM_GETITEMHEIGHT, 0, natural}}},
            {"-5 is 1",
             TVM_SETITEMHEIGHT,
             static_cast<WPARAM>(-5),
             0,
             natural,
             Y,
             {{TVM_GETITEMHEIGHT, 0, 1}}},
            {"text", TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&label), TRUE, Y, {}},
            {"same text", TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&label), TRUE, N, {}},
            {"bold", TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&bold), TRUE, Y,
             state(nullptr, TVIS_EXPANDEDONCE | TVIS_BOLD)},
            {"no item", TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&nowhere), FALSE, N, {}},
            {"image list",
             TVM_SETIMAGELIST,
             TVSIL_NORMAL,
             list,
             0,
             Y,
             {{TVM_GETIMAGELIST, TVSIL_NORMAL, list}}},
            {"a kind it does not know",
             TVM_SETIMAGELIST,
             7,
             0,
             0,
             N,
             {{TVM_GETIMAGELIST, TVSIL_NORMAL, list}}},
            {"no image list",
             TVM_SETIMAGELIST,
             TVSIL_NORMAL,
             0,
             list,
             Y,
             {{TVM_GETIMAGELIST, TVSIL_NORMAL, 0}}},
        });
    ImageList_Destroy(images);
}

TEST_F(TreeViewTest, SortedSiblingsInLstrcmpOrder) {
    HWND tree = child(WC_TREEVIEWW, u"", TVS_HASLINES | TVS_HASBUTTONS, 0, 0, 200, 200, 1);
    ASSERT_NE(tree, nullptr);
    HTREEITEM root = insert(tree, TVI_ROOT, u"\\", TVI_SORT, 1);
    for (const char16_t* name : {u"Windows", u"temp", u"My Documents", u"Temp", u"_cache", u"2007",
                                 u"program-files", u"Programs"})
        insert(tree, root, name);
    // The hyphen has no weight of its own: program-files sorts as programfiles.
    EXPECT_EQ((std::vector<std::u16string>{u"_cache", u"2007", u"My Documents", u"program-files",
                                           u"Programs", u"temp", u"Temp", u"Windows"}),
              children(tree, root));
    EXPECT_EQ(9, SendMessageW(tree, TVM_GETCOUNT, 0, 0));
    // TVI_FIRST and TVI_LAST and after a given sibling ignore the order.
    HTREEITEM z = insert(tree, root, u"zz", TVI_FIRST);
    insert(tree, root, u"aa", TVI_LAST);
    insert(tree, root, u"mid", z);
    const auto kids = children(tree, root);
    EXPECT_EQ(u"zz", kids.front());
    EXPECT_EQ(u"mid", kids[1]);
    EXPECT_EQ(u"aa", kids.back());
}

TEST_F(TreeViewTest, NavigationAndItemData) {
    HWND tree = child(WC_TREEVIEWW, u"", TVS_HASLINES, 0, 0, 200, 200, 1);
    HTREEITEM a = insert(tree, TVI_ROOT, u"a", TVI_LAST, 0, 10);
    HTREEITEM b = insert(tree, TVI_ROOT, u"b", TVI_LAST, 1, 20);
    HTREEITEM b1 = insert(tree, b, u"b1", TVI_LAST, 0, 21);
    EXPECT_EQ(a, next(tree, nullptr, TVGN_ROOT));
    EXPECT_EQ(b, next(tree, a, TVGN_NEXT));
    EXPECT_EQ(nullptr, next(tree, b, TVGN_NEXT));
    EXPECT_EQ(a, next(tree, b, TVGN_PREVIOUS));
    EXPECT_EQ(b, next(tree, b1, TVGN_PARENT));
    EXPECT_EQ(nullptr, next(tree, a, TVGN_PARENT));
    EXPECT_EQ(b1, next(tree, b, TVGN_CHILD));
    EXPECT_EQ(a, next(tree, nullptr, TVGN_FIRSTVISIBLE));
    EXPECT_EQ(nullptr, next(tree, b, TVGN_NEXTVISIBLE));  // b1 is hidden while b is collapsed
    EXPECT_TRUE(SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(b)));
    EXPECT_EQ(b1, next(tree, b, TVGN_NEXTVISIBLE));

    TVITEMW tv{};
    tv.mask = TVIF_PARAM | TVIF_CHILDREN | TVIF_STATE;
    tv.hItem = b;
    tv.stateMask = TVIS_EXPANDED;
    ASSERT_TRUE(SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)));
    EXPECT_EQ(20, tv.lParam);
    EXPECT_EQ(1, tv.cChildren);
    EXPECT_EQ(static_cast<UINT>(TVIS_EXPANDED), tv.state);
    tv.hItem = reinterpret_cast<HTREEITEM>(0x1234);
    EXPECT_FALSE(
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)));  // no such item

    EXPECT_TRUE(SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(b)));
    EXPECT_EQ(1, SendMessageW(tree, TVM_GETCOUNT, 0, 0));
    EXPECT_FALSE(
        SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(b1)));  // gone with b
    const size_t deleted =
        std::count_if(received().begin(), received().end(),
                      [](const Received& r) { return r.code == TVN_DELETEITEMW; });
    EXPECT_EQ(2u, deleted);
}

TEST_F(TreeViewTest, ChildrenAnsweredOnRequestAndKept) {
    HWND tree = child(WC_TREEVIEWW, u"", TVS_HASLINES | TVS_HASBUTTONS, 0, 0, 200, 200, 0);
    g_tree = tree;
    g_requests = 0;
    g_folders = {{u"Windows", {u"Temp", u"Fonts", u"StartUp"}}, {u"Empty", {}}};
    setNotifyHook(browserHook);
    HTREEITEM root = insert(tree, TVI_ROOT, u"\\", TVI_SORT, 1);
    HTREEITEM windows = insert(tree, root, u"Windows");
    HTREEITEM empty = insert(tree, root, u"Empty");

    // Expanding the root shows its folders; painting them asks for their children.
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
    UpdateWindow(tree);
    EXPECT_EQ(2, g_requests);
    EXPECT_EQ((std::vector<std::u16string>{u"Fonts", u"StartUp", u"Temp"}),
              children(tree, windows));
    TVITEMW tv{};
    tv.mask = TVIF_CHILDREN | TVIF_PARAM;
    tv.hItem = empty;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    EXPECT_EQ(0, tv.cChildren);  // the answer stored by TVM_SETITEMW is kept ...
    EXPECT_EQ(-1, tv.lParam);    // ... with the mask asked for: children only
    InvalidateRect(tree, nullptr, TRUE);
    UpdateWindow(tree);
    EXPECT_EQ(2, g_requests);  // ... and never asked again

    // An item whose request answered 0 cannot expand; one that answered 1 can.
    EXPECT_FALSE(SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(empty)));
    EXPECT_TRUE(SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(windows)));
    UpdateWindow(tree);
    EXPECT_EQ(5, g_requests);  // Fonts, StartUp, Temp are shown now
    EXPECT_EQ(6, SendMessageW(tree, TVM_GETCOUNT, 0, 0));
    setNotifyHook(nullptr);
}

TEST_F(TreeViewTest, ExpandNotifiesOnceForTheProgramAndMayBeRefused) {
    HWND tree = child(WC_TREEVIEWW, u"", TVS_HASBUTTONS | TVS_LINESATROOT, 0, 0, 200, 200, 9);
    HTREEITEM a = insert(tree, TVI_ROOT, u"a", TVI_LAST, 1, 0);
    insert(tree, a, u"a1", TVI_LAST, 0, 0);
    received().clear();
    answerNotify(TVN_ITEMEXPANDINGW, TRUE);
    EXPECT_FALSE(SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(a)));
    answerNotify(TVN_ITEMEXPANDINGW, FALSE);
    EXPECT_TRUE(SendMessageW(tree, TVM_EXPAND, TVE_TOGGLE, reinterpret_cast<LPARAM>(a)));
    EXPECT_TRUE(SendMessageW(tree, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(a)));
    EXPECT_TRUE(
        SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(a)));  // expanded once
    EXPECT_TRUE(matches({{WM_NOTIFY, TVN_ITEMEXPANDINGW, 9},
                         {WM_NOTIFY, TVN_ITEMEXPANDINGW, 9},
                         {WM_NOTIFY, TVN_ITEMEXPANDEDW, 9},
                         {WM_NOTIFY, TVN_ITEMEXPANDINGW, 9},
                         {WM_NOTIFY, TVN_ITEMEXPANDEDW, 9}}));
}

TEST_F(TreeViewTest, SelectionNotifiesAndCanBeRefused) {
    HWND tree = child(WC_TREEVIEWW, u"", TVS_HASLINES, 0, 0, 200, 200, 4);
    HTREEITEM a = insert(tree, TVI_ROOT, u"a", TVI_LAST, 1, 0);
    HTREEITEM a1 = insert(tree, a, u"a1", TVI_LAST, 0, 0);
    received().clear();
    EXPECT_TRUE(SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(a1)));
    EXPECT_EQ(a1, next(tree, nullptr, TVGN_CARET));
    EXPECT_EQ(a1, next(tree, a, TVGN_NEXTVISIBLE));  // selecting showed it
    answerNotify(TVN_SELCHANGINGW, TRUE);
    EXPECT_FALSE(SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(a)));
    EXPECT_EQ(a1, next(tree, nullptr, TVGN_CARET));
    std::vector<UINT> codes;
    for (const Received& r : received()) codes.push_back(r.code);
    // Asked first; the new selection's parents then open before the change is reported.
    EXPECT_EQ((std::vector<UINT>{TVN_SELCHANGINGW, TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW,
                                 TVN_SELCHANGEDW, TVN_SELCHANGINGW}),
              codes)
        << describe(received());
    RECT rc{};
    *reinterpret_cast<HTREEITEM*>(&rc) = a1;
    EXPECT_TRUE(SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc)));
    EXPECT_GT(rc.right, rc.left);
    SendMessageW(tree, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(a));
    *reinterpret_cast<HTREEITEM*>(&rc) = a1;
    EXPECT_FALSE(
        SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc)));  // hidden
}

TEST(TreeViewInput, TapOnButtonExpandsTapOnLabelSelects) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    resetRecord();
    HWND tree = nullptr;
    HTREEITEM a = nullptr, b = nullptr;
    ce::test::Driver driver([&] {
        InitCommonControls();
        HWND parent = createParent();
        tree = createChild(parent, WC_TREEVIEWW, u"",
                           TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT, 0, 0, 200, 200, 3);
        a = insert(tree, TVI_ROOT, u"Alpha", TVI_LAST, 1, 0);
        insert(tree, a, u"Child", TVI_LAST, 0, 0);
        b = insert(tree, TVI_ROOT, u"Beta", TVI_LAST, 0, 0);
        return runLoop();
    });
    ASSERT_NE(tree, nullptr);
    RECT label{};
    *reinterpret_cast<HTREEITEM*>(&label) = a;
    ASSERT_TRUE(SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&label)));
    const int mid = (label.top + label.bottom) / 2;
    const int buttonX = static_cast<int>(SendMessageW(tree, TVM_GETINDENT, 0, 0)) / 2 + 2;
    POINT p = screenPoint(tree, buttonX, mid);
    driver.tap(p.x, p.y);
    HTREEITEM child = next(tree, a, TVGN_CHILD);
    EXPECT_EQ(child, next(tree, a, TVGN_NEXTVISIBLE)) << "the button did not expand";
    EXPECT_EQ(nullptr, next(tree, nullptr, TVGN_CARET));  // a button tap selects nothing

    *reinterpret_cast<HTREEITEM*>(&label) = b;
    ASSERT_TRUE(SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&label)));
    p = screenPoint(tree, label.left + 4, (label.top + label.bottom) / 2);
    driver.tap(p.x, p.y);
    EXPECT_EQ(b, next(tree, nullptr, TVGN_CARET));
    driver.tap(screenPoint(tree, buttonX, mid).x, screenPoint(tree, buttonX, mid).y);
    EXPECT_EQ(b, next(tree, a, TVGN_NEXTVISIBLE)) << "the second tap did not collapse";
    std::vector<UINT> codes;
    for (const Received& r : received())
        if (r.message == WM_NOTIFY)
            codes.push_back(r.code);
    EXPECT_EQ((std::vector<UINT>{TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW, TVN_SELCHANGINGW,
                                 TVN_SELCHANGEDW, TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW}),
              codes)
        << describe(received());
    driver.stop();
}

}  // namespace
}  // namespace ctltest
