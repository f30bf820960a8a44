// The menu engine in a real shell menu: the flag filter, the entries the
// handler adds, command dispatch and help texts, lazy submenus and their
// cleaning, the item table, and right-clicks inside the open menu.
#include <gtest/gtest.h>

#include <cstring>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"
#include "shellext/GotoFavorite.h"
#include "shellext/MenuEngine.h"
#include "shellext/ThreadMenuState.h"

using namespace ShellExt;

namespace QuelvarTest {
// Names the routing in test listings.
inline void PrintTo(MessageRouting routing, std::ostream* out) {
    *out << (routing == MessageRouting::HooksOnly ? "HooksOnly" : "ForwardToHandler");
}
}  // namespace QuelvarTest

using namespace QuelvarTest;
using EngineTest::Calls;
using EngineTest::FilledSubmenu;
using EngineTest::Item;

namespace {

constexpr HRESULT Count(int used) { return MAKE_HRESULT(SEVERITY_SUCCESS, 0, used); }

class MenuEngineTest : public EngineTest::EngineFixture {
protected:
    std::wstring Folder() const { return engine_.DataFolder().substr(0, engine_.DataFolder().size() - 1); }
    static int IndexOf(const ShellHost::Entry& entry) { return MenuEngine::IndexOf(entry.data); }
    static ThreadMenuState& State() { return EngineScope::State(); }
    static int LiveItems() {
        const auto& table = State().itemTable;
        return static_cast<int>(
            std::count_if(table.begin(), table.end(), [](const auto& slot) { return !!slot.item; }));
    }
};

// QueryContextMenu on a fresh popup menu; returns the HRESULT and the entries added.
HRESULT QueryOnFreshMenu(IContextMenu* handler, UINT flags, int* added) {
    Lumo::Win::UniqueMenu menu(::CreatePopupMenu());
    HRESULT hr = handler->QueryContextMenu(menu.get(), 0, 100, 200, flags);
    *added = ::GetMenuItemCount(menu.get());
    return hr;
}

TEST_F(MenuEngineTest, FlagFilterBeforeAndAfterTheFirstTopLevelMenuWindow) {
    ShellHost host;
    host.CreateHandler();
    ASSERT_EQ(S_OK, host.InitializeBackground(Folder()));
    ASSERT_TRUE(State().noMenuWindowYet);
    int added = -1;
    // Default-only and verbs-only requests: nothing, whatever else is set.
    for (UINT flags : std::vector<UINT>{CMF_DEFAULTONLY, CMF_VERBSONLY, CMF_DEFAULTONLY | CMF_CANRENAME,
                                        CMF_VERBSONLY | 0x20000u}) {
        EXPECT_EQ(Count(0), QueryOnFreshMenu(host.Handler(), flags, &added)) << flags;
        EXPECT_EQ(0, added) << flags;
    }
    // No menu window yet on this thread: these three are refused...
    for (UINT flags : std::vector<UINT>{CMF_NORMAL, CMF_EXPLORE, 0x10020u}) {
        EXPECT_EQ(E_INVALIDARG, QueryOnFreshMenu(host.Handler(), flags, &added)) << flags;
        EXPECT_EQ(0, added) << flags;
    }
    // ...unless 0x20000 or CMF_CANRENAME says a real shell view asks; others pass.
    for (UINT flags : std::vector<UINT>{CMF_CANRENAME, 0x20000u, CMF_EXPLORE | 0x20000u,
                                        CMF_EXPLORE | CMF_CANRENAME, 0x10030u, CMF_NOVERBS, CMF_NODEFAULT}) {
        EXPECT_EQ(Count(1), QueryOnFreshMenu(host.Handler(), flags, &added)) << flags;
        EXPECT_EQ(3, added) << flags;
    }
    // A top-level popup menu window (no parent, as Windows creates them) lifts the filter.
    Lumo::Win::UniqueWindow menuWindow(::CreateWindowExW(WS_EX_TOOLWINDOW, L"#32768", L"", WS_POPUP, 0, 0, 10,
                                                         10, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                                                         nullptr));
    ASSERT_TRUE(menuWindow);
    menuWindow.reset();
    EXPECT_FALSE(State().noMenuWindowYet);
    for (UINT flags : std::vector<UINT>{CMF_NORMAL, CMF_EXPLORE, 0x10020u}) {
        EXPECT_EQ(Count(1), QueryOnFreshMenu(host.Handler(), flags, &added)) << flags;
        EXPECT_EQ(3, added) << flags;
    }
    EXPECT_EQ(Count(0), QueryOnFreshMenu(host.Handler(), CMF_DEFAULTONLY, &added));
    EXPECT_EQ(0, added);
}

// A thread hooked late (its first handler comes while its menu window is
// already open, or after the module took every hook out) judges by the menu
// windows it shows now, not by what its watcher saw before it went.
TEST_F(MenuEngineTest, AThreadHookedLateJudgesByTheMenuWindowsItShowsNow) {
    auto menuWindow = [] {
        return Lumo::Win::UniqueWindow(::CreateWindowExW(WS_EX_TOOLWINDOW, L"#32768", L"", WS_POPUP, 0, 0, 10,
                                                         10, nullptr, nullptr, nullptr, nullptr));
    };
    for (const bool openBefore : {true, false}) {
        std::thread([&] {
            if (!openBefore) {  // a BROWSEUI menu seen open, then every hook out before it closes
                ShellHost earlier;
                earlier.CreateHandler();
                Lumo::Win::UniqueWindow seen = menuWindow();
                State().outsideBrowseUiMenu = false;
                State().browseUiMenuWindow = seen.get();
                if (HMODULE pin = ThreadStates::Instance()->UnhookAll()) ::FreeLibrary(pin);
            }
            Lumo::Win::UniqueWindow open = openBefore ? menuWindow() : Lumo::Win::UniqueWindow();
            ShellHost host;
            host.CreateHandler();
            EXPECT_EQ(S_OK, host.InitializeBackground(Folder())) << openBefore;
            int added = -1;
            EXPECT_EQ(openBefore ? Count(1) : E_INVALIDARG,
                      QueryOnFreshMenu(host.Handler(), CMF_NORMAL, &added));
        }).join();
    }
}

TEST_F(MenuEngineTest, AddsSeparatorQuelvarSeparatorAndUsesOneIdentifier) {
    ShellHost host;
    host.CreateHandler();
    ASSERT_EQ(S_OK, host.InitializeBackground(Folder()));
    ASSERT_EQ(Count(1), host.QueryContextMenu(CMF_CANRENAME, 1));
    auto entries = host.Entries(host.Menu());
    ASSERT_EQ(5u, entries.size());
    EXPECT_EQ(L"&Open", entries[0].Label());
    EXPECT_TRUE(entries[1].Separator());
    EXPECT_TRUE(entries[3].Separator());
    EXPECT_EQ(L"P&roperties", entries[4].Label());

    const auto& quelvar = entries[2];
    EXPECT_TRUE(quelvar.Own());
    EXPECT_TRUE(quelvar.type & MFT_OWNERDRAW);
    EXPECT_EQ(host.FirstCommandId(), quelvar.id);
    EXPECT_EQ(host.FirstCommandId(), host.Object()->FirstCommandId());
    ASSERT_TRUE(quelvar.item);
    EXPECT_EQ(3, quelvar.item->kind);
    EXPECT_EQ(L"Quelvar", quelvar.item->label);
    EXPECT_EQ(L"Quelvar v1.5.1.3", quelvar.item->helpText);
    EXPECT_EQ(1, quelvar.item->iconIndex);
    EXPECT_EQ(host.Object(), MenuEngine::HandlerOf(State(), MenuEngine::IndexOf(quelvar.data)));
    EXPECT_EQ(2, host.QuelvarPosition());

    // The submenu waits with the grayed "(Empty)" placeholder of this handler.
    const int root = host.Object()->RootItemIndex();
    ASSERT_NE(-1, root);
    auto placeholder = MenuEngine::GetItem(State(), root);
    ASSERT_TRUE(placeholder);
    EXPECT_EQ(1, placeholder->kind);
    EXPECT_EQ(L"(Empty)", placeholder->label);
    auto inside = host.Entries(quelvar.submenu);
    ASSERT_EQ(1u, inside.size());
    EXPECT_EQ(MenuEngine::ItemData(root), inside[0].data);
    EXPECT_EQ(host.FirstCommandId(), inside[0].id);
    EXPECT_TRUE(inside[0].type & MFT_OWNERDRAW);
    EXPECT_TRUE(inside[0].state & MFS_GRAYED);
}

TEST_F(MenuEngineTest, InvokeCommandRunsOnlyTheCurrentItemAtOffsetZero) {
    FillMainSubmenu({Item(L"Alpha"), Item(L"Beta")});
    ShellHost host;
    ShowContextMenu(host);
    // Nothing highlighted yet: offset 0 does nothing and succeeds.
    EXPECT_EQ(S_OK, host.Invoke(0));
    EXPECT_TRUE(Calls().empty());

    HMENU main = host.OpenQuelvarSubmenu();
    ASSERT_EQ((std::vector<std::wstring>{L"", L"Alpha", L"Beta"}), host.Labels(main));
    host.Draw(main, 2, ODS_SELECTED, 200, 20);
    host.CloseAll();
    EXPECT_EQ(E_INVALIDARG, host.InvokeVerb("open"));
    EXPECT_EQ(E_INVALIDARG, host.InvokeVerb("Beta"));
#if defined(_WIN64)
    // A verb string whose address has bits 16-31 clear is still a string (only a 64-bit process has such
    // addresses above the first 64 KiB).
    bool placed = false;
    for (ULONG_PTR base = 0x100000000ull; !placed && base <= 0x700000000ull; base += 0x100000000ull) {
        void* page =
            ::VirtualAlloc(reinterpret_cast<void*>(base), 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (!page) continue;
        ASSERT_EQ(0u, (reinterpret_cast<ULONG_PTR>(page) >> 16) & 0xFFFF);
        std::memcpy(page, "open", 5);
        EXPECT_EQ(E_INVALIDARG, host.InvokeVerb(static_cast<const char*>(page)));
        ::VirtualFree(page, 0, MEM_RELEASE);
        placed = true;
    }
    EXPECT_TRUE(placed);
#endif
    EXPECT_EQ(S_OK, host.Invoke(3));
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(S_OK, host.Invoke(0));
    EXPECT_EQ(std::vector<std::wstring>{L"execute:Beta"}, Calls());
}

TEST_F(MenuEngineTest, CommandStringAnswersWithTheHelpTextOfTheHighlightedEntry) {
    FillMainSubmenu({Item(L"Alpha"), Item(L"Beta")});
    ShellHost host;
    ShowContextMenu(host);
    std::wstring text;
    EXPECT_EQ(E_INVALIDARG, host.CommandString(GCS_HELPTEXTW, &text));

    HMENU main = host.OpenQuelvarSubmenu();
    host.Draw(main, 1, ODS_SELECTED, 200, 20);
    for (UINT type : {GCS_HELPTEXTA, GCS_HELPTEXTW, GCS_VERBW, GCS_VALIDATEW}) {
        text.clear();
        EXPECT_EQ(S_OK, host.CommandString(type, &text)) << type;
        EXPECT_EQ(L"Help of Alpha", text) << type;
    }
    for (UINT type : {GCS_VERBA, GCS_VALIDATEA})
        EXPECT_EQ(E_INVALIDARG, host.CommandString(type, &text)) << type;
    // The buffer size is respected, wide and ANSI.
    EXPECT_EQ(S_OK, host.CommandString(GCS_HELPTEXTW, &text, 5));
    EXPECT_EQ(L"Help", text);
    EXPECT_EQ(S_OK, host.CommandString(GCS_HELPTEXTA, &text, 5));
    EXPECT_EQ(L"Help", text);
    // Drawing an entry unselected does not make it current.
    host.Draw(main, 2, 0, 200, 20);
    EXPECT_EQ(L"Help of Alpha", host.HelpText());
    // The Quelvar entry's own status text.
    host.Draw(host.Menu(), host.QuelvarPosition(), ODS_SELECTED, 200, 20);
    EXPECT_EQ(L"Quelvar v1.5.1.3", host.HelpText());
}

// A user opens the menu, moves to an entry and closes everything with Escape:
// the shell then asks for the status text of what was last highlighted.
class RealMenuLoop : public MenuEngineTest, public ::testing::WithParamInterface<MessageRouting> {};

TEST_P(RealMenuLoop, HelpTextOfTheLastHighlightedEntrySurvivesEscape) {
    FillMainSubmenu({Item(L"Alpha"), Item(L"Beta"), Item(L"Gamma")});
    // Hosts that forward nothing rely on the hooks, which draw entries whose identifier is 0.
    ShellHost host(GetParam(), GetParam() == MessageRouting::HooksOnly ? 0 : 100);
    ShowContextMenu(host);
    HMENU main = host.QuelvarSubmenu();
    const UINT quelvar = host.QuelvarPosition();
    std::wstring whileOpen;
    bool betaHighlighted = false;
    UINT result = host.TrackMenu({
        host.Hover(host.Menu(), quelvar),
        host.Key(VK_RIGHT),
        host.Hover(main, 2),
        ShellHost::Do([&] {
            betaHighlighted = (::GetMenuState(main, 2, MF_BYPOSITION) & MF_HILITE) != 0;
            whileOpen = host.HelpText();
        }),
        host.Key(VK_ESCAPE),
        host.Key(VK_ESCAPE),
    });
    EXPECT_FALSE(host.LoopForcedToEnd());
    EXPECT_EQ(0u, result);
    EXPECT_TRUE(betaHighlighted);
    EXPECT_EQ(L"Help of Beta", whileOpen);
    EXPECT_EQ(L"Help of Beta", host.HelpText());
    std::wstring ansi;
    EXPECT_EQ(S_OK, host.CommandString(GCS_HELPTEXTA, &ansi));
    EXPECT_EQ(L"Help of Beta", ansi);
    // The submenu was filled through the real loop.
    EXPECT_EQ((std::vector<std::wstring>{L"", L"Alpha", L"Beta", L"Gamma"}), host.Labels(main));
    EXPECT_TRUE(Calls().empty());
}

TEST_P(RealMenuLoop, ClickingAnEntryInvokesIt) {
    FillMainSubmenu({Item(L"Alpha"), Item(L"Beta")});
    ShellHost host(GetParam(), GetParam() == MessageRouting::HooksOnly ? 0 : 100);
    ShowContextMenu(host);
    HMENU main = host.QuelvarSubmenu();
    UINT result = host.TrackMenu({
        host.Hover(host.Menu(), host.QuelvarPosition()),
        host.Key(VK_RIGHT),
        host.Hover(main, 1),
        host.Click(main, 1),
    });
    EXPECT_FALSE(host.LoopForcedToEnd());
    ASSERT_EQ(host.FirstCommandId(), result);
    ASSERT_EQ(S_OK, host.Invoke(result - host.FirstCommandId()));
    EXPECT_EQ(std::vector<std::wstring>{L"execute:Alpha"}, Calls());
}

INSTANTIATE_TEST_SUITE_P(Routing, RealMenuLoop,
                         ::testing::Values(MessageRouting::ForwardToHandler, MessageRouting::HooksOnly),
                         [](const auto& info) {
                             return info.param == MessageRouting::HooksOnly ? "HooksOnly" : "Forwarding";
                         });

TEST_F(MenuEngineTest, ReopeningKeepsASubmenuWhileASiblingResetsItToEmpty) {
    auto first = FilledSubmenu(L"First", L"F", 3);
    auto second = FilledSubmenu(L"Second", L"S", 2);
    FillMainSubmenu({first, second});
    ShellHost host;
    ShowContextMenu(host);
    const int root = host.Object()->RootItemIndex();

    HMENU main = host.OpenQuelvarSubmenu();
    ASSERT_EQ((std::vector<std::wstring>{L"", L"First", L"Second"}), host.Labels(main));
    HMENU firstPopup = host.OpenSubmenu(main, 1);
    auto filled = host.Entries(firstPopup);
    ASSERT_EQ((std::vector<std::wstring>{L"F 1", L"F 2", L"F 3"}), host.Labels(firstPopup));
    host.SendUninitMenuPopup(firstPopup);

    // The same submenu again: same entries, same items, no second fill.
    host.OpenSubmenu(main, 1);
    auto again = host.Entries(firstPopup);
    ASSERT_EQ(filled.size(), again.size());
    for (size_t i = 0; i < filled.size(); ++i) {
        EXPECT_EQ(filled[i].data, again[i].data);
        EXPECT_EQ(filled[i].item, again[i].item);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"fill:First"}), Calls());
    host.SendUninitMenuPopup(firstPopup);

