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

namespace Data {

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

// Reads the record from the complete bytes of a data file. Throws
// ReleaseVersionTooHigh for a file of a newer release and CorruptDataFile for
// anything else that is not a data file; the bytes are checked before any
// record is allocated, so no input makes it allocate more than it holds.
std::shared_ptr<AllData> ReadDataArchive(std::string_view bytes);

// The structural check ReadDataArchive runs first: walks the whole layout,
// checking every id, count and length against the remaining input.
void ValidateDataArchive(std::string_view bytes);

}  // namespace Data
