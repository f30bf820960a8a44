// Loading of the handler's data snapshot.
#include "data/HandlerDataSnapshot.h"

#include <stdexcept>

#include "data/DataCenter.h"
#include "win/DiagnosticLog.h"
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
        // A verdict on the file, not a failure: the menu offers what it can without it.
        Lumo::Win::LogInfo("HandlerDataSnapshot::LoadData", "data file of a newer release left alone");
        data.reset();
        favoriteFolders.clear();
        state = SnapshotState::NewerRelease;
    } catch (...) {
        // Held elsewhere, unreadable or more than the memory free just now:
        // this menu goes without its data entries, the file is untouched and
        // the next menu loads again.
        Lumo::Win::LogCurrentException("HandlerDataSnapshot::LoadData");
        data.reset();
        favoriteFolders.clear();
        state = SnapshotState::Unavailable;
    }
}

}  // namespace Data
