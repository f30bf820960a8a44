// The navigate history submenu and its entries.
#include "menu/HistoryMenu.h"

#include "data/DataCenter.h"
#include "menu/FolderCommands.h"
#include "ui/PopupMenu.h"
#include "navigation/Navigation.h"

namespace Menu {

using namespace ShellExt;

namespace {

// The stored history and how much of it the menu shows; null when there is
// nothing to show.
const std::list<std::wstring>* VisibleHistory(const MenuContext& menu, int& depth) {
    const auto& data = menu.data();
    if (!data || !data->navigateHistory || !data->userSettings) return nullptr;
    depth = data->userSettings->historyDepth;
    if (data->navigateHistory->items.empty() || depth < 1) return nullptr;
    return &data->navigateHistory->items;
}

}  // namespace

std::vector<ItemPtr> NavigateHistory::Children() {
    int depth = 0;
    const std::list<std::wstring>* items = VisibleHistory(*context, depth);
    if (!items) return {};  // the "(Empty)" placeholder stays
    EntryList builder(context);
    int shown = 0;
    for (const std::wstring& folder : *items) {
        if (shown++ >= depth) break;
        builder.AddItem(std::make_shared<OneNaviHistory>(folder));
    }
    builder.AddSeparator();
    builder.AddItem(std::make_shared<ClearNaviHistory>());
    return builder.Take();
}

void NavigateHistory::ShowItemMenu(HWND window) {
    int depth = 0;
    if (!VisibleHistory(*context, depth)) return;
    Lumo::WinUi::PopupMenu menu;
    menu.AppendCommand(L"Clear History", [] {
        ::EndMenu();
        if (Data::DataCenter* center = Data::DataCenter::Instance()) center->ClearNavigateHistory();
    });
    menu.AppendSeparator();
    menu.AppendCommand(L"Cancel", [] {});
    menu.Track(window);
}

void OneNaviHistory::Execute(const Navigation::Target& target) { Navigation::NavigateTo(target, label); }

void OneNaviHistory::ShowItemMenu(HWND window) {
    const std::wstring folder = label;
    ShowFolderItemMenu(
        window, [folder] { return folder; },
        [folder](HWND from) { Navigation::NavigateTo(Navigation::Target{from}, folder); });
}

void ClearNaviHistory::Execute(const Navigation::Target&) {
    if (Data::DataCenter* center = Data::DataCenter::Instance()) center->ClearNavigateHistory();
}

}  // namespace Menu
