// Fixtures and menu items of the menu-engine tests: items with exactly the
// properties a case needs (submenus filled on opening, mnemonics, long labels,
// disabled entries, entries without icons, item menus), each recording what
// the engine asked of it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "menu/MainMenu.h"
#include "shellext/GotoFavorite.h"
#include "support/ShellHost.h"

using namespace ShellExt;

namespace EngineTest {

// What the test items were asked to do, in order ("execute:Label", "fill:Label", "itemmenu:Label").
inline std::vector<std::wstring>& Calls() {
    static std::vector<std::wstring> calls;
    return calls;
}

class TestItem : public OddBase {
public:
    TestItem(const wchar_t* label, int flags = 0, int iconIndex = -1, BYTE mnemonic = kNoMnemonic,
             Kind kind = KindFavorite)
        : OddBase(kind, label, iconIndex, flags, mnemonic) {
        helpText = std::wstring(L"Help of ") + (label ? label : L"");
    }
    void Execute(const Navigation::Target&) override { Calls().push_back(L"execute:" + label); }
    std::vector<ItemPtr> Children() override {
        Calls().push_back(L"fill:" + label);
        return filler ? filler() : std::vector<ItemPtr>();
    }
    void ShowItemMenu(HWND window) override {
        Calls().push_back(L"itemmenu:" + label);
        if (itemMenu) itemMenu(window);
    }

    // The entries of the popup each time it opens afresh.
    std::function<std::vector<ItemPtr>()> filler;
    std::function<void(HWND)> itemMenu;
};

inline std::shared_ptr<TestItem> Item(const wchar_t* label, int flags = 0, int iconIndex = -1,
                                      BYTE mnemonic = OddBase::kNoMnemonic) {
    return std::make_shared<TestItem>(label, flags, iconIndex, mnemonic);
}

// A submenu entry filled on opening with `count` plain entries named Prefix 1..count.
inline std::shared_ptr<TestItem> FilledSubmenu(const wchar_t* label, const std::wstring& prefix, int count) {
    auto item = Item(label, OddBase::ItemHasSubmenu | OddBase::ItemFillOnOpen, 21);
    item->filler = [prefix, count] {
        std::vector<ItemPtr> entries;
        for (int i = 1; i <= count; ++i) {
            entries.push_back(std::make_shared<TestItem>((prefix + L" " + std::to_wstring(i)).c_str()));
        }
        return entries;
    };
    return item;
}

class ComApartment {
public:
    ComApartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { ::CoUninitialize(); }
};

// The module's objects, a host and a handler made in this process.
class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override { Calls().clear(); }
    void TearDown() override { Calls().clear(); }
    // The main submenu shows the invisible first entry and then these items
    // (a null one stands for a separator).
    void FillMainSubmenu(std::vector<std::shared_ptr<OddBase>> items) {
        definition_.mainSubmenu = [items](EntryList& builder) {
            builder.AddItem(std::make_shared<TopMenuItem>());
            for (const auto& item : items) {
                if (item) {
                    builder.AddItem(item);
                } else {
                    builder.AddSeparator();
                }
            }
        };
    }
    // Gives the main submenu entries of the case's own.
    void FillMainSubmenu(std::function<void(EntryList& builder)> builder) {
        definition_.mainSubmenu = [builder](EntryList& entries) {
            entries.AddItem(std::make_shared<TopMenuItem>());
            builder(entries);
        };
    }
    // Creates the handler, initializes it for the background of the data
    // folder and adds its entries.
    void ShowContextMenu(QuelvarTest::ShellHost& host) {
        host.CreateHandler(definition_);
        ASSERT_EQ(S_OK,
                  host.InitializeBackground(engine_.DataFolder().substr(0, engine_.DataFolder().size() - 1)));
        ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), host.QueryContextMenu());
    }

    ComApartment apartment_;
    QuelvarTest::EngineScope engine_;
    // What the handlers of the case show: Quelvar's own menus until the case
    // gives the main submenu entries of its own.
    MenuDefinition definition_ = Menu::MainMenuDefinition();
};

}  // namespace EngineTest
