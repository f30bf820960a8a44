// The navigate history submenu and its entries.
#include "menu/HistoryMenu.h"

#include "data/DataCenter.h"
#include "menu/FolderCommands.h"
#include "ui/PopupMenu.h"
#include "shellext/GotoFavorite.h"
#include "shellext/Navigation.h"

namespace Menu {

using namespace ShellExt;

namespace {

// The stored history and how much of it the menu shows; null when there is
// nothing to show.
const std::list<std::wstring>* VisibleHistory(CGotoFavorite& owner, int& depth) {
    owner.LoadData();
    const auto& data = owner.data();
    if (!data || !data->navigateHistory || !data->userSettings) return nullptr;
    depth = data->userSettings->historyDepth;
    if (data->navigateHistory->items.empty() || depth < 1) return nullptr;
    return &data->navigateHistory->items;
}

}  // namespace

void NavigateHistory::FillSubmenu(HMENU menu) {
    int depth = 0;
    const std::list<std::wstring>* items = VisibleHistory(*owner, depth);
    if (!items) return;  // the "(Empty)" placeholder stays
    ::DeleteMenu(menu, 0, MF_BYPOSITION);
    SubmenuBuilder builder(owner, menu);
    int shown = 0;
    for (const std::wstring& folder : *items) {
        if (shown++ >= depth) break;
        builder.AddItem(std::make_shared<OneNaviHistory>(folder));
    }
    builder.AddSeparator();
    builder.AddItem(std::make_shared<ClearNaviHistory>());
}

void NavigateHistory::ShowItemMenu(HWND window) {
    int depth = 0;
    if (!VisibleHistory(*owner, depth)) return;
    Lumo::WinUi::PopupMenu menu;
    menu.AppendCommand(L"Clear History", [] {
        ::EndMenu();
        if (Data::DataCenter* center = Data::DataCenter::Instance()) center->ClearNavigateHistory();
    });
    menu.AppendSeparator();
    menu.AppendCommand(L"Cancel", [] {});
    menu.Track(window);
}

void OneNaviHistory::Execute(HWND host) { Navigation::NavigateTo(host, label, *owner); }

void OneNaviHistory::ShowItemMenu(HWND window) {
    const std::wstring folder = label;
    CGotoFavorite* handler = owner;
    ShowFolderItemMenu(
        window, [folder] { return folder; },
        [folder, handler](HWND from) { Navigation::NavigateTo(from, folder, *handler); });
}

void ClearNaviHistory::Execute(HWND) {
    if (Data::DataCenter* center = Data::DataCenter::Instance()) center->ClearNavigateHistory();
}

}  // namespace Menu
