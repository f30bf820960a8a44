// The records as boost serialization sees them: member order, class versions
// and the members that depend on the version read. The writer saves through
// these functions; the reference reader loads through them.
#pragma once

#include <boost/archive/basic_archive.hpp>
#include <boost/serialization/list.hpp>
#include <boost/serialization/shared_ptr.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>
#include <boost/serialization/version.hpp>

#include "data/Records.h"
#include "win/Errors.h"

namespace Data {

// Neither a signature nor the library version starts the file.
constexpr unsigned kDataArchiveFlags = boost::archive::no_header | boost::archive::no_codecvt;

// The archive library version whose field widths the file uses.
constexpr unsigned kDataArchiveLibraryVersion = 4;

}  // namespace Data

BOOST_CLASS_VERSION(Data::AllData, 1)

namespace boost::serialization {

template <class Archive>
void serialize(Archive& ar, Data::Favorites& favorites, const unsigned int) {
    ar& favorites.revision;
    ar& favorites.folders;
}

template <class Archive>
void serialize(Archive& ar, Data::Settings& settings, const unsigned int) {
    ar& settings.sortMode;
}

template <class Archive>
void serialize(Archive& ar, Data::UserSettings& userSettings, const unsigned int version) {
    if (version != 0) return;  // a layout this release does not know keeps the defaults
    ar& userSettings.revision;
    ar& userSettings.limitMenuWidth;
    ar& userSettings.menuWidthLimit;
    ar& userSettings.limitTopFavorites;
    ar& userSettings.topFavoriteLimit;
    ar& userSettings.historyDepth;
}

template <class Archive>
void serialize(Archive& ar, Data::NavigateHistory& history, const unsigned int) {
    ar& history.items;
}

template <class Archive>
void serialize(Archive& ar, Data::AllData& data, const unsigned int version) {
    ar& data.dataVersion;
    if (Archive::is_loading::value && data.dataVersion > Data::AllData::CurrentDataVersion) {
        throw ReleaseVersionTooHigh();
    }
    if (version == 0) {
        ar& data.favorites;
        return;
    }
    ar& data.settings;
    ar& data.userSettings;
    ar& data.favorites;
    ar& data.navigateHistory;
    if (Archive::is_loading::value && data.navigateHistory && data.userSettings) {
        data.navigateHistory->maxCount = data.userSettings->historyDepth;
    }
}

}  // namespace boost::serialization
