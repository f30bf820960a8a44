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
#include "navigation/Navigation.h"
#include "win/Boundary.h"
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

void OneFavFolder::Execute(const Navigation::Target& target) { GoToFavorite(target); }

void OneFavFolder::GoToFavorite(const Navigation::Target& target) {
    Lumo::Win::VoidBoundary([&] {
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
            Navigation::NavigateHostWindow(target, folder);
            return;
        }
        if (Ask(::GetActiveWindow(),
                kQuote + folder + kQuote + L" not exists.\nDo you want to remove it from the favorite list?",
                MB_YESNO) == IDYES) {
            RemoveWithoutAsking();
        }
    });
}

void OneFavFolder::RemoveFavorite() {
    Lumo::Win::VoidBoundary([&] {
        const std::wstring folder = Folder();
        if (Ask(::GetActiveWindow(),
                L"Do you want to remove " + kQuote + folder + kQuote + L" from the list?",
                MB_OKCANCEL) != IDOK) {
            return;
        }
        RemoveWithoutAsking();
    });
}

void OneFavFolder::RemoveWithoutAsking() {
    const auto& data = context->data();
    if (!data || !data->favorites) return;
    const std::wstring folder = Folder();
    const auto& stored = data->favorites->folders;
    auto found = std::find(stored.begin(), stored.end(), folder);
    if (found == stored.end()) return;
    Center().RemoveFavoriteAt(static_cast<size_t>(found - stored.begin()), folder);
}

void AddFavFolder::Execute(const Navigation::Target&) {
    Lumo::Win::VoidBoundary([&] {
        if (collectOnExecute) {
            folders = context->NavigableSelectedFolders(Data::kWholeSelection);
            // The folders seen when the menu opened are gone: never add the current folder instead.
            if (folders.empty()) return;
        }
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
        const std::wstring& folder = folders.empty() ? context->FolderPath() : folders.front();
        // A menu that knows no folder has nothing to add: an empty name is no favorite.
        if (folder.empty()) return;
        bool added = Center().AddFavorite(folder);
        Ask(nullptr, added ? L"Folder added successfully" : L"This folder had already been added", MB_OK);
    });
}

// The favorites in the order the menu shows them.
static Data::FolderList ShownFavorites(const MenuContext& menu) {
    Data::FolderList favorites = menu.Favorites();
    const auto& data = menu.data();
    if (data && data->settings && data->settings->sortMode == Data::SortByPathName) {
        // Ordinal comparison of UTF-16 code units.
        favorites.sort();
    }
    return favorites;
}

void BuildFavoritesSection(EntryList& builder) {
    const auto& data = builder.Menu().data();
    const Data::FolderList favorites = ShownFavorites(builder.Menu());
    if (!data || favorites.empty()) return;
    long limit = 1000;
    if (data->userSettings && data->userSettings->limitTopFavorites)
        limit = data->userSettings->topFavoriteLimit;
    // A negative stored limit shows nothing at top level.
    const size_t shown = static_cast<size_t>(std::clamp<long>(limit, 0, static_cast<long>(favorites.size())));
    for (size_t j = 0; j < shown; ++j) {
        builder.AddItem(std::make_shared<OneFavFolder>(static_cast<int>(j), std::wstring(favorites[j])));
    }
    if (shown < favorites.size()) {
        auto more = std::make_shared<MoreFavorites>();
        EntryList rest(builder.Context());
        for (size_t j = shown; j < favorites.size(); ++j) {
            rest.AddItem(std::make_shared<OneFavFolder>(static_cast<int>(j), std::wstring(favorites[j])));
        }
        more->rest = rest.Take();
        builder.AddItem(more);
    }
    builder.AddSeparator();
}

std::shared_ptr<AddFavFolder> PrepareAddFavFolder(const MenuContext& menu) {
    auto entry = std::make_shared<AddFavFolder>();
    // Only the first items are looked at while the menu opens; a larger
    // selection is decided from them and its count.
    entry->folders = menu.NavigableSelectedFolders(Data::kItemsSeenWhileMenuOpens);
    const bool seenWhole = menu.ItemCount() <= Data::kItemsSeenWhileMenuOpens;
    const auto& folders = entry->folders;
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
    } else if (menu.ItemCount() == 0 && menu.Folder()) {
        if (IsNavigableFolder(menu.Folder(), nullptr)) {
            entry->helpText = L"Add " + kQuote + menu.FolderPath() + kQuote + L" to favorites";
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
    const auto& data = context->data();
    const bool sortedByPath = data && data->settings && data->settings->sortMode == Data::SortByPathName;
    const std::wstring folder = Folder();
    PopupMenu menu;
    menu.AppendCommand(
        L"Open Folder",
        [this, window, folder] {
            ::EndMenu();
            if (HWND browser = Navigation::FindBrowserWindow(window)) {
                GoToFavorite(Navigation::Target{browser});
            } else {
                Navigation::ExploreFolder(folder);
            }
        },
        true);
    menu.AppendCommand(L"Open Folder in New Window", [this] {
        ::EndMenu();
        Navigation::ExploreFavorite(ShownFavorites(*context), static_cast<size_t>(favoriteIndex));
    });
    menu.AppendCommand(L"Explore From Here", [folder] {
        ::EndMenu();
        Navigation::ExploreFromHere(folder);
    });
    menu.AppendSeparator();
    menu.AppendCommand(L"DOS Prompt Here", [this] {
        ::EndMenu();
        Navigation::OpenCommandPromptAtFavorite(ShownFavorites(*context), static_cast<size_t>(favoriteIndex));
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