    // A sibling opens: the first submenu goes back to its placeholder and its items leave the table.
    const size_t tableSize = State().itemTable.size();
    HMENU secondPopup = host.OpenSubmenu(main, 2);
    EXPECT_EQ((std::vector<std::wstring>{L"S 1", L"S 2"}), host.Labels(secondPopup));
    auto reset = host.Entries(firstPopup);
    ASSERT_EQ(1u, reset.size());
    EXPECT_EQ(MenuEngine::ItemData(root), reset[0].data);
    EXPECT_TRUE(reset[0].state & MFS_GRAYED);
    EXPECT_TRUE(reset[0].type & MFT_OWNERDRAW);
    EXPECT_EQ(L"(Empty)", reset[0].Label());
    // The released slots were reused for the sibling's items: the table did not grow.
    std::set<int> freed;
    for (const auto& entry : filled) freed.insert(IndexOf(entry));
    for (const auto& entry : host.Entries(secondPopup)) {
        EXPECT_TRUE(freed.count(IndexOf(entry))) << IndexOf(entry);
        freed.erase(IndexOf(entry));
    }
    EXPECT_EQ(tableSize, State().itemTable.size());
    for (int index : freed) EXPECT_FALSE(MenuEngine::GetItem(State(), index)) << "slot " << index << " kept";
    host.SendUninitMenuPopup(secondPopup);

