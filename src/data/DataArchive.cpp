// Boost serialization of the data records. Reading uses DataInputArchive, boost's
// binary input archive told that the file is of archive library version 4;
// writing uses DataOutputArchive, which emits the field widths of that library
// version (boost's own binary output archive writes only its current layout).
// Both give strings a 64-bit length whatever the width of size_t, so that the
// 32-bit and the 64-bit module read and write one and the same file.
#include "data/DataArchive.h"

#include <boost/archive/basic_archive.hpp>
#include <boost/archive/binary_oarchive_impl.hpp>
#include <boost/archive/binary_iarchive_impl.hpp>
#include <boost/archive/impl/archive_serializer_map.ipp>
#include <boost/archive/impl/basic_binary_iarchive.ipp>
#include <boost/archive/impl/basic_binary_iprimitive.ipp>
#include <boost/archive/impl/basic_binary_oarchive.ipp>
#include <boost/archive/impl/basic_binary_oprimitive.ipp>
#include <boost/serialization/collection_size_type.hpp>
#include <boost/serialization/item_version_type.hpp>
#include <boost/serialization/list.hpp>
#include <boost/serialization/shared_ptr.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>
#include <boost/serialization/version.hpp>
#include <cstdint>
#include <sstream>
#include <streambuf>

#include "win/Errors.h"

namespace Data {

// Writes the archive layout of library version 4.
class DataOutputArchive
    : public boost::archive::binary_oarchive_impl<DataOutputArchive, char, std::char_traits<char>> {
    using Base = boost::archive::binary_oarchive_impl<DataOutputArchive, char, std::char_traits<char>>;
    friend class boost::archive::detail::interface_oarchive<DataOutputArchive>;
    friend class boost::archive::basic_binary_oarchive<DataOutputArchive>;
    friend class boost::archive::save_access;

public:
    static constexpr unsigned kFlags = boost::archive::no_header | boost::archive::no_codecvt;

    explicit DataOutputArchive(std::streambuf& buffer) : Base(buffer, kFlags) {}

    using Base::save;
    void save(const std::wstring& text) {
        Put(static_cast<std::uint64_t>(text.size()));
        this->save_binary(text.data(), text.size() * sizeof(wchar_t));
    }

protected:
    template <class T>
    void save_override(T& t) {
        Base::save_override(t);
    }
    void save_override(const boost::archive::version_type& t) {
        const std::uint32_t value = t;
        if (value > 0xFF) throw std::length_error("class version does not fit the archive layout");
        Put(static_cast<std::uint8_t>(value));
    }
    void save_override(const boost::serialization::collection_size_type& t) {
        const std::size_t value = t;
        if (value > 0xFFFFFFFFu) throw std::length_error("collection too large for the archive layout");
        Put(static_cast<std::uint32_t>(value));
    }
    void save_override(const boost::serialization::item_version_type& t) {
        Put(static_cast<std::uint32_t>(static_cast<unsigned int>(t)));
    }
    void save_override(const boost::archive::class_id_type& t) {
        Put(static_cast<std::int16_t>(static_cast<int>(t)));
    }
    void save_override(const boost::archive::class_id_reference_type& t) {
        Put(static_cast<std::int16_t>(static_cast<int>(t)));
    }
    void save_override(const boost::archive::object_id_type& t) {
        Put(static_cast<std::uint32_t>(static_cast<unsigned int>(t)));
    }
    void save_override(const boost::archive::object_reference_type& t) {
        Put(static_cast<std::uint32_t>(static_cast<unsigned int>(t)));
    }
    void save_override(const boost::archive::tracking_type& t) {
        Put(static_cast<std::uint8_t>(t.t ? 1 : 0));
    }

private:
    template <class Integer>
    void Put(Integer value) {
        this->save_binary(&value, sizeof value);
    }
};

// Reads the archive layout of library version 4 (set by the caller).
class DataInputArchive
    : public boost::archive::binary_iarchive_impl<DataInputArchive, char, std::char_traits<char>> {
    using Base = boost::archive::binary_iarchive_impl<DataInputArchive, char, std::char_traits<char>>;
    friend class boost::archive::detail::interface_iarchive<DataInputArchive>;
    friend class boost::archive::basic_binary_iarchive<DataInputArchive>;
    friend class boost::archive::load_access;

public:
    explicit DataInputArchive(std::streambuf& buffer) : Base(buffer, DataOutputArchive::kFlags) {}

    using Base::load;
    void load(std::wstring& text) {
        std::uint64_t length = 0;
        this->load_binary(&length, sizeof length);
        // The layout check has already held every length against the input.
        text.resize(static_cast<std::size_t>(length));
        this->load_binary(text.data(), text.size() * sizeof(wchar_t));
    }
};

}  // namespace Data

namespace boost::archive {
template class detail::archive_serializer_map<Data::DataInputArchive>;
template class basic_binary_iprimitive<Data::DataInputArchive, char, std::char_traits<char>>;
template class basic_binary_iarchive<Data::DataInputArchive>;
template class binary_iarchive_impl<Data::DataInputArchive, char, std::char_traits<char>>;
template class detail::archive_serializer_map<Data::DataOutputArchive>;
template class basic_binary_oprimitive<Data::DataOutputArchive, char, std::char_traits<char>>;
template class basic_binary_oarchive<Data::DataOutputArchive>;
template class binary_oarchive_impl<Data::DataOutputArchive, char, std::char_traits<char>>;
}  // namespace boost::archive

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

namespace Data {

namespace {

// Read-only stream buffer over bytes the caller keeps alive.
class ByteSource : public std::streambuf {
public:
    explicit ByteSource(std::string_view bytes) {
        char* begin = const_cast<char*>(bytes.data());
        setg(begin, begin, begin + bytes.size());
    }
};

constexpr unsigned kArchiveLibraryVersion = 4;

}  // namespace

std::string WriteDataArchive(const AllData& data) {
    std::stringbuf buffer(std::ios::out | std::ios::binary);
    {
        DataOutputArchive archive(buffer);
        archive << data;
    }
    return buffer.str();
}

std::shared_ptr<AllData> ReadDataArchive(std::string_view bytes) {
    ValidateDataArchive(bytes);
    auto data = std::make_shared<AllData>();
    ByteSource source(bytes);
    {
        DataInputArchive archive(source);
        archive.set_library_version(boost::serialization::library_version_type(kArchiveLibraryVersion));
        archive >> *data;
    }
    if (!data->favorites || !data->navigateHistory || !data->settings || !data->userSettings) {
        throw CorruptDataFile("missing record", bytes.size());
    }
    return data;
}

}  // namespace Data
