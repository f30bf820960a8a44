// Layout of the main submenu.
#include "menu/MainMenu.h"

#include <shellapi.h>

#include "menu/FavoritesMenu.h"
#include "menu/HistoryMenu.h"
#include "menu/OptionsMenu.h"
#include "menu/ShellToolsMenu.h"
#include "menu/SystemFoldersMenu.h"
#include "system/ProductInfo.h"

namespace Menu {

using namespace ShellExt;

void VersionTooHigh::Execute(const Navigation::Target&) {
    ::ShellExecuteW(nullptr, L"open", Lumo::System::kHomePage, nullptr, nullptr, SW_SHOW);
}

void BuildMainSubmenu(EntryList& builder) {
    const MenuContext& menu = builder.Menu();
    if (menu.dataState() == Data::SnapshotState::NewerRelease) {
        // A newer release wrote the data file: offer nothing that reads it.
        builder.AddItem(std::make_shared<VersionTooHigh>());
        builder.AddSeparator();
        builder.AddItem(std::make_shared<Options>());
        return;
    }
    builder.AddItem(std::make_shared<TopMenuItem>());
    // Without the record (another program holds the file just now) the
    // entries that need it stay away; the next menu loads again.
    if (menu.data()) {
        builder.AddItem(std::make_shared<NavigateHistory>());
        builder.AddSeparator();
        BuildFavoritesSection(builder);
        builder.AddItem(PrepareAddFavFolder(menu));
    }
    builder.AddItem(std::make_shared<ShellTools>());
    builder.AddSeparator();
    builder.AddItem(std::make_shared<SystemFolders>());
    builder.AddSeparator();
    builder.AddItem(std::make_shared<Options>());
}

MenuDefinition MainMenuDefinition() { return MenuDefinition{&BuildMainSubmenu, &ShowQuelvarItemMenu}; }

}  // namespace Menu
