// The records the extension remembers between menu invocations: favorites,
// sort order, user settings and the navigate history, owned by one AllData.
// Plain value classes; DataCenter is the only code that reads or writes them
// to the data file.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "data/FolderList.h"

namespace Lumo::Data {

enum FavoriteSortMode : std::int32_t { NoSort = 0, SortByPathName = 1 };

class Favorites {
public:
    std::int32_t revision = 0;
    FolderList folders;  // user order, no duplicates
};

class Settings {
public:
    FavoriteSortMode sortMode = NoSort;
};

class UserSettings {
public:
    std::int32_t revision = 0;
    bool limitMenuWidth = true;
    std::int32_t menuWidthLimit = 300;
    bool limitTopFavorites = true;
    std::int32_t topFavoriteLimit = 15;
    std::int32_t historyDepth = 10;

    // All six members equal: the Settings page has no unsaved changes.
    bool operator==(const UserSettings& other) const;
    bool operator!=(const UserSettings& other) const { return !(*this == other); }
};

class NavigateHistory {
public:
    std::list<std::wstring> items;  // most recent first, no duplicates
    std::int32_t maxCount = -1;     // negative: unlimited; not persisted

    // Records a visit; returns whether the list changed.
    bool Add(const std::wstring& folder);
    void Clear() { items.clear(); }
};

class AllData {
public:
    static constexpr std::int32_t CurrentDataVersion = 3;

    std::int32_t dataVersion = CurrentDataVersion;
    std::shared_ptr<Favorites> favorites = std::make_shared<Favorites>();
    std::shared_ptr<NavigateHistory> navigateHistory = std::make_shared<NavigateHistory>();
    std::shared_ptr<Settings> settings = std::make_shared<Settings>();
    std::shared_ptr<UserSettings> userSettings = std::make_shared<UserSettings>();

    // Raises an older record to the current layout; true when it must be
    // written back before anyone uses it.
    bool Upgrade();
};

}  // namespace Lumo::Data
