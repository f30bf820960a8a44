// The copy of the data one context menu works on: loaded once per handler
// object, the first time a menu part needs it, so that every part of one menu
// sees the same favorites.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/Records.h"

namespace Lumo::Data {

class DataCenter;

// What one menu got when it asked for the data.
enum class SnapshotState {
    NotLoaded,
    Loaded,        // `data` holds the record
    NewerRelease,  // the file comes from a newer release: nothing may read or write it
    Unavailable,   // the file could not be read, locked or held in memory just now; the next
                   // menu tries again
};

class HandlerDataSnapshot {
public:
    // Loads the record through `center` (the process's DataCenter when null).
    // Runs at most once: `dataLoaded` is set first, so a failure is not
    // retried. Without a record (a newer release, or a file that cannot be
    // read or held in memory now) `data` stays null, `favoriteFolders` empty
    // and `state` tells which; nothing is thrown for either.
    void LoadData(DataCenter* center = nullptr);

    bool dataLoaded = false;
    SnapshotState state = SnapshotState::NotLoaded;
    std::shared_ptr<AllData> data;
    FolderList favoriteFolders;  // stored order; the menu may sort it
};

}  // namespace Lumo::Data
