// The favorites section of the main submenu: one entry per favorite up to the
// top-level limit, "&More Favorites" with the rest, and the entry that adds the
// current or the selected folders.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include <vector>

#include "shellext/MenuEntry.h"

namespace Menu {

class OneFavFolder : public ShellExt::OddBase {
public:
    OneFavFolder(int favoriteIndex, const std::wstring& folder);
    void Execute(const ShellExt::Navigation::Target& target) override;
    void ShowItemMenu(HWND window) override;

    // Checks that the folder can be reached (connecting network shares and
    // drives), offers to remove a missing one, and navigates the target there.
    void GoToFavorite(const ShellExt::Navigation::Target& target);
    // Asks, then removes the favorite from the stored list.
    void RemoveFavorite();

    std::wstring Folder() const { return helpText; }
    int favoriteIndex;

private:
    void RemoveWithoutAsking();
};

class MoreFavorites : public ShellExt::OddBase {
public:
    MoreFavorites() : ShellExt::OddBase(KindMoreFavorites, L"&More Favorites", 23, ItemHasSubmenu, 'm') {
        helpText = L"More favorites";
    }
    std::vector<ShellExt::ItemPtr> Children() override { return rest; }

    // The favorites beyond the top-level limit, built with the entry.
    std::vector<ShellExt::ItemPtr> rest;
};

class AddFavFolder : public ShellExt::OddBase {
public:
    AddFavFolder() : ShellExt::OddBase(KindAddFavorites, L"&Add Folder to Favorites", 2, 0, 'a') {}
    void Execute(const ShellExt::Navigation::Target& target) override;

    // The selected folders seen when the menu opened.
    std::vector<std::wstring> folders;
    // The entry was prepared from the first items of a larger selection: the
    // command collects the folders of the whole selection when it runs.
    bool collectOnExecute = false;
};

// Inserts the favorites entries, "&More Favorites" and the closing separator
// at `builder`'s position (nothing when there are no favorites).
void BuildFavoritesSection(ShellExt::EntryList& builder);

// Collects the menu's selected folders and prepares the add entry's label,
// help text and state.
std::shared_ptr<AddFavFolder> PrepareAddFavFolder(const ShellExt::MenuContext& menu);

}  // namespace Menu
