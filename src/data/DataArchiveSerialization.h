// The records as boost serialization sees them: member order, class versions
// and the members that depend on the version read. The writer saves through
// these functions; the reference reader loads through them.
#pragma once

#include <boost/archive/basic_archive.hpp>
#include <boost/serialization/collection_size_type.hpp>
#include <boost/serialization/item_version_type.hpp>
#include <boost/serialization/level.hpp>
#include <boost/serialization/library_version_type.hpp>
#include <boost/serialization/list.hpp>
#include <boost/serialization/nvp.hpp>
#include <boost/serialization/shared_ptr.hpp>
#include <boost/serialization/split_free.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>
#include <boost/serialization/version.hpp>
#include <string>
#include <string_view>

#include "data/Records.h"
#include "win/Errors.h"

namespace Lumo::Data {

// Neither a signature nor the library version starts the file.
constexpr unsigned kDataArchiveFlags = boost::archive::no_header | boost::archive::no_codecvt;

// The archive library version whose field widths the file uses.
constexpr unsigned kDataArchiveLibraryVersion = 4;

}  // namespace Lumo::Data

BOOST_CLASS_VERSION(Lumo::Data::AllData, 1)

// A folder is written as the archive writes a wide string (the writer saves
// views of the folder list without copying them into strings).
BOOST_CLASS_IMPLEMENTATION(std::wstring_view, primitive_type)
BOOST_SERIALIZATION_SPLIT_FREE(Lumo::Data::FolderList)

namespace boost::serialization {

// The folder list takes the place of a vector of wide strings: the same class
// (one preamble, version 0, untracked), the same element count and item
// version, and the same strings.
template <class Archive>
void save(Archive& ar, const Lumo::Data::FolderList& folders, const unsigned int) {
    const collection_size_type count(folders.size());
    ar << BOOST_SERIALIZATION_NVP(count);
    const item_version_type item_version(version<std::wstring>::value);
    ar << BOOST_SERIALIZATION_NVP(item_version);
    for (std::wstring_view folder : folders) ar << make_nvp("item", folder);
}

template <class Archive>
void load(Archive& ar, Lumo::Data::FolderList& folders, const unsigned int) {
    collection_size_type count;
    ar >> BOOST_SERIALIZATION_NVP(count);
    item_version_type item_version(0);
    if (library_version_type(3) < ar.get_library_version()) ar >> BOOST_SERIALIZATION_NVP(item_version);
    folders.clear();
    folders.reserve(count);
    std::wstring folder;
    for (std::size_t i = 0; i < count; ++i) {
        ar >> make_nvp("item", folder);
        folders.push_back(folder);
    }
}

template <class Archive>
void serialize(Archive& ar, Lumo::Data::Favorites& favorites, const unsigned int) {
    ar& favorites.revision;
    ar& favorites.folders;
}

template <class Archive>
void serialize(Archive& ar, Lumo::Data::Settings& settings, const unsigned int) {
    ar& settings.sortMode;
}

template <class Archive>
void serialize(Archive& ar, Lumo::Data::UserSettings& userSettings, const unsigned int version) {
    if (version != 0) return;  // a layout this release does not know keeps the defaults
    ar& userSettings.revision;
    ar& userSettings.limitMenuWidth;
    ar& userSettings.menuWidthLimit;
    ar& userSettings.limitTopFavorites;
    ar& userSettings.topFavoriteLimit;
    ar& userSettings.historyDepth;
}

template <class Archive>
void serialize(Archive& ar, Lumo::Data::NavigateHistory& history, const unsigned int) {
    ar& history.items;
}

template <class Archive>
void serialize(Archive& ar, Lumo::Data::AllData& data, const unsigned int version) {
    ar& data.dataVersion;
    if (Archive::is_loading::value && data.dataVersion > Lumo::Data::AllData::CurrentDataVersion) {
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
