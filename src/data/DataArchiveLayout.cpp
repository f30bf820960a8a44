// Structural check of a data file, written as plain code over the bytes. The
// boost reader trusts the class ids, object ids, counts and lengths it finds
// (an unexpected class id indexes past its tables, a huge count or length is
// allocated before the data is read), so nothing reaches it before this walk
// has accepted the whole file.
#include <cstdint>
#include <cstring>

#include "data/DataArchive.h"
#include "win/Errors.h"

namespace Data {

CorruptDataFile::CorruptDataFile(const std::string& what, std::size_t offset)
    : std::runtime_error("corrupt data file: " + what + " at offset " + std::to_string(offset)),
      offset_(offset) {}

namespace {

// Every collection of the file holds wide strings, each at least its 8-byte
// length, and every string holds 2-byte code units.
constexpr std::size_t kStringLengthSize = 8;
constexpr std::size_t kCodeUnitSize = 2;

class LayoutWalker {
public:
    explicit LayoutWalker(std::string_view bytes) : bytes_(bytes) {}

    void Walk() {
        const std::uint8_t allDataVersion = ClassPreamble("AllData", false);
        const std::int32_t dataVersion = Int32();
        if (dataVersion > AllData::CurrentDataVersion) throw ReleaseVersionTooHigh();
        if (allDataVersion > 1) Fail("unknown AllData class version");
        if (allDataVersion == 0) {
            Pointer("Favorites", [this](std::uint8_t) { FavoritesBody(); });
        } else {
            Pointer("Settings", [this](std::uint8_t) { Int32(); });
            Pointer("UserSettings", [this](std::uint8_t version) {
                if (version != 0) return;  // other versions carry no members
                Int32();
                Bool();
                Int32();
                Bool();
                Int32();
                Int32();
            });
            Pointer("Favorites", [this](std::uint8_t) { FavoritesBody(); });
            Pointer("NavigateHistory", [this](std::uint8_t) { StringCollection(); });
        }
        if (position_ != bytes_.size()) Fail("data after the record");
    }

private:
    [[noreturn]] void Fail(const std::string& what) const { throw CorruptDataFile(what, position_); }

    std::size_t Remaining() const { return bytes_.size() - position_; }

    void Take(void* out, std::size_t size) {
        if (Remaining() < size) Fail("unexpected end of file");
        std::memcpy(out, bytes_.data() + position_, size);
        position_ += size;
    }
    std::uint8_t Byte() {
        std::uint8_t value = 0;
        Take(&value, 1);
        return value;
    }
    bool Bool() {
        const std::uint8_t value = Byte();
        if (value > 1) Fail("invalid boolean");
        return value != 0;
    }
    std::int16_t Int16() {
        std::int16_t value = 0;
        Take(&value, sizeof value);
        return value;
    }
    std::int32_t Int32() {
        std::int32_t value = 0;
        Take(&value, sizeof value);
        return value;
    }
    std::uint32_t UInt32() {
        std::uint32_t value = 0;
        Take(&value, sizeof value);
        return value;
    }
    std::uint64_t UInt64() {
        std::uint64_t value = 0;
        Take(&value, sizeof value);
        return value;
    }

    // Tracking flag and class version, written once per class; returns the
    // version. Objects saved by value are never tracked in this format.
    std::uint8_t ClassPreamble(const char* name, bool tracked) {
        const bool tracking = Bool();
        if (tracking != tracked) Fail(std::string("unexpected tracking flag of ") + name);
        return Byte();
    }

    // A shared pointer: the pointer wrapper's preamble, the pointee's class id
    // (the next one the reader registers), its preamble, object id and body.
    template <class Body>
    void Pointer(const char* name, Body body) {
        ClassPreamble("shared pointer", false);
        nextClassId_ += 1;  // the wrapper takes one, its pointee the next
        const std::int16_t classId = Int16();
        if (classId == -1) Fail(std::string("null pointer to ") + name);
        if (classId != nextClassId_) Fail(std::string("unexpected class id of ") + name);
        nextClassId_ += 1;
        const bool tracking = Bool();
        const std::uint8_t version = Byte();
        if (tracking) {
            const std::uint32_t objectId = UInt32();
            if (objectId != nextObjectId_) Fail(std::string("unexpected object id of ") + name);
            nextObjectId_ += 1;
        }
        body(version);
    }

    void FavoritesBody() {
        Int32();
        StringCollection();
    }

    // The containers are classes of their own to the archive: a preamble
    // (each container type appears once in the file) and a class id that the
    // reader assigns without reading it.
    void StringCollection() {
        ClassPreamble("collection", false);
        nextClassId_ += 1;
        const std::uint32_t count = UInt32();
        UInt32();  // item version
        if (count > Remaining() / kStringLengthSize) Fail("collection count exceeds the file");
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t length = UInt64();
            if (length > Remaining() / kCodeUnitSize) Fail("string length exceeds the file");
            position_ += static_cast<std::size_t>(length) * kCodeUnitSize;
        }
    }

    std::string_view bytes_;
    std::size_t position_ = 0;
    std::int16_t nextClassId_ = 1;  // next class id the reader assigns; AllData took 0
    std::uint32_t nextObjectId_ = 0;
};

}  // namespace

void ValidateDataArchive(std::string_view bytes) { LayoutWalker(bytes).Walk(); }

}  // namespace Data
