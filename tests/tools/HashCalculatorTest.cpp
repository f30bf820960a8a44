// The hash engine on real files under Wine: display formats, block boundaries, failures (never shown as a
// checksum), reading until the true end of the data, and file sharing.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"
#include "tools/HashCalculator.h"
#include "tools/hash/HashAcceleration.h"
#include "tools/hash/Md5.h"
#include "system/Path.h"

namespace {

using QuelvarTest::TempFolder;
using QuelvarTest::WriteFileBytes;

struct Choice {
    HashAlgorithm algorithm;
    int shaBits;
    size_t hexDigits;
};

const Choice kChoices[] = {
    {HashAlgorithm::Crc32, 256, 8}, {HashAlgorithm::GostHash, 256, 64}, {HashAlgorithm::Md2, 256, 32},
    {HashAlgorithm::Md4, 256, 32},  {HashAlgorithm::Md5, 256, 32},      {HashAlgorithm::Sha1, 256, 40},
    {HashAlgorithm::Sha2, 256, 64}, {HashAlgorithm::Sha2, 384, 96},     {HashAlgorithm::Sha2, 512, 128},
};

std::wstring Hash(const std::wstring& path, HashAlgorithm algorithm, int shaBits = 256,
                  HashOutputFormat format = HashOutputFormat::LowercaseNoSpaces) {
    HashCalculator calculator;
    calculator.algorithm = algorithm;
    calculator.shaBits = shaBits;
    calculator.outputFormat = format;
    calculator.filePath = path;
    return calculator.Calculate();
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 generator(seed);
    std::string s(n, '\0');
    for (char& ch : s) ch = static_cast<char>(generator() & 0xFF);
    return s;
}

// The engine's digest of in-memory bytes, handed over in the pieces it asks for: the reference the file path
// must match.
std::wstring HashBytes(const std::string& data, HashAlgorithm algorithm, int shaBits = 256) {
    size_t offset = 0;
    return CalculateHashText(algorithm, shaBits, HashOutputFormat::LowercaseNoSpaces,
                             [&](uint8_t* buffer, size_t size) -> long long {
                                 const size_t n = std::min(size, data.size() - offset);
                                 memcpy(buffer, data.data() + offset, n);
                                 offset += n;
                                 return static_cast<long long>(n);
                             });
}

TEST(ToolsHashCalculator, StartsAsSha1LowercaseWith256BitsAndNoPath) {
    HashCalculator calculator;
    EXPECT_EQ(calculator.algorithm, HashAlgorithm::Sha1);
    EXPECT_EQ(calculator.outputFormat, HashOutputFormat::LowercaseNoSpaces);
    EXPECT_EQ(calculator.shaBits, 256);
    EXPECT_TRUE(calculator.filePath.empty());
    EXPECT_TRUE(calculator.output.empty());
}

TEST(ToolsHashCalculator, FourDisplayFormats) {
    TempFolder folder;
    WriteFileBytes(folder.File(L"empty"), "");
    WriteFileBytes(folder.File(L"abc"), "abc");
    const std::wstring empty = folder.File(L"empty");
    EXPECT_EQ(Hash(empty, HashAlgorithm::Md5, 256, HashOutputFormat::LowercaseNoSpaces),
              L"d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Hash(empty, HashAlgorithm::Md5, 256, HashOutputFormat::Lowercase),
              L"d4 1d 8c d9 8f 00 b2 04 e9 80 09 98 ec f8 42 7e");
    EXPECT_EQ(Hash(empty, HashAlgorithm::Md5, 256, HashOutputFormat::UppercaseNoSpaces),
              L"D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Hash(empty, HashAlgorithm::Md5, 256, HashOutputFormat::Uppercase),
              L"D4 1D 8C D9 8F 00 B2 04 E9 80 09 98 EC F8 42 7E");
    EXPECT_EQ(Hash(empty, HashAlgorithm::Sha1), L"da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(Hash(empty, HashAlgorithm::Crc32), L"00000000");

    const std::wstring abc = folder.File(L"abc");
    EXPECT_EQ(Hash(abc, HashAlgorithm::Crc32, 256, HashOutputFormat::Uppercase), L"35 24 41 C2");
    EXPECT_EQ(Hash(abc, HashAlgorithm::Crc32, 256, HashOutputFormat::Lowercase), L"35 24 41 c2");
    EXPECT_EQ(Hash(abc, HashAlgorithm::Crc32, 256, HashOutputFormat::UppercaseNoSpaces), L"352441C2");

    // Every algorithm: the digit count, one space between bytes and none at either end, case only changes.
    for (const Choice& c : kChoices) {
        const std::wstring plain = Hash(abc, c.algorithm, c.shaBits, HashOutputFormat::LowercaseNoSpaces);
        const std::wstring spaced = Hash(abc, c.algorithm, c.shaBits, HashOutputFormat::Lowercase);
        const std::wstring upper = Hash(abc, c.algorithm, c.shaBits, HashOutputFormat::UppercaseNoSpaces);
        const std::wstring upperSpaced = Hash(abc, c.algorithm, c.shaBits, HashOutputFormat::Uppercase);
        ASSERT_EQ(plain.size(), c.hexDigits);
        EXPECT_EQ(plain.find_first_not_of(L"0123456789abcdef"), std::wstring::npos) << plain;
        ASSERT_EQ(spaced.size(), c.hexDigits + c.hexDigits / 2 - 1);
        for (size_t i = 0; i < spaced.size(); ++i) {
            if (i % 3 == 2) {
                EXPECT_EQ(spaced[i], L' ');
            } else {
                EXPECT_EQ(spaced[i], plain[(i / 3) * 2 + i % 3]);
            }
        }
        std::wstring expectedUpper = plain;
        for (wchar_t& ch : expectedUpper) ch = static_cast<wchar_t>(towupper(ch));
        EXPECT_EQ(upper, expectedUpper);
        std::wstring expectedUpperSpaced = spaced;
        for (wchar_t& ch : expectedUpperSpaced) ch = static_cast<wchar_t>(towupper(ch));
        EXPECT_EQ(upperSpaced, expectedUpperSpaced);
    }
}

TEST(ToolsHashCalculator, UnknownAlgorithmFormatOrShaLengthGiveEmptyText) {
    TempFolder folder;
    WriteFileBytes(folder.File(L"abc"), "abc");
    const std::wstring abc = folder.File(L"abc");
    EXPECT_EQ(Hash(abc, static_cast<HashAlgorithm>(0)), L"");
    EXPECT_EQ(Hash(abc, static_cast<HashAlgorithm>(8)), L"");
    EXPECT_EQ(Hash(abc, static_cast<HashAlgorithm>(-1)), L"");
    EXPECT_EQ(Hash(abc, HashAlgorithm::Md5, 256, static_cast<HashOutputFormat>(0)), L"");
    EXPECT_EQ(Hash(abc, HashAlgorithm::Md5, 256, static_cast<HashOutputFormat>(5)), L"");
    EXPECT_EQ(Hash(abc, HashAlgorithm::Sha2, 224), L"");
    EXPECT_EQ(Hash(abc, HashAlgorithm::Sha2, 48).size(), 96u);  // the length in bytes is accepted too
    EXPECT_EQ(Hash(abc, HashAlgorithm::Md5, 224).size(), 32u);  // shaBits only matters for SHA-2
}

TEST(ToolsHashCalculator, FilesAtBlockBoundariesMatchTheDigestOfTheirBytes) {
    TempFolder folder;
    const std::string data = RandomBytes(16001 * 2, 21);
    for (size_t size :
         {0, 1, 31, 32, 33, 2047, 2048, 2049, 4095, 4096, 4097, 8192, 15999, 16000, 16001, 32000, 32001}) {
        const std::wstring path = folder.File(L"f" + std::to_wstring(size));
        const std::string bytes = data.substr(0, size);
        WriteFileBytes(path, bytes);
        for (const Choice& c : kChoices) {
            const std::wstring expected = HashBytes(bytes, c.algorithm, c.shaBits);
            ASSERT_EQ(expected.size(), c.hexDigits);
            EXPECT_EQ(Hash(path, c.algorithm, c.shaBits), expected)
                << "size " << size << " algorithm " << static_cast<int>(c.algorithm) << "/" << c.shaBits;
        }
    }
    // A file whose path is far longer than MAX_PATH is opened by its whole name.
    std::wstring deep = folder.File(std::wstring(200, L'd'));
    ASSERT_TRUE(::CreateDirectoryW(Lumo::FileSystem::LongPathForm(deep).c_str(), nullptr));
    deep += L"\\" + std::wstring(200, L'e') + L".bin";
    ASSERT_GT(deep.size(), 400u);
    const std::string bytes = data.substr(0, 100);
    WriteFileBytes(Lumo::FileSystem::LongPathForm(deep), bytes);
    EXPECT_EQ(Hash(deep, HashAlgorithm::Sha2, 256), HashBytes(bytes, HashAlgorithm::Sha2, 256));
}

TEST(ToolsHashCalculator, PortablePathGivesTheSameFileDigests) {
    TempFolder folder;
    const std::wstring path = folder.File(L"random");
    WriteFileBytes(path, RandomBytes(100000, 4));
    std::vector<std::wstring> accelerated;
    for (const Choice& c : kChoices) accelerated.push_back(Hash(path, c.algorithm, c.shaBits));
    const bool previous = SetHashAccelerationEnabled(false);
    for (size_t i = 0; i < std::size(kChoices); ++i) {
        EXPECT_EQ(Hash(path, kChoices[i].algorithm, kChoices[i].shaBits), accelerated[i]) << i;
    }
    SetHashAccelerationEnabled(previous);
}

TEST(ToolsHashCalculator, FailuresGiveEmptyTextForEveryAlgorithm) {
    TempFolder folder;
    const std::wstring locked = folder.File(L"locked");
    WriteFileBytes(locked, "some content");
    // Held open with no sharing: nobody else can open it.
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    for (const Choice& c : kChoices) {
        SCOPED_TRACE(static_cast<int>(c.algorithm));
        EXPECT_EQ(Hash(L"", c.algorithm, c.shaBits), L"");
        EXPECT_EQ(Hash(folder.File(L"missing"), c.algorithm, c.shaBits), L"");
        EXPECT_EQ(Hash(locked, c.algorithm, c.shaBits), L"");
        EXPECT_EQ(Hash(folder.Path(), c.algorithm, c.shaBits), L"");  // a folder is not a file
    }
    CloseHandle(holder);
    EXPECT_EQ(Hash(locked, HashAlgorithm::Crc32).size(), 8u);  // readable again once released
}

TEST(ToolsHashCalculator, OutputHoldsTheLastResult) {
    TempFolder folder;
    WriteFileBytes(folder.File(L"abc"), "abc");
    HashCalculator calculator;
    calculator.algorithm = HashAlgorithm::Md5;
    calculator.filePath = folder.File(L"abc");
    EXPECT_EQ(calculator.Calculate(), L"900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(calculator.output, L"900150983cd24fb0d6963f7d28e17f72");
    calculator.filePath = folder.File(L"missing");
    EXPECT_EQ(calculator.Calculate(), L"");
    EXPECT_EQ(calculator.output, L"");
}

TEST(ToolsHashCalculator, FileOpenForWritingByAnotherProgramCanBeHashed) {
    TempFolder folder;
    const std::wstring path = folder.File(L"shared");
    WriteFileBytes(path, "abc");
    HANDLE writer =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Hash(path, HashAlgorithm::Md5), L"900150983cd24fb0d6963f7d28e17f72");
    CloseHandle(writer);
}

TEST(ToolsHashCalculator, ShortReadsInTheMiddleAreNotTheEnd) {
    const std::string data = RandomBytes(100000, 8);
    for (const Choice& c : kChoices) {
        const std::wstring whole = HashBytes(data, c.algorithm, c.shaBits);
        std::mt19937 generator(static_cast<unsigned>(c.hexDigits));
        size_t offset = 0;
        const std::wstring trickled = CalculateHashText(
            c.algorithm, c.shaBits, HashOutputFormat::LowercaseNoSpaces,
            [&](uint8_t* buffer, size_t size) -> long long {
                const size_t n = std::min<size_t>(1 + generator() % size, data.size() - offset);
                memcpy(buffer, data.data() + offset, n);
                offset += n;
                return static_cast<long long>(n);
            });
        EXPECT_EQ(trickled, whole) << static_cast<int>(c.algorithm);
        EXPECT_EQ(offset, data.size());
    }
}

TEST(ToolsHashCalculator, ReadErrorGivesEmptyText) {
    for (const Choice& c : kChoices) {
        int calls = 0;
        EXPECT_EQ(CalculateHashText(c.algorithm, c.shaBits, HashOutputFormat::LowercaseNoSpaces,
                                    [&](uint8_t* buffer, size_t size) -> long long {
                                        memset(buffer, 'x', size);
                                        return ++calls < 3 ? static_cast<long long>(size) : -1;
                                    }),
                  L"")
            << static_cast<int>(c.algorithm);
        EXPECT_EQ(calls, 3);
        // A reader claiming more bytes than the buffer holds is a failure, not a digest of stray memory.
        EXPECT_EQ(CalculateHashText(
                      c.algorithm, c.shaBits, HashOutputFormat::LowercaseNoSpaces,
                      [](uint8_t*, size_t size) -> long long { return static_cast<long long>(size) + 1; }),
                  L"");
    }
}

TEST(ToolsHashCalculator, ReadsEachAlgorithmInItsBlockSize) {
    for (const Choice& c : kChoices) {
        std::vector<size_t> requested;
        CalculateHashText(c.algorithm, c.shaBits, HashOutputFormat::LowercaseNoSpaces,
                          [&](uint8_t*, size_t size) -> long long {
                              requested.push_back(size);
                              return 0;
                          });
        ASSERT_EQ(requested.size(), 1u);
        const size_t expected = c.algorithm == HashAlgorithm::Crc32 ? 4096 : 16000;
        EXPECT_EQ(requested[0], expected) << static_cast<int>(c.algorithm);
    }
}

// A pipe hands its data over in whatever pieces the writer sends; the digest must still cover all of it.
TEST(ToolsHashCalculator, PipeDeliveringSmallPiecesIsHashedToItsEnd) {
    const std::wstring name = L"\\\\.\\pipe\\quelvar-hash-test-" + std::to_wstring(GetCurrentProcessId());
    const std::string data = RandomBytes(50000, 9);
    HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                   4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    std::thread writer([&] {
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return;
        for (size_t offset = 0; offset < data.size(); offset += 700) {
            DWORD written = 0;
            const DWORD n = static_cast<DWORD>(std::min<size_t>(700, data.size() - offset));
            if (!WriteFile(pipe, data.data() + offset, n, &written, nullptr)) break;
            if (offset % 7000 == 0) Sleep(1);
        }
        // Closing (rather than disconnecting) keeps what the reader has not taken yet; the reader then sees
        // the broken pipe that marks the end of the data.
        FlushFileBuffers(pipe);
        CloseHandle(pipe);
    });
    const std::wstring digest = Hash(name, HashAlgorithm::Md5);
    writer.join();

    Md5Context md5;
    md5.Init();
    md5.Update(data.data(), data.size());
    uint8_t bytes[16];
    md5.Final(bytes);
    EXPECT_EQ(digest, FormatDigest(bytes, 16, HashOutputFormat::LowercaseNoSpaces));
}

}  // namespace
