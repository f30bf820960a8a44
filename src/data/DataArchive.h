// The data file format: one AllData record in a boost binary archive without
// header, in the byte layout of archive library version 4 (one-byte class
// versions, 32-bit collection counts and item versions, 16-bit class ids,
// 32-bit object ids, UTF-16 strings after a 64-bit length, in every build).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "data/Records.h"

namespace Lumo::Data {

// The bytes are not a well-formed data file (truncated, damaged, or not a data
// file at all; the format has no header to tell).
class CorruptDataFile : public std::runtime_error {
public:
    CorruptDataFile(const std::string& what, std::size_t offset);
    std::size_t Offset() const { return offset_; }

private:
    std::size_t offset_;
};

// The complete bytes of a data file holding `data`.
std::string WriteDataArchive(const AllData& data);

// Most memory the records read from one file may take, by an estimate that is
// the same in every build (each string counts kStringMemoryCost plus its code
// units), so that a file one build sets aside the other sets aside too. A file
// over it is damaged to this release: nobody keeps millions of favorites, and
// a crafted file must not take the host's memory.
constexpr unsigned long long kMaxRecordMemory = 256ull << 20;
constexpr unsigned long long kStringMemoryCost = 48;

// The complete bytes of a data file, held in the block that the folder list of
// the record read from them takes over: the favorites stay where the file had
// them rather than being copied out.
struct DataFileBytes {
    FolderList::TextBlock block;  // the bytes, then room for one code unit more
    std::size_t size = 0;         // in bytes

    char* data() { return reinterpret_cast<char*>(block.data()); }
    std::string_view View() const {
        return std::string_view(reinterpret_cast<const char*>(block.data()), size);
    }
};

// Reads the record from the complete bytes of a data file. Throws
// ReleaseVersionTooHigh for a file of a newer release and CorruptDataFile for
// anything else that is not a data file. The records grow with what is read
// and every count and length is held against the remaining bytes first: no
// input makes it allocate more than its bytes back or kMaxRecordMemory.
std::shared_ptr<AllData> ReadDataArchive(std::string_view bytes);
// The same, using up `bytes`.
std::shared_ptr<AllData> ReadDataArchive(DataFileBytes&& bytes);

// The check ReadDataArchive makes, without building anything: walks the whole
// layout, holding every id, count and length against the remaining input and
// the memory estimate against kMaxRecordMemory.
void ValidateDataArchive(std::string_view bytes);

// The same record read by boost serialization after the same check: the
// reference the plain reader is held against (tests, fuzzing). Not used by
// the module.
std::shared_ptr<AllData> ReadDataArchiveWithBoost(std::string_view bytes);

}  // namespace Lumo::Data
