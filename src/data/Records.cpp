// Behaviour of the data records: history recording, upgrade, settings equality.
#include "data/Records.h"

#include <algorithm>

namespace Lumo::Data {

bool UserSettings::operator==(const UserSettings& other) const {
    return revision == other.revision && limitMenuWidth == other.limitMenuWidth &&
           menuWidthLimit == other.menuWidthLimit && limitTopFavorites == other.limitTopFavorites &&
           topFavoriteLimit == other.topFavoriteLimit && historyDepth == other.historyDepth;
}

bool NavigateHistory::Add(const std::wstring& folder) {
    if (maxCount == 0) return false;
    bool changed = true;
    auto found = std::find(items.begin(), items.end(), folder);
    if (found == items.end()) {
        items.push_front(folder);
    } else if (found == items.begin()) {
        changed = false;
    } else {
        items.splice(items.begin(), items, found);  // move to front, no copy
    }
    if (maxCount > 0 && items.size() > static_cast<std::size_t>(maxCount)) {
        items.resize(static_cast<std::size_t>(maxCount));
        changed = true;
    }
    return changed;
}

bool AllData::Upgrade() {
    if (dataVersion > 2) return false;
    dataVersion = CurrentDataVersion;
    return true;
}

}  // namespace Lumo::Data
