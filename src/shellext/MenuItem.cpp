// Base behaviour of menu items and the framework's own items.
#include "shellext/MenuItem.h"

#include "shellext/GotoFavorite.h"
#include "win/Handle.h"

namespace {

Quelvar::SubmenuFiller& MainSubmenuFiller() {
    static Quelvar::SubmenuFiller filler;
    return filler;
}

Quelvar::SubmenuFiller& MainSubmenuBuilder() {
    static Quelvar::SubmenuFiller builder;
    return builder;
}

Quelvar::ItemMenu& QuelvarItemMenu() {
    static Quelvar::ItemMenu menu;
    return menu;
}

}  // namespace

OddBase::OddBase(int kind, const wchar_t* label, int iconIndex, int flags, BYTE mnemonic)
    : kind(kind), label(label ? label : L""), iconIndex(iconIndex), flags(flags), mnemonic(mnemonic) {}

void OddBase::Execute(HWND) {}

void OddBase::FillSubmenu(HMENU) {}

void OddBase::ShowItemMenu(HWND) {}

void OddBase::MeasureItem(MEASUREITEMSTRUCT& measure) {
    NONCLIENTMETRICSW metrics{};
    // The size without the padded-border field, which every system accepts.
    constexpr UINT kMetricsSize = 500;
    metrics.cbSize = kMetricsSize;
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kMetricsSize, &metrics, 0)) return;
    Lumo::Win::UniqueDc dc(::CreateCompatibleDC(nullptr));
    if (!dc) return;
    Lumo::Win::UniqueGdiObject font(::CreateFontIndirectW(&metrics.lfMenuFont));
    if (!font) return;
    POINT extent{};
    {
        Lumo::Win::SelectedObject selected(dc.get(), font.get());
        SIZE size{};
        ::GetTextExtentPoint32W(dc.get(), label.c_str(), static_cast<int>(label.size()), &size);
        extent = POINT{size.cx, size.cy};
        ::LPtoDP(dc.get(), &extent, 1);
    }

    measure.itemWidth = static_cast<UINT>(extent.x + extent.y + 3);
    measure.itemHeight = extent.y + 4 > metrics.iMenuHeight ? static_cast<UINT>(extent.y + 4)
                                                            : static_cast<UINT>(metrics.iMenuHeight);
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

void Quelvar::ShowItemMenu(HWND window) {
    if (QuelvarItemMenu()) QuelvarItemMenu()(*this, window);
}

void Quelvar::SetItemMenu(ItemMenu menu) { QuelvarItemMenu() = std::move(menu); }
