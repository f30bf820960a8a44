// The reference reader of the data file: boost serialization's binary input
// archive, told that the file is of archive library version 4, loading through
// the same serialize functions the writer uses. The module reads with the
// plain reader of DataArchiveLayout.cpp; this one stays as the yardstick that
// tests and the fuzz program hold the plain reader against.
#include <boost/archive/binary_iarchive_impl.hpp>
#include <boost/archive/impl/archive_serializer_map.ipp>
#include <boost/archive/impl/basic_binary_iarchive.ipp>
#include <boost/archive/impl/basic_binary_iprimitive.ipp>
#include <cstdint>
#include <streambuf>

#include "data/DataArchive.h"
#include "data/DataArchiveSerialization.h"

namespace Lumo::Data {

// Reads the archive layout of library version 4 (set by the caller).
class DataInputArchive
    : public boost::archive::binary_iarchive_impl<DataInputArchive, char, std::char_traits<char>> {
    using Base = boost::archive::binary_iarchive_impl<DataInputArchive, char, std::char_traits<char>>;
    friend class boost::archive::detail::interface_iarchive<DataInputArchive>;
    friend class boost::archive::basic_binary_iarchive<DataInputArchive>;
    friend class boost::archive::load_access;

public:
    explicit DataInputArchive(std::streambuf& buffer) : Base(buffer, kDataArchiveFlags) {}

    using Base::load;
    void load(std::wstring& text) {
        std::uint64_t length = 0;
        this->load_binary(&length, sizeof length);
        // The layout check has already held every length against the input.
        text.resize(static_cast<std::size_t>(length));
        this->load_binary(text.data(), text.size() * sizeof(wchar_t));
    }
};

namespace {

// Read-only stream buffer over bytes the caller keeps alive.
class ByteSource : public std::streambuf {
public:
    explicit ByteSource(std::string_view bytes) {
        char* begin = const_cast<char*>(bytes.data());
        setg(begin, begin, begin + bytes.size());
    }
};

}  // namespace

std::shared_ptr<AllData> ReadDataArchiveWithBoost(std::string_view bytes) {
    // Boost trusts every id, count and length it finds.
    ValidateDataArchive(bytes);
    auto data = std::make_shared<AllData>();
    ByteSource source(bytes);
    {
        DataInputArchive archive(source);
        archive.set_library_version(boost::serialization::library_version_type(kDataArchiveLibraryVersion));
        archive >> *data;
    }
    if (!data->favorites || !data->navigateHistory || !data->settings || !data->userSettings) {
        throw CorruptDataFile("missing record", bytes.size());
    }
    return data;
}

}  // namespace Lumo::Data

namespace boost::archive {
template class detail::archive_serializer_map<Lumo::Data::DataInputArchive>;
template class basic_binary_iprimitive<Lumo::Data::DataInputArchive, char, std::char_traits<char>>;
template class basic_binary_iarchive<Lumo::Data::DataInputArchive>;
template class binary_iarchive_impl<Lumo::Data::DataInputArchive, char, std::char_traits<char>>;
}  // namespace boost::archive