    // Opened again, the first submenu is filled afresh.
    host.OpenSubmenu(main, 1);
    EXPECT_EQ((std::vector<std::wstring>{L"F 1", L"F 2", L"F 3"}), host.Labels(firstPopup));
    EXPECT_EQ((std::vector<std::wstring>{L"fill:First", L"fill:Second", L"fill:First"}), Calls());
    EXPECT_NE(filled[1].item, host.Entries(firstPopup)[1].item);
    host.CloseAll();
}

// A host that shows the same context menu twice (one handler, two menu
// loops) must see the main submenu once, not its entries twice.
TEST_F(MenuEngineTest, ASecondMenuLoopShowsTheFilledSubmenuOnce) {
    FillMainSubmenu({Item(L"Alpha"), Item(L"Beta")});
    ShellHost host;
    ShowContextMenu(host);
    HMENU main = host.QuelvarSubmenu();
    const std::vector<ShellHost::Step> openAndClose{host.Hover(host.Menu(), host.QuelvarPosition()),
                                                    host.Key(VK_RIGHT), host.Key(VK_ESCAPE),
                                                    host.Key(VK_ESCAPE)};
    host.TrackMenu(openAndClose);
    ASSERT_EQ((std::vector<std::wstring>{L"", L"Alpha", L"Beta"}), host.Labels(main));
    const int liveAfterFirst = LiveItems();
    host.TrackMenu(openAndClose);
    EXPECT_FALSE(host.LoopForcedToEnd());
    EXPECT_EQ((std::vector<std::wstring>{L"", L"Alpha", L"Beta"}), host.Labels(main));
    EXPECT_EQ(liveAfterFirst, LiveItems());
}

