// Base behaviour of menu items and the framework's own items.
#include "shellext/MenuItem.h"

#include "shellext/GotoFavorite.h"
#include "shellext/MenuEngine.h"

namespace {

Quelvar::SubmenuFiller& MainSubmenuFiller() {
    static Quelvar::SubmenuFiller filler;
    return filler;
}

Quelvar::SubmenuFiller& MainSubmenuBuilder() {
    static Quelvar::SubmenuFiller builder;
    return builder;
}

}  // namespace

OddBase::OddBase(Kind kind, const wchar_t* label, int iconIndex, int flags, BYTE mnemonic)
    : kind(kind), label(label ? label : L""), iconIndex(iconIndex), flags(flags), mnemonic(mnemonic) {}

void OddBase::Execute(HWND) {}

void OddBase::FillSubmenu(HMENU) {}

void OddBase::ShowItemMenu(HWND) {}

void OddBase::MeasureItem(MEASUREITEMSTRUCT& measure) {
    // One font and context serve every entry of the open menu.
    SIZE extent{};
    int menuHeight = 0;
    if (!MenuEngine::CurrentState().menuMetrics.Measure(label, extent, menuHeight)) return;

    measure.itemWidth = static_cast<UINT>(extent.cx + extent.cy + 3);
    measure.itemHeight =
        extent.cy + 4 > menuHeight ? static_cast<UINT>(extent.cy + 4) : static_cast<UINT>(menuHeight);
    if (owner) {
        owner->LoadData();
        const auto& data = owner->data();
        if (data && data->userSettings && data->userSettings->limitMenuWidth) {
            UINT limit = static_cast<UINT>(data->userSettings->menuWidthLimit);
            if (limit < measure.itemWidth) measure.itemWidth = limit;
        }
    }
}

HMENU SubmenuBuilder::AddItem(const ItemPtr& item) {
    HMENU popup = owner_->InsertItem(menu_, position_, item);
    ++position_;
    return popup;
}

void SubmenuBuilder::AddSeparator() {
    ::InsertMenuW(menu_, position_, MF_SEPARATOR | MF_BYPOSITION, 0, nullptr);
    ++position_;
}

void TopMenuItem::MeasureItem(MEASUREITEMSTRUCT& measure) {
    OddBase::MeasureItem(measure);
    measure.itemWidth = 0;
    measure.itemHeight = 0;
}

void Quelvar::FillSubmenu(HMENU menu) {
    ::DeleteMenu(menu, 0, MF_BYPOSITION);
    SubmenuBuilder builder(owner, menu);
    if (MainSubmenuFiller()) {
        builder.AddItem(std::make_shared<TopMenuItem>());
        MainSubmenuFiller()(builder);
    } else if (MainSubmenuBuilder()) {
        MainSubmenuBuilder()(builder);
    }
}

void Quelvar::SetMainSubmenuBuilder(SubmenuFiller builder) { MainSubmenuBuilder() = std::move(builder); }

void Quelvar::SetMainSubmenuFiller(SubmenuFiller filler) { MainSubmenuFiller() = std::move(filler); }
