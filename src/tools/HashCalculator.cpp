// The hash engine: reads a file block by block through Win32 and feeds the streaming digest contexts.
#include "tools/HashCalculator.h"

#include <windows.h>

#include <array>
#include <memory>
#include <string>

#include "tools/hash/Crc32.h"
#include "tools/hash/GostHash.h"
#include "tools/hash/Md2.h"
#include "tools/hash/Md4.h"
#include "tools/hash/Md5.h"
#include "tools/hash/Sha1.h"
#include "tools/hash/Sha2.h"
#include "win/DiagnosticLog.h"
#include "win/Handle.h"
#include "system/Path.h"

namespace {

// Feeds every block from read() to update(); false when a read fails.
template <typename Update>
bool ReadAll(const HashBlockReader& read, size_t blockSize, Update&& update) {
    std::array<uint8_t, kMaxHashReadBlock> buffer;
    for (;;) {
        const long long got = read(buffer.data(), blockSize);
        if (got < 0 || static_cast<unsigned long long>(got) > blockSize) return false;
        if (got == 0) return true;  // a short read is not the end; only an empty one is
        update(buffer.data(), static_cast<size_t>(got));
    }
}

template <typename Context>
std::wstring DigestWith(Context& context, const HashFeed& feed, HashOutputFormat format) {
    context.Init();
    if (!feed([&](const uint8_t* p, size_t n) { context.Update(p, n); })) return {};
    uint8_t digest[Context::kDigestSize];
    context.Final(digest);
    return FormatDigest(digest, sizeof(digest), format);
}

bool IsKnownFormat(HashOutputFormat format) {
    const auto value = static_cast<int32_t>(format);
    return value >= 1 && value <= 4;
}

}  // namespace

const HashAlgorithmName* FindHashAlgorithm(const std::wstring& name) {
    static constexpr HashAlgorithmName kNames[] = {
        {L"crc32", HashAlgorithm::Crc32, 256}, {L"gost", HashAlgorithm::GostHash, 256},
        {L"md2", HashAlgorithm::Md2, 256},     {L"md4", HashAlgorithm::Md4, 256},
        {L"md5", HashAlgorithm::Md5, 256},     {L"sha1", HashAlgorithm::Sha1, 256},
        {L"sha256", HashAlgorithm::Sha2, 256}, {L"sha384", HashAlgorithm::Sha2, 384},
        {L"sha512", HashAlgorithm::Sha2, 512},
    };
    for (const HashAlgorithmName& candidate : kNames) {
        if (::lstrcmpiW(candidate.name, name.c_str()) == 0) return &candidate;
    }
    return nullptr;
}

// MD5 reads as much per call as the other digests: each read costs a system call of a microsecond or
// more, and at 2048 bytes a call those calls alone took half as long as hashing the data.
size_t HashReadBlockSize(HashAlgorithm algorithm) {
    return algorithm == HashAlgorithm::Crc32 ? 4096 : kMaxHashReadBlock;
}

std::wstring FormatDigest(const uint8_t* digest, size_t size, HashOutputFormat format) {
    if (!IsKnownFormat(format)) return {};
    const bool upper = format == HashOutputFormat::UppercaseNoSpaces || format == HashOutputFormat::Uppercase;
    const bool spaced = format == HashOutputFormat::Lowercase || format == HashOutputFormat::Uppercase;
    const wchar_t* digits = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    std::wstring text;
    text.reserve(size * 3);
    for (size_t i = 0; i < size; ++i) {
        if (spaced && i != 0) text += L' ';
        text += digits[digest[i] >> 4];
        text += digits[digest[i] & 15];
    }
    return text;
}

