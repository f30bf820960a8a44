// Loading of the handler's data snapshot.
#include "data/HandlerDataSnapshot.h"

#include <stdexcept>

#include "data/DataCenter.h"
#include "win/Errors.h"

namespace Data {

void HandlerDataSnapshot::LoadData(DataCenter* center) {
    if (dataLoaded) return;
    dataLoaded = true;
    if (!center) center = DataCenter::Instance();
    if (!center) throw std::logic_error("DataCenter has not been created");
    try {
        data = center->Load();
        favoriteFolders = data->favorites->folders;
        state = SnapshotState::Loaded;
    } catch (const ReleaseVersionTooHigh&) {
        data.reset();
        favoriteFolders.clear();
        state = SnapshotState::NewerRelease;
    } catch (const std::exception&) {
        data.reset();
        favoriteFolders.clear();
        state = SnapshotState::Unavailable;
    }
}

}  // namespace Data
