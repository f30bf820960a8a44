// Writing the data file: boost serialization of the records through
// DataOutputArchive, which emits the field widths of archive library version 4
// (boost's own binary output archive writes only its current layout). Strings
// get a 64-bit length whatever the width of size_t, so that the 32-bit and the
// 64-bit module write one and the same file.
#include "data/DataArchive.h"

#include <boost/archive/binary_oarchive_impl.hpp>
#include <boost/archive/impl/archive_serializer_map.ipp>
#include <boost/archive/impl/basic_binary_oarchive.ipp>
#include <boost/archive/impl/basic_binary_oprimitive.ipp>
#include <boost/serialization/collection_size_type.hpp>
#include <boost/serialization/item_version_type.hpp>
#include <cstdint>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>

#include "data/DataArchiveSerialization.h"

namespace Lumo::Data {

// Writes the archive layout of library version 4.
class DataOutputArchive
    : public boost::archive::binary_oarchive_impl<DataOutputArchive, char, std::char_traits<char>> {
    using Base = boost::archive::binary_oarchive_impl<DataOutputArchive, char, std::char_traits<char>>;
    friend class boost::archive::detail::interface_oarchive<DataOutputArchive>;
    friend class boost::archive::basic_binary_oarchive<DataOutputArchive>;
    friend class boost::archive::save_access;

public:
    explicit DataOutputArchive(std::streambuf& buffer) : Base(buffer, kDataArchiveFlags) {}

    using Base::save;
    void save(std::wstring_view text) {
        Put(static_cast<std::uint64_t>(text.size()));
        this->save_binary(text.data(), text.size() * sizeof(wchar_t));
    }
    void save(const std::wstring& text) { save(std::wstring_view(text)); }

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

}  // namespace Lumo::Data

namespace boost::archive {
template class detail::archive_serializer_map<Lumo::Data::DataOutputArchive>;
template class basic_binary_oprimitive<Lumo::Data::DataOutputArchive, char, std::char_traits<char>>;
template class basic_binary_oarchive<Lumo::Data::DataOutputArchive>;
template class binary_oarchive_impl<Lumo::Data::DataOutputArchive, char, std::char_traits<char>>;
}  // namespace boost::archive

namespace Lumo::Data {

namespace {

// The archive's output: one string sized for the whole file up front, handed
// over at the end, rather than a string stream that grows by copying and is
// copied once more when read out.
class StringSink : public std::streambuf {
public:
    explicit StringSink(std::size_t expected) { bytes_.reserve(expected); }
    std::string Take() { return std::move(bytes_); }

protected:
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
        bytes_.append(bytes, static_cast<std::size_t>(count));
        return count;
    }
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) bytes_.push_back(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }

private:
    std::string bytes_;
};

// The file's size but for its few fixed fields.
std::size_t StringsSize(const AllData& data) {
    std::size_t size = 0;
    if (data.favorites) {
        for (std::wstring_view folder : data.favorites->folders) size += 8 + folder.size() * sizeof(wchar_t);
    }
    if (data.navigateHistory) {
        for (const std::wstring& item : data.navigateHistory->items)
            size += 8 + item.size() * sizeof(wchar_t);
    }
    return size;
}

}  // namespace

std::string WriteDataArchive(const AllData& data) {
    StringSink sink(StringsSize(data) + 128);
    {
        DataOutputArchive archive(sink);
        archive << data;
    }
    return sink.Take();
}

}  // namespace Lumo::Data
