// Layout of the main submenu.
#include "menu/MainMenu.h"

#include <shellapi.h>

#include "menu/FavoritesMenu.h"
#include "menu/HistoryMenu.h"
#include "menu/ShellToolsMenu.h"
#include "menu/SystemFoldersMenu.h"
#include "shellext/GotoFavorite.h"

void VersionTooHigh::Execute(HWND) {
    ::ShellExecuteW(nullptr, L"open", kHomePage, nullptr, nullptr, SW_SHOW);
}

void BuildMainSubmenu(SubmenuBuilder& builder) {
    CGotoFavorite& owner = *builder.Owner();
    owner.LoadData();
    if (!owner.data()) {
        // A newer release wrote the data file: offer nothing that reads it.
        builder.AddItem(std::make_shared<VersionTooHigh>());
        return;
    }
    builder.AddItem(std::make_shared<TopMenuItem>());
    builder.AddItem(std::make_shared<NavigateHistory>());
    builder.AddSeparator();
    BuildFavoritesSection(builder);
    builder.AddItem(PrepareAddFavFolder(owner));
    builder.AddItem(std::make_shared<ShellTools>());
    builder.AddSeparator();
    builder.AddItem(std::make_shared<SystemFolders>());
}
