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
    void Execute(HWND) override { Calls().push_back(L"execute:" + label); }
    void FillSubmenu(HMENU menu) override {
        Calls().push_back(L"fill:" + label);
        if (filler) filler(menu);
    }
    void ShowItemMenu(HWND window) override {
        Calls().push_back(L"itemmenu:" + label);
        if (itemMenu) itemMenu(window);
    }

    // Fills the popup when it opens afresh (the placeholder is still at position 0).
    std::function<void(HMENU)> filler;
    std::function<void(HWND)> itemMenu;
};

inline std::shared_ptr<TestItem> Item(const wchar_t* label, int flags = 0, int iconIndex = -1,
                                      BYTE mnemonic = OddBase::kNoMnemonic) {
    return std::make_shared<TestItem>(label, flags, iconIndex, mnemonic);
}

// A submenu entry filled on opening with `count` plain entries named Prefix 1..count.
inline std::shared_ptr<TestItem> FilledSubmenu(const wchar_t* label, const std::wstring& prefix, int count) {
    auto item = Item(label, OddBase::ItemHasSubmenu | OddBase::ItemFillOnOpen, 21);
    TestItem* self = item.get();
    item->filler = [self, prefix, count](HMENU menu) {
        ::DeleteMenu(menu, 0, MF_BYPOSITION);
        SubmenuBuilder builder(self->owner, menu);
        for (int i = 1; i <= count; ++i) {
            builder.AddItem(std::make_shared<TestItem>((prefix + L" " + std::to_wstring(i)).c_str()));
        }
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
    void TearDown() override {
        Quelvar::SetMainSubmenuFiller(nullptr);
        Calls().clear();
    }
    // The main submenu shows the invisible first entry and then these items.
    static void FillMainSubmenu(std::vector<std::shared_ptr<OddBase>> items) {
        Quelvar::SetMainSubmenuFiller([items](SubmenuBuilder& builder) {
            for (const auto& item : items) {
                if (item) {
                    builder.AddItem(item);
                } else {
                    builder.AddSeparator();
                }
            }
        });
    }
    // Creates the handler, initializes it for the background of the data
    // folder and adds its entries.
    void ShowContextMenu(QuelvarTest::ShellHost& host) {
        host.CreateHandler();
        ASSERT_EQ(S_OK,
                  host.InitializeBackground(engine_.DataFolder().substr(0, engine_.DataFolder().size() - 1)));
        ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), host.QueryContextMenu());
    }

    ComApartment apartment_;
    QuelvarTest::EngineScope engine_;
};

}  // namespace EngineTest
