// Reading the data file, written as plain code over the bytes. One walk of the
// layout checks every class id, object id, count and length against the
// remaining input and holds the memory the records take against a fixed
// allowance as it goes; reading builds the records during the same walk, so
// they grow only with what is read and a count is never trusted beyond what
// the remaining bytes can hold. Reading this way (rather than through boost's
// input archive, which trusts what it finds and sizes its containers from the
// declared counts up front) keeps a crafted file from taking the host's memory
// and keeps a large file quick to load.
#include <cstdint>
#include <cstring>
#include <list>
#include <string>
#include <utility>
#include <vector>

#include "data/DataArchive.h"
#include "win/Errors.h"

namespace Lumo::Data {

CorruptDataFile::CorruptDataFile(const std::string& what, std::size_t offset)
    : std::runtime_error("corrupt data file: " + what + " at offset " + std::to_string(offset)),
      offset_(offset) {}

namespace {

// Every collection of the file holds wide strings, each at least its 8-byte
// length, and every string holds 2-byte code units.
constexpr std::size_t kStringLengthSize = 8;
constexpr std::size_t kCodeUnitSize = 2;

// Build false: checks only, `data` and `file` are null. Build true: also
// fills `data`, which starts with the defaults (a failure leaves it half
// filled; the caller drops it), and gives it the block of `file`, whose bytes
// it reads, as the favorites' block.
template <bool Build>
class LayoutWalker {
public:
    LayoutWalker(std::string_view bytes, AllData* data, DataFileBytes* file)
        : bytes_(bytes), data_(data), file_(file) {}

    void Walk() {
        const std::uint8_t allDataVersion = ClassPreamble("AllData", false);
        const std::int32_t dataVersion = Int32();
        if (dataVersion > AllData::CurrentDataVersion) throw ReleaseVersionTooHigh();
        if (allDataVersion > 1) Fail("unknown AllData class version");
        if constexpr (Build) data_->dataVersion = dataVersion;
        if (allDataVersion == 0) {
            Pointer("Favorites", [this](std::uint8_t) { FavoritesBody(); });
        } else {
            Pointer("Settings", [this](std::uint8_t) {
                const std::int32_t mode = Int32();
                if constexpr (Build) data_->settings->sortMode = static_cast<FavoriteSortMode>(mode);
            });
            Pointer("UserSettings", [this](std::uint8_t version) {
                if (version != 0) return;  // other versions carry no members and keep the defaults
                UserSettings settings;
                settings.revision = Int32();
                settings.limitMenuWidth = Bool();
                settings.menuWidthLimit = Int32();
                settings.limitTopFavorites = Bool();
                settings.topFavoriteLimit = Int32();
                settings.historyDepth = Int32();
                if constexpr (Build) *data_->userSettings = settings;
            });
            Pointer("Favorites", [this](std::uint8_t) { FavoritesBody(); });
            Pointer("NavigateHistory", [this](std::uint8_t) { StringCollection(History()); });
            if constexpr (Build) data_->navigateHistory->maxCount = data_->userSettings->historyDepth;
        }
        if (position_ != bytes_.size()) Fail("data after the record");
        // Every byte is read: the block is the favorites' from now on.
        if constexpr (Build) {
            wchar_t* const block = file_->block.data();
            for (const FolderList::Span& span : folderSpans_) block[span.start + span.length] = L'\0';
            data_->favorites->folders = FolderList(std::move(file_->block), std::move(folderSpans_));
        }
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
        const std::int32_t revision = Int32();
        if constexpr (Build) data_->favorites->revision = revision;
        StringCollection(Folders());
    }

    FolderList* Folders() {
        if constexpr (Build) return &data_->favorites->folders;
        return nullptr;
    }
    std::list<std::wstring>* History() {
        if constexpr (Build) return &data_->navigateHistory->items;
        return nullptr;
    }

    // The containers are classes of their own to the archive: a preamble
    // (each container type appears once in the file) and a class id that the
    // reader assigns without reading it. The strings are all checked before
    // any is taken.
    template <class Container>
    void StringCollection(Container* out) {
        static_cast<void>(out);  // unused when only checking
        ClassPreamble("collection", false);
        nextClassId_ += 1;
        const std::uint32_t count = UInt32();
        UInt32();  // item version
        // Every string takes at least its length field, and every string
        // counts against the memory allowed, so neither bound can be passed
        // by a count that the rest of the file does not back.
        if (count > Remaining() / kStringLengthSize) Fail("collection count exceeds the file");
        if (memory_ + std::uint64_t{count} * kStringMemoryCost > kMaxRecordMemory) {
            Fail("records larger than the memory allowed for them");
        }
        const std::size_t first = position_;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t length = UInt64();
            if (length > Remaining() / kCodeUnitSize) Fail("string length exceeds the file");
            memory_ += kStringMemoryCost + length * kCodeUnitSize;
            if (memory_ > kMaxRecordMemory) Fail("records larger than the memory allowed for them");
            position_ += static_cast<std::size_t>(length) * kCodeUnitSize;
        }
        if constexpr (Build) {
            const std::size_t last = position_;
            position_ = first;
            Take(out, count);
            position_ = last;
        }
    }

    // Takes `count` strings that were checked already. The folders stay in
    // the file's block, where they lie on code-unit boundaries (every field
    // before a string has an even size); each gets its zero over the first
    // bytes after it once the whole file is read.
    void Take(FolderList*, std::uint32_t count) {
        folderSpans_.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t length = static_cast<std::size_t>(UInt64());
            if (position_ % kCodeUnitSize != 0) Fail("string off a code unit boundary");
            folderSpans_.push_back(FolderList::Span{static_cast<std::uint32_t>(position_ / kCodeUnitSize),
                                                    static_cast<std::uint32_t>(length)});
            position_ += length * kCodeUnitSize;
        }
    }
    void Take(std::list<std::wstring>* out, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t length = static_cast<std::size_t>(UInt64());
            std::wstring& text = out->emplace_back();
            text.resize(length);
            std::memcpy(text.data(), bytes_.data() + position_, length * kCodeUnitSize);
            position_ += length * kCodeUnitSize;
        }
    }

    std::string_view bytes_;
    AllData* data_;
    DataFileBytes* file_;
    std::vector<FolderList::Span> folderSpans_;
    std::size_t position_ = 0;
    std::int16_t nextClassId_ = 1;  // next class id the reader assigns; AllData took 0
    std::uint32_t nextObjectId_ = 0;
    unsigned long long memory_ = 0;  // estimated memory of the strings read so far
};

static_assert(sizeof(wchar_t) == kCodeUnitSize, "the file holds UTF-16 code units");

}  // namespace

void ValidateDataArchive(std::string_view bytes) { LayoutWalker<false>(bytes, nullptr, nullptr).Walk(); }

std::shared_ptr<AllData> ReadDataArchive(DataFileBytes&& bytes) {
    auto data = std::make_shared<AllData>();
    LayoutWalker<true>(bytes.View(), data.get(), &bytes).Walk();
    return data;
}

std::shared_ptr<AllData> ReadDataArchive(std::string_view bytes) {
    DataFileBytes copy;
    copy.block.resize(bytes.size() / kCodeUnitSize + 1);
    copy.size = bytes.size();
    if (!bytes.empty()) std::memcpy(copy.data(), bytes.data(), bytes.size());
    return ReadDataArchive(std::move(copy));
}

}  // namespace Lumo::Data
