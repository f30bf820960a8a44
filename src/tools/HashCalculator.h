// The hash engine: one checksum or message digest of one file, returned as text in one of four formats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

enum class HashAlgorithm : int32_t {
    Crc32 = 1,
    GostHash = 2,
    Md2 = 3,
    Md4 = 4,
    Md5 = 5,
    Sha1 = 6,
    Sha2 = 7,  // SHA-256, SHA-384 or SHA-512, chosen by HashCalculator::shaBits
};

enum class HashOutputFormat : int32_t {
    LowercaseNoSpaces = 1,
    Lowercase = 2,  // a space between bytes
    UppercaseNoSpaces = 3,
    Uppercase = 4,  // a space between bytes
};

// Reads up to size bytes into buffer: returns the count (0 at end of data) or -1 on a read error.
using HashBlockReader = std::function<long long(uint8_t* buffer, size_t size)>;

// Read size per call for each algorithm (at most kMaxHashReadBlock bytes of buffer are ever held).
constexpr size_t kMaxHashReadBlock = 16000;
size_t HashReadBlockSize(HashAlgorithm algorithm);

// Digest of everything read by read(), formatted; empty for an unknown algorithm, format or SHA-2 length,
// or when a read fails.
std::wstring CalculateHashText(HashAlgorithm algorithm, int shaBits, HashOutputFormat format,
                               const HashBlockReader& read);

// Digest of everything `feed` hands to the update function it is given, piece by piece, in pieces of any
// size; `feed` returns false when getting the data failed, and the result is then empty, as it is for an
// unknown algorithm, format or SHA-2 length. For callers that read the data themselves.
using HashUpdate = std::function<void(const uint8_t* data, size_t size)>;
using HashFeed = std::function<bool(const HashUpdate& update)>;
std::wstring CalculateHashOfFeed(HashAlgorithm algorithm, int shaBits, HashOutputFormat format,
                                 const HashFeed& feed);

// Reads from an open file handle (a HANDLE); a failed read sets `error` to the system's code. The end of a
// pipe whose writer closed it is the end of data.
HashBlockReader FileBlockReader(void* file, unsigned long& error);

// What a checksum tool shows when `path` could not be read: the file and the system's text for `error`.
std::wstring HashReadFailureText(const std::wstring& path, unsigned long error);

// Hex text of a digest in the given format (empty for an unknown format).
std::wstring FormatDigest(const uint8_t* digest, size_t size, HashOutputFormat format);

// The short name of each digest as programs take it ("crc32", "gost", "md2",
// "md4", "md5", "sha1", "sha256", "sha384", "sha512").
struct HashAlgorithmName {
    const wchar_t* name;
    HashAlgorithm algorithm;
    int shaBits;
};
// Case-insensitive; null for an unknown name.
const HashAlgorithmName* FindHashAlgorithm(const std::wstring& name);

// Watches a computation that may take long: told how far it has come, asked
// whether to go on.
class HashObserver {
public:
    virtual ~HashObserver() = default;
    // Asked before every read; true stops the computation, whose result is then empty.
    virtual bool Cancelled() = 0;
    // The share of the file read so far, 0 to 100, each time it grows by a whole percent.
    virtual void Progress(int percent) = 0;
    // Told the size of every block read, for progress over many files.
    virtual void BytesRead(size_t) {}
};

// A plain value created on the caller's stack for one computation.
class HashCalculator {
public:
    HashAlgorithm algorithm = HashAlgorithm::Sha1;
    HashOutputFormat outputFormat = HashOutputFormat::LowercaseNoSpaces;
    int32_t shaBits = 256;
    std::wstring filePath;
    std::wstring output;
    // Optional, not owned; without one nothing is reported and nothing can stop the work.
    HashObserver* observer = nullptr;

    // The system's error code when the last Calculate could not open or read the file; 0 otherwise.
    unsigned long error = 0;

    // Reads the whole file and returns its digest text. Empty when the path is empty, the file cannot be
    // opened or a read fails (`error` then says why), so a failure is never shown as a checksum. Never
    // throws.
    std::wstring Calculate();
};
