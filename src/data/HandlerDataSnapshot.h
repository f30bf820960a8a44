// The copy of the data one context menu works on: loaded once per handler
// object, the first time a menu part needs it, so that every part of one menu
// sees the same favorites.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/Records.h"

class DataCenter;

namespace Data {

class HandlerDataSnapshot {
public:
    // Loads the record through `center` (the process's DataCenter when null).
    // Runs at most once: `dataLoaded` is set first, so a failure is not
    // retried. A file of a newer release leaves `data` null and
    // `favoriteFolders` empty; any other failure propagates.
    void LoadData(DataCenter* center = nullptr);

    bool dataLoaded = false;
    std::shared_ptr<AllData> data;
    std::vector<std::wstring> favoriteFolders;  // stored order; the menu may sort it
};

}  // namespace Data