TEST_F(MenuEngineTest, FreedSlotsAreReusedLastFreedFirst) {
    ThreadMenuState state;
    std::vector<int> indexes;
    for (int i = 0; i < 5; ++i) indexes.push_back(MenuEngine::RegisterItem(state, Item(L"x"), nullptr));
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), indexes);
    MenuEngine::ReleaseItem(state, 1);
    MenuEngine::ReleaseItem(state, 3);
    MenuEngine::ReleaseItem(state, 2);
    MenuEngine::ReleaseItem(state, 2);  // already empty: no second free entry
    EXPECT_FALSE(MenuEngine::GetItem(state, 2));
    EXPECT_EQ(2, MenuEngine::RegisterItem(state, Item(L"a"), nullptr));
    EXPECT_EQ(3, MenuEngine::RegisterItem(state, Item(L"b"), nullptr));
    EXPECT_EQ(1, MenuEngine::RegisterItem(state, Item(L"c"), nullptr));
    EXPECT_EQ(5, MenuEngine::RegisterItem(state, Item(L"d"), nullptr));
    EXPECT_EQ(L"c", MenuEngine::GetItem(state, 1)->label);

    // A placeholder is never released.
    auto holder = std::make_shared<EmptyHolder>();
    int held = MenuEngine::RegisterItem(state, holder, nullptr);
    MenuEngine::ReleaseItem(state, held);
    EXPECT_EQ(holder, MenuEngine::GetItem(state, held));
    EXPECT_TRUE(state.freeSlots.empty());
    // Out-of-range indexes are ignored.
    MenuEngine::ReleaseItem(state, -1);
    MenuEngine::ReleaseItem(state, 1000);
    EXPECT_FALSE(MenuEngine::GetItem(state, 1000));
    EXPECT_FALSE(MenuEngine::GetItem(state, -1));
}

