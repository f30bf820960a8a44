// Many menus in a row leave nothing behind: the item table, GDI objects,
// menus, windows and hooks return to where they started.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "EngineTestSupport.h"
#include "shellext/GotoFavorite.h"
#include "shellext/MenuEngine.h"
#include "shellext/ThreadMenuState.h"

using namespace ShellExt;

using namespace QuelvarTest;
using EngineTest::FilledSubmenu;
using EngineTest::Item;
using EngineTest::TestItem;

namespace {

struct EngineCounts {
    size_t tableSize = 0;
    long liveItems = 0;
    size_t handlers = 0;
    bool callWndProcHook = false;
    bool msgFilterHook = false;
    HHOOK cbtHook = nullptr;
    bool operator==(const EngineCounts& other) const {
        return tableSize == other.tableSize && liveItems == other.liveItems && handlers == other.handlers &&
               callWndProcHook == other.callWndProcHook && msgFilterHook == other.msgFilterHook &&
               cbtHook == other.cbtHook;
    }
};

EngineCounts CountEngine() {
    ThreadMenuState& state = EngineScope::State();
    EngineCounts counts;
    counts.tableSize = state.itemTable.size();
    counts.liveItems = static_cast<long>(std::count_if(state.itemTable.begin(), state.itemTable.end(),
                                                       [](const auto& slot) { return !!slot.item; }));
    counts.handlers = state.liveHandlers.size();
    counts.callWndProcHook = !!state.callWndProcHook;
    counts.msgFilterHook = !!state.msgFilterHook;
    counts.cbtHook = state.cbtHook.get();
    return counts;
}

std::string Describe(const ResourceCounts& counts) {
    return "gdi " + std::to_string(counts.gdiObjects) + ", user " + std::to_string(counts.userObjects) +
           ", menus " + std::to_string(counts.menus) + ", windows " + std::to_string(counts.threadWindows);
}

class LeakTest : public EngineTest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        // Fresh items for every menu, as the real builders make them.
        FillMainSubmenu([](EntryList& builder) {
            builder.AddItem(Item(L"&Alpha", 0, 16, 'a'));
            builder.AddItem(FilledSubmenu(L"First", L"F", 3));
            builder.AddItem(FilledSubmenu(L"Second", L"S", 2));
            builder.AddSeparator();
            builder.AddItem(Item(kLong, OddBase::ItemDisabled));
        });
    }

    // Measures and draws every entry of a menu, the last one highlighted.
    void Paint(ShellHost& host, HMENU menu) {
        const int count = ::GetMenuItemCount(menu);
        for (int position = 0; position < count; ++position) {
            if (::GetMenuState(menu, position, MF_BYPOSITION) & MF_SEPARATOR) continue;
            MEASUREITEMSTRUCT size = host.Measure(menu, position);
            host.Draw(menu, position, position == count - 1 ? ODS_SELECTED : 0,
                      std::max<UINT>(size.itemWidth, 1), std::max<UINT>(size.itemHeight, 1));
        }
    }

    // One context menu as the shell shows it through the message sequence.
    void ShowOneMenu(ShellHost& host) {
        host.ResetMenu();
        ShowContextMenu(host);
        HMENU main = host.OpenQuelvarSubmenu();
        Paint(host, main);
        HMENU first = host.OpenSubmenu(main, 2);
        Paint(host, first);
        host.SendUninitMenuPopup(first);
        HMENU second = host.OpenSubmenu(main, 3);
        Paint(host, second);
        host.SendUninitMenuPopup(second);
        // Back to the first submenu: the pointer passes over its entry, which becomes current.
        host.Draw(main, 2, ODS_SELECTED, 100, 20);
        host.OpenSubmenu(main, 2);
        host.CloseAll();
        host.HelpText();
        host.Invoke(0);
        host.ReleaseHandler();
    }

    static constexpr const wchar_t* kLong =
        L"C:\\A long folder name that needs shortening\\and another one that is long\\End";
};