std::wstring CalculateHashOfFeed(HashAlgorithm algorithm, int shaBits, HashOutputFormat format,
                                 const HashFeed& feed) {
    if (!IsKnownFormat(format)) return {};
    switch (algorithm) {
        case HashAlgorithm::Crc32: {
            CCrc32Static crc;
            crc.Init();
            if (!feed([&](const uint8_t* p, size_t n) { crc.Update(p, n); })) return {};
            // The register value most significant byte first, which is how "%08x" prints it.
            const uint32_t value = crc.Final();
            const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                                      static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
            return FormatDigest(bytes, 4, format);
        }
        case HashAlgorithm::GostHash: {
            GostHashContext context;
            return DigestWith(context, feed, format);
        }
        case HashAlgorithm::Md2: {
            CMD2 context;
            return DigestWith(context, feed, format);
        }
        case HashAlgorithm::Md4: {
            Md4Context context;
            return DigestWith(context, feed, format);
        }
        case HashAlgorithm::Md5: {
            Md5Context context;
            return DigestWith(context, feed, format);
        }
        case HashAlgorithm::Sha1: {
            Sha1Context context;
            return DigestWith(context, feed, format);
        }
        case HashAlgorithm::Sha2: {
            Sha2Context context;
            if (!context.Begin(shaBits)) return {};
            if (!feed([&](const uint8_t* p, size_t n) { context.Update(p, n); })) return {};
            uint8_t digest[Sha2Context::kMaxDigestSize];
            context.Final(digest);
            return FormatDigest(digest, context.digestSize, format);
        }
    }
    return {};
}

std::wstring CalculateHashText(HashAlgorithm algorithm, int shaBits, HashOutputFormat format,
                               const HashBlockReader& read) {
    const size_t blockSize = HashReadBlockSize(algorithm);
    return CalculateHashOfFeed(algorithm, shaBits, format,
                               [&](const HashUpdate& update) { return ReadAll(read, blockSize, update); });
}

HashBlockReader FileBlockReader(void* file, unsigned long& error) {
    return [file, &error](uint8_t* buffer, size_t size) -> long long {
        DWORD got = 0;
        if (ReadFile(file, buffer, static_cast<DWORD>(size), &got, nullptr)) return got;
        // The writer of a pipe closing its end is the pipe's end of data, not a failure.
        const DWORD code = GetLastError();
        if (code == ERROR_BROKEN_PIPE) return 0;
        error = code ? code : ERROR_READ_FAULT;
        return -1;
    };
}

std::wstring HashReadFailureText(const std::wstring& path, unsigned long error) {
    std::wstring reason;
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (buffer) {
        reason.assign(buffer, length);
        ::LocalFree(buffer);
    }
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
        reason.pop_back();
    if (reason.empty()) reason = L"Error " + std::to_wstring(error);
    return L"File [" + path + L"] cannot be read:\r\n" + reason;
}

std::wstring HashCalculator::Calculate() {
    try {
        output.clear();
        error = 0;
        if (filePath.empty()) return output;
        // Others may keep reading, writing or even deleting the file while it is hashed.
        Lumo::Win::UniqueFile file(CreateFileW(Lumo::FileSystem::LongPathForm(filePath).c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file) {
            error = ::GetLastError();
            return output;
        }
        unsigned long readError = 0;
        const HashBlockReader read = FileBlockReader(file.get(), readError);
        if (!observer) {
            output = CalculateHashText(algorithm, shaBits, outputFormat, read);
            if (output.empty()) error = readError;
            return output;
        }
        LARGE_INTEGER size{};
        const unsigned long long total = ::GetFileSizeEx(file.get(), &size) ? size.QuadPart : 0;
        unsigned long long done = 0;
        int reported = -1;
        HashObserver& watcher = *observer;
        const HashBlockReader watchedRead = [&](uint8_t* buffer, size_t blockSize) -> long long {
            if (watcher.Cancelled()) return -1;
            const long long got = read(buffer, blockSize);
            if (got > 0) {
                done += static_cast<unsigned long long>(got);
                watcher.BytesRead(static_cast<size_t>(got));
            }
            // A file that grows while it is read stays at 100.
            const int percent = total == 0 || done >= total ? 100 : static_cast<int>(done * 100 / total);
            if (percent > reported) {
                reported = percent;
                watcher.Progress(percent);
            }
            return got;
        };
        output = CalculateHashText(algorithm, shaBits, outputFormat, watchedRead);
        if (watcher.Cancelled()) {
            output.clear();
            error = ERROR_CANCELLED;
        } else if (output.empty()) {
            error = readError;
        }
        return output;
    } catch (...) {
        Lumo::Win::LogCurrentException("HashCalculator::Calculate");
        output.clear();
        if (!error) error = ERROR_NOT_ENOUGH_MEMORY;
        return output;
    }
}