// A host may hand the handler to another thread and release it there: the
// record of the thread that made it is emptied all the same, and that
// thread's later menu messages reach nothing of the dead handler, also while
// another handler keeps the thread's hooks in.
TEST_F(MenuEngineTest, HandlerDeathEmptiesItsSlotsAndRemovesTheHooks) {
    for (const bool releasedElsewhere : {false, true}) {
        SCOPED_TRACE(releasedElsewhere ? "released on another thread" : "released on its own thread");
        FillMainSubmenu({FilledSubmenu(L"First", L"F", 2)});
        ShellHost host;
        ShowContextMenu(host);
        HMENU main = host.OpenQuelvarSubmenu();
        HMENU first = host.OpenSubmenu(main, 1);
        host.Draw(main, 1, ODS_SELECTED, 200, 20);
        host.CloseAll();
        EXPECT_NE(-1, State().currentItem);
        EXPECT_TRUE(State().callWndProcHook);
        EXPECT_TRUE(State().msgFilterHook);
        EXPECT_LT(0, LiveItems());
        if (releasedElsewhere) {
            host.Handler()->AddRef();
            auto handedOver = Lumo::Win::ComPtr<IContextMenu3>::Attach(host.Handler());
            host.ReleaseHandler();
            std::thread([&] { handedOver.reset(); }).join();
        } else {
            host.ReleaseHandler();
        }
        EXPECT_EQ(0, LiveItems());
        EXPECT_EQ(-1, State().currentItem);
        EXPECT_FALSE(State().callWndProcHook);
        EXPECT_FALSE(State().msgFilterHook);
        EXPECT_TRUE(State().liveHandlers.empty());
        EXPECT_EQ(State().itemTable.size(), State().freeSlots.size());

        ShellHost other;
        other.CreateHandler();
        Calls().clear();
        host.SendInitMenuPopup(host.Menu(), 0);
        host.SendInitMenuPopup(main, static_cast<UINT>(host.QuelvarPosition()));
        host.SendInitMenuPopup(first, 1);
        host.CloseAll();
        EXPECT_TRUE(Calls().empty()) << "a menu message reached an item of the released handler";
        EXPECT_EQ(0, LiveItems());
        EXPECT_EQ(-1, State().currentItem);
    }
}