TEST_F(LeakTest, AThousandMenusThroughTheShellsMessagesLeaveNothingBehind) {
    ShellHost host;
    ShowOneMenu(host);
    ShowOneMenu(host);
    const EngineCounts engineBefore = CountEngine();
    const ResourceCounts before = CountResources();
    for (int i = 0; i < 1000; ++i) {
        ShowOneMenu(host);
        if (::testing::Test::HasFatalFailure()) return;
    }
    const EngineCounts engineAfter = CountEngine();
    const ResourceCounts after = CountResources();
    EXPECT_TRUE(engineBefore == engineAfter)
        << "table " << engineBefore.tableSize << " -> " << engineAfter.tableSize << ", live items "
        << engineBefore.liveItems << " -> " << engineAfter.liveItems;
    EXPECT_EQ(0, engineAfter.liveItems);
    EXPECT_FALSE(engineAfter.callWndProcHook || engineAfter.msgFilterHook);
    EXPECT_TRUE(before == after) << Describe(before) << " -> " << Describe(after);
    EXPECT_EQ(L"execute:First", EngineTest::Calls().back());
    EXPECT_EQ(1002u, EngineTest::Calls().size() / 4);  // fill First, Second, First, execute per menu
}

TEST_F(LeakTest, RealMenuLoopsLeaveNothingBehind) {
    for (MessageRouting routing : {MessageRouting::ForwardToHandler, MessageRouting::HooksOnly}) {
        ShellHost host(routing, routing == MessageRouting::HooksOnly ? 0 : 100);
        auto showOnce = [&] {
            host.ResetMenu();
            ShowContextMenu(host);
            HMENU main = host.QuelvarSubmenu();
            host.TrackMenu({host.Hover(host.Menu(), host.QuelvarPosition()),
                            host.Keys({VK_RIGHT, VK_DOWN, VK_DOWN, VK_RIGHT}), host.Hover(main, 3),
                            host.Keys({VK_RIGHT, VK_ESCAPE, VK_ESCAPE, VK_ESCAPE, VK_ESCAPE})});
            EXPECT_FALSE(host.LoopForcedToEnd());
            host.HelpText();
            host.ReleaseHandler();
        };
        showOnce();
        showOnce();
        const EngineCounts engineBefore = CountEngine();
        const ResourceCounts before = CountResources();
        for (int i = 0; i < 40; ++i) showOnce();
        EXPECT_TRUE(engineBefore == CountEngine());
        const ResourceCounts after = CountResources();
        EXPECT_TRUE(before == after) << Describe(before) << " -> " << Describe(after);
    }
}

// A host that releases the handler on another thread while the menu's own
// thread still draws its entries through the hooks: nothing is drawn with
// freed items or metrics, and nothing is left behind.
TEST_F(LeakTest, HandlersReleasedElsewhereWhileTheirThreadDrawsLeaveNothingBehind) {
    ShellHost host(MessageRouting::HooksOnly, 0);
    auto drawWhileReleasedElsewhere = [&](int spin) {
        host.ResetMenu();
        ShowContextMenu(host);
        HMENU main = host.OpenQuelvarSubmenu();
        host.Handler()->AddRef();
        auto handedOver = Lumo::Win::ComPtr<IContextMenu3>::Attach(host.Handler());
        host.ReleaseHandler();
        std::atomic<bool> released{false};
        std::thread other([&] {
            for (volatile int i = 0; i < spin; ++i) {
            }
            handedOver.reset();
            released = true;
        });
        const ULONGLONG deadline = ::GetTickCount64() + 60000;
        do Paint(host, main);
        while (!released && ::GetTickCount64() < deadline);
        if (!released) other.detach();  // the release hangs: fail rather than wait forever
        ASSERT_TRUE(released) << "releasing the handler on another thread did not end";
        other.join();
        host.CloseAll();
    };
    drawWhileReleasedElsewhere(0);
    const EngineCounts engineBefore = CountEngine();
    const ResourceCounts before = CountResources();
    for (int i = 0; i < 300; ++i) drawWhileReleasedElsewhere((i % 30) * 2000);
    EXPECT_TRUE(engineBefore == CountEngine());
    const ResourceCounts after = CountResources();
    EXPECT_TRUE(before == after) << Describe(before) << " -> " << Describe(after);
}

}  // namespace
