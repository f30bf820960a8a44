// The entries' base behaviour, the entry list and the framework's own entries.
#include "shellext/MenuEntry.h"

#include <algorithm>

#include "shellext/MenuEngine.h"
#include "system/SystemInfo.h"

namespace Lumo::ShellExt {

OddBase::OddBase(Kind kind, const wchar_t* label, int iconIndex, int flags, BYTE mnemonic)
    : kind(kind), label(label ? label : L""), iconIndex(iconIndex), flags(flags), mnemonic(mnemonic) {}

void OddBase::Execute(const Navigation::Target&) {}

std::vector<ItemPtr> OddBase::Children() { return {}; }

void OddBase::ShowItemMenu(HWND) {}

void OddBase::MeasureItem(MEASUREITEMSTRUCT& measure) {
    // One font and context serve every entry of the open menu.
    SIZE extent{};
    int menuHeight = 0;
    MenuMetrics& metrics = MenuEngine::CurrentState().menuMetrics;
    if (!metrics.Measure(label, extent, menuHeight)) return;

    // Icons larger than 16 pixels widen the icon column and need a taller row.
    const int side = metrics.IconSize();
    measure.itemWidth = static_cast<UINT>(extent.cx + extent.cy + 3 + (side - 16));
    measure.itemHeight =
        extent.cy + 4 > menuHeight ? static_cast<UINT>(extent.cy + 4) : static_cast<UINT>(menuHeight);
    if (side > 16)
        measure.itemHeight = std::max<UINT>(measure.itemHeight, static_cast<UINT>(side + side / 8));
    if (context) {
        if (const int limit = context->MenuWidthLimit();
            limit && static_cast<UINT>(limit) < measure.itemWidth)
            measure.itemWidth = static_cast<UINT>(limit);
    }
}

const ItemPtr& EntryList::AddItem(const ItemPtr& item) {
    item->context = context_;
    entries_.push_back(item);
    return entries_.back();
}

void EntryList::AddSeparator() { AddItem(std::make_shared<SeparatorItem>()); }

void SeparatorItem::MeasureItem(MEASUREITEMSTRUCT& measure) {
    // As high as the system's separator at this DPI: half the icon size less one.
    measure.itemWidth = 0;
    measure.itemHeight = static_cast<UINT>(MenuEngine::CurrentState().menuMetrics.IconSize() / 2 - 1);
}

void TopMenuItem::MeasureItem(MEASUREITEMSTRUCT& measure) {
    OddBase::MeasureItem(measure);
    measure.itemWidth = 0;
    measure.itemHeight = 0;
}

Quelvar::Quelvar(MenuDefinition definition)
    : OddBase(KindQuelvar, L"Quelvar", kIconIndex, ItemHasSubmenu | ItemFillOnOpen, kNoMnemonic),
      definition_(std::move(definition)) {
    helpText = L"Quelvar v" + Lumo::System::ProductVersion();
}

std::vector<ItemPtr> Quelvar::Children() {
    EntryList entries(context);
    if (definition_.mainSubmenu) definition_.mainSubmenu(entries);
    return entries.Take();
}

void Quelvar::ShowItemMenu(HWND window) {
    if (definition_.itemMenu) definition_.itemMenu(*this, window);
}

}  // namespace Lumo::ShellExt