// Right-clicks inside the open menu belong to the handler while one lives on the thread.
TEST_F(MenuEngineTest, RightClicksAreSwallowedAndOpenOneItemMenuAtATime) {
    ShellHost host;
    int showing = -1;
    int reentered = 0;
    auto alpha = Item(L"Alpha");
    alpha->itemMenu = [&](HWND window) {
        showing = MenuEngine::ItemMenuShowing() ? 1 : 0;
        // The menu window of the loop, owned by the host.
        wchar_t className[16] = {};
        ::GetClassNameW(window, className, 16);
        EXPECT_EQ(std::wstring(L"#32768"), className);
        EXPECT_EQ(host.Window(), ::GetParent(window));
        // A second right-click on the same entry while this item menu shows.
        RECT rect = host.EntryRect(host.QuelvarSubmenu(), 1);
        POINT point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        for (UINT message : {WM_RBUTTONDOWN, WM_RBUTTONUP}) {
            MSG msg{host.Window(),
                    message,
                    0,
                    MAKELPARAM(point.x, point.y),
                    static_cast<DWORD>(::GetMessageTime()),
                    point};
            if (message == WM_RBUTTONUP)
                reentered += ::CallMsgFilterW(&msg, MSGF_MENU) ? 1 : 0;
            else
                ::CallMsgFilterW(&msg, MSGF_MENU);
        }
    };
    FillMainSubmenu({alpha, Item(L"Beta")});
    ShowContextMenu(host);
    HMENU main = host.QuelvarSubmenu();

    // A foreign entry: the release is consumed, so the loop does not choose it.
    UINT result = host.TrackMenu({host.RightClick(host.Menu(), 0), host.Key(VK_ESCAPE)});
    EXPECT_FALSE(host.LoopForcedToEnd());
    EXPECT_EQ(0u, result);
    EXPECT_TRUE(Calls().empty());

    // An own entry opens its item menu once, even when right-clicked again while it shows.
    result = host.TrackMenu({
        host.Hover(host.Menu(), host.QuelvarPosition()),
        host.Key(VK_RIGHT),
        host.RightClick(main, 1),
        host.RightClick(main, 2),
        host.Key(VK_ESCAPE),
        host.Key(VK_ESCAPE),
    });
    EXPECT_FALSE(host.LoopForcedToEnd());
    EXPECT_EQ(0u, result);
    EXPECT_EQ((std::vector<std::wstring>{L"itemmenu:Alpha", L"itemmenu:Beta"}), Calls());
    EXPECT_EQ(1, showing);
    EXPECT_EQ(1, reentered);  // consumed, and no second item menu
    EXPECT_FALSE(MenuEngine::ItemMenuShowing());

    // Without a live handler the hooks are gone and the shell's menu behaves as usual.
    host.ReleaseHandler();
    Calls().clear();
    result = host.TrackMenu({host.RightClick(host.Menu(), 0), host.Key(VK_ESCAPE)});
    EXPECT_EQ(ShellHost::kOpenCommand, result);
}

}  // namespace
