// Favorite entries, "&More Favorites", the add entry, and jumping to a
// favorite with its network and missing-folder handling.
#include "menu/FavoritesMenu.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <map>
#include <vector>

#include "data/DataCenter.h"
#include "menu/NetworkConnections.h"
#include "ui/PopupMenu.h"
#include "shellext/GotoFavorite.h"
#include "shellext/Navigation.h"
#include "win/Errors.h"
#include "win/Handle.h"
#include "system/Path.h"

namespace Menu {

using namespace ShellExt;

namespace {

constexpr wchar_t kCaption[] = L"Quelvar";
const std::wstring kQuote = L"\"";

std::wstring DoubleAmpersands(const std::wstring& text) {
    std::wstring result;
    for (wchar_t c : text) {
        result += c;
        if (c == L'&') result += L'&';
    }
    return result;
}

Data::DataCenter& Center() {
    Data::DataCenter* center = Data::DataCenter::Instance();
    if (!center) throw Lumo::AnyError();
    return *center;
}

int Ask(HWND owner, const std::wstring& text, UINT buttons) {
    return ::MessageBoxW(owner, text.c_str(), kCaption, buttons);
}

bool FolderExists(const std::wstring& folder) {
    return ::GetFileAttributesW(Lumo::FileSystem::LongPathForm(folder).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

OneFavFolder::OneFavFolder(int index, const std::wstring& folder)
    : OddBase(KindFavorite, DoubleAmpersands(folder).c_str(), -1, 0, kNoMnemonic), favoriteIndex(index) {
    helpText = folder;
}

void OneFavFolder::Execute(HWND host) { GoToFavorite(host); }

void OneFavFolder::GoToFavorite(HWND window) {
    try {
        const std::wstring folder = Folder();
        NetworkConnections& network = NetworkConnections::Current();
        bool reachable = false;
        if (::PathIsUNCW(folder.c_str())) {
            if (network.UseConnection(::GetActiveWindow(), std::wstring(), folder) != NO_ERROR) return;
            reachable = ::PathIsUNCServerShareW(folder.c_str()) || ::PathIsUNCServerW(folder.c_str()) ||
                        FolderExists(folder);
        } else {
            std::wstring drive = folder.substr(0, 2);
            ::CharUpperBuffW(drive.data(), static_cast<DWORD>(drive.size()));
            std::wstring remote;
            const DWORD status = network.GetConnection(drive, remote);
            if (status == ERROR_NOT_CONNECTED || status == NO_ERROR) {
                reachable = FolderExists(folder);
            } else if (status == ERROR_CONNECTION_UNAVAIL) {
                std::map<std::wstring, std::wstring> connections;
                if (!network.RememberedConnections(connections)) return;
                auto found = connections.find(drive);
                if (found != connections.end()) {
                    if (network.UseConnection(::GetActiveWindow(), found->first, found->second) != NO_ERROR) {
                        return;
                    }
                    reachable = true;
                }
            } else {
                return;
            }
        }
        if (reachable) {
            Navigation::NavigateHostWindow(folder, window, *owner);
            return;
        }
        if (Ask(::GetActiveWindow(),
                kQuote + folder + kQuote + L" not exists.\nDo you want to remove it from the favorite list?",
                MB_YESNO) == IDYES) {
            RemoveWithoutAsking();
        }
    } catch (...) {
    }
}

void OneFavFolder::RemoveFavorite() {
    try {
        const std::wstring folder = Folder();
        if (Ask(::GetActiveWindow(),
                L"Do you want to remove " + kQuote + folder + kQuote + L" from the list?",
                MB_OKCANCEL) != IDOK) {
            return;
        }
        RemoveWithoutAsking();
    } catch (...) {
    }
}

void OneFavFolder::RemoveWithoutAsking() {
    owner->LoadData();
    const auto& data = owner->data();
    if (!data || !data->favorites) return;
    const std::wstring folder = Folder();
    const auto& stored = data->favorites->folders;
    auto found = std::find(stored.begin(), stored.end(), folder);
    if (found == stored.end()) return;
    Center().RemoveFavoriteAt(static_cast<size_t>(found - stored.begin()), folder);
}

void AddFavFolder::Execute(HWND) {
    try {
        if (collectOnExecute) {
            owner->selectedFolders = owner->NavigableSelectedFolders(Data::kWholeSelection);
            // The folders seen when the menu opened are gone: never add the current folder instead.
            if (owner->selectedFolders.empty()) return;
        }
        const auto& folders = owner->selectedFolders;
        if (folders.size() > 1) {
            if (Ask(nullptr,
                    L"More than one folders are selected, do you want to add them all to favorite list?",
                    MB_OKCANCEL) != IDOK) {
                return;
            }
            bool added = Center().AddFavorites(folders);
            Ask(nullptr, added ? L"Folders added successfully" : L"These folders had already been added",
                MB_OK);
            return;
        }
        const std::wstring& folder = folders.empty() ? owner->folderPath : folders.front();
        // A menu that knows no folder has nothing to add: an empty name is no favorite.
        if (folder.empty()) return;
        bool added = Center().AddFavorite(folder);
        Ask(nullptr, added ? L"Folder added successfully" : L"This folder had already been added", MB_OK);
    } catch (...) {
    }
}

void BuildFavoritesSection(SubmenuBuilder& builder) {
    CGotoFavorite& owner = *builder.Owner();
    owner.LoadData();
    const auto& data = owner.data();
    Data::FolderList& favorites = owner.favoriteFolders();
    if (!data || favorites.empty()) return;
    if (data->settings && data->settings->sortMode == Data::SortByPathName) {
        // Ordinal comparison of UTF-16 code units.
        favorites.sort();
    }
    long limit = 1000;
    if (data->userSettings && data->userSettings->limitTopFavorites)
        limit = data->userSettings->topFavoriteLimit;
    // A negative stored limit shows nothing at top level.
    const size_t shown = static_cast<size_t>(std::clamp<long>(limit, 0, static_cast<long>(favorites.size())));
    for (size_t j = 0; j < shown; ++j) {
        builder.AddItem(std::make_shared<OneFavFolder>(static_cast<int>(j), std::wstring(favorites[j])));
    }
    if (shown < favorites.size()) {
        HMENU more = builder.AddItem(std::make_shared<MoreFavorites>());
        SubmenuBuilder rest(&owner, more);
        for (size_t j = shown; j < favorites.size(); ++j) {
            rest.AddItem(std::make_shared<OneFavFolder>(static_cast<int>(j), std::wstring(favorites[j])));
        }
    }
    builder.AddSeparator();
}

std::shared_ptr<AddFavFolder> PrepareAddFavFolder(CGotoFavorite& owner) {
    auto entry = std::make_shared<AddFavFolder>();
    // Only the first items are looked at while the menu opens; a larger
    // selection is decided from them and its count.
    owner.selectedFolders = owner.NavigableSelectedFolders(Data::kItemsSeenWhileMenuOpens);
    const bool seenWhole = owner.itemIdLists.size() <= Data::kItemsSeenWhileMenuOpens;
    const auto& folders = owner.selectedFolders;
    if (!seenWhole && !folders.empty()) {
        // How many folders the whole selection holds is known only when the command runs.
        entry->label = L"&Add Folders to Favorites";
        entry->helpText = L"Add selected folders to favorites";
        entry->collectOnExecute = true;
    } else if (folders.size() >= 2) {
        entry->label = L"&Add Folders to Favorites";
        entry->helpText = L"Add " + std::to_wstring(folders.size()) + L" selected folders to favorites";
    } else if (folders.size() == 1) {
        entry->helpText = L"Add " + kQuote + folders.front() + kQuote + L" to favorites";
    } else if (owner.itemIdLists.empty() && owner.folderIdList) {
        owner.folderPath = ItemIDList(owner.folderIdList.get(), nullptr).ParsingName();
        if (IsNavigableFolder(owner.folderIdList.get(), nullptr)) {
            entry->helpText = L"Add " + kQuote + owner.folderPath + kQuote + L" to favorites";
        } else {
            entry->flags |= OddBase::ItemDisabled;
        }
    } else {
        entry->flags |= OddBase::ItemDisabled;
    }
    return entry;
}

void OneFavFolder::ShowItemMenu(HWND window) {
    using Lumo::WinUi::PopupMenu;
    owner->LoadData();
    const auto& data = owner->data();
    const bool sortedByPath = data && data->settings && data->settings->sortMode == Data::SortByPathName;
    const std::wstring folder = Folder();
    PopupMenu menu;
    menu.AppendCommand(
        L"Open Folder",
        [this, window, folder] {
            ::EndMenu();
            if (HWND browser = Navigation::FindBrowserWindow(window)) {
                GoToFavorite(browser);
            } else {
                Navigation::ExploreFolder(folder);
            }
        },
        true);
    menu.AppendCommand(L"Open Folder in New Window", [this] {
        ::EndMenu();
        Navigation::ExploreFavorite(*owner, static_cast<size_t>(favoriteIndex));
    });
    menu.AppendCommand(L"Explore From Here", [folder] {
        ::EndMenu();
        Navigation::ExploreFromHere(folder);
    });
    menu.AppendSeparator();
    menu.AppendCommand(L"DOS Prompt Here", [this] {
        ::EndMenu();
        Navigation::OpenCommandPromptAtFavorite(*owner, static_cast<size_t>(favoriteIndex));
    });
    menu.AppendSeparator();
    menu.AppendCommand(L"Remove From Favorites", [this] {
        ::EndMenu();
        RemoveFavorite();
    });
    menu.AppendSeparator();
    auto sortBy = menu.AppendSubMenu(L"Sort by");
    sortBy->AppendRadioCommand(
        L"Path Name",
        [] {
            ::EndMenu();
            Center().SetSortMode(Data::SortByPathName);
        },
        sortedByPath);
    sortBy->AppendSeparator();
    sortBy->AppendRadioCommand(
        L"No Sort",
        [] {
            ::EndMenu();
            Center().SetSortMode(Data::NoSort);
        },
        !sortedByPath);
    menu.AppendSeparator();
    menu.AppendCommand(L"Cancel", [] {});
    menu.Track(window);
}

}  // namespace Menu
