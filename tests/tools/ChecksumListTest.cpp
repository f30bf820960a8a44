// Checksum lists: the line formats as the coreutils, BSD and SFV tools write them, the text encodings lists
// come in, and the batch that hashes many files at once, including the disk rule that reads a seeking disk
// one file at a time.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tools/ChecksumBatch.h"
#include "tools/ChecksumList.h"
#include "win/Handle.h"

namespace {

using namespace Lumo::Tools;

const std::wstring kMd5Abc = L"900150983cd24fb0d6963f7d28e17f72";
const std::wstring kSha256Abc = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(ToolsChecksumList, ReadsEveryLineFormatWithItsEscapesAndCountsWhatItCannotRead) {
    struct Row {
        std::wstring line;
        const wchar_t* hint;  // the list file's extension, or null
        const wchar_t* name;  // null: not an entry
        const wchar_t* algorithm;
        bool malformed;
    };
    const Row rows[] = {
        {kSha256Abc + L"  with space.txt", nullptr, L"with space.txt", L"sha256", false},
        {kSha256Abc + L" *binary.bin\r", nullptr, L"binary.bin", L"sha256", false},
        {L"\\" + kSha256Abc + L"  new\\nline\\\\back", nullptr, L"new\nline\\back", L"sha256", false},
        {L"\\" + kSha256Abc + L"  bad\\qescape", nullptr, nullptr, nullptr, true},
        {kSha256Abc + L"  gost.txt", L"x.gost", L"gost.txt", L"gost", false},
        {kMd5Abc + L"  md4.txt", L"x.md4", L"md4.txt", L"md4", false},
        {kMd5Abc + L"  md5.txt", L"x.sha256", L"md5.txt", L"md5", false},
        {L"SHA256 (a (1).txt) = " + kSha256Abc, nullptr, L"a (1).txt", L"sha256", false},
        {L"\\MD5 (x\\\\y) = " + kMd5Abc, nullptr, L"x\\y", L"md5", false},
        {L"GOST94 (g) = " + kSha256Abc, nullptr, L"g", L"gost", false},
        {L"MD5 (short) = " + kSha256Abc, nullptr, nullptr, nullptr, true},
        {L"name with spaces.iso  352441C2", L"x.sfv", L"name with spaces.iso", L"crc32", false},
        {L"file.bin 352441c2", L"x.sha1", nullptr, nullptr, true},
        {L"#notes.txt 352441C2", L"x.sfv", L"#notes.txt", L"crc32", false},
        {L"; comment", L"x.sfv", nullptr, nullptr, false},
        {L"   # comment", nullptr, nullptr, nullptr, false},
        {L"  \t", nullptr, nullptr, nullptr, false},
        {kSha256Abc.substr(1) + L"  odd.txt", nullptr, nullptr, nullptr, true},
        {kSha256Abc + L"  ", nullptr, nullptr, nullptr, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const ChecksumList list =
            ParseChecksumList(row.line, row.hint ? AlgorithmOfChecksumFileName(row.hint) : nullptr);
        EXPECT_EQ(row.malformed ? 1u : 0u, list.malformedLines.size());
        ASSERT_EQ(row.name ? 1u : 0u, list.entries.size());
        if (!row.name) continue;
        EXPECT_EQ(row.name, list.entries[0].name);
        EXPECT_STREQ(row.algorithm, list.entries[0].algorithm->name);
        EXPECT_EQ(std::wstring::npos, list.entries[0].digest.find_first_of(L"ABCDEF"));
    }
    // Line numbers survive blank and broken lines, and the first real line decides what a file looks like.
    const ChecksumList mixed = ParseChecksumList(L"# made by hand\n\nbroken\n" + kMd5Abc + L"  a\n", nullptr);
    EXPECT_EQ(std::vector<size_t>{3}, mixed.malformedLines);
    ASSERT_EQ(1u, mixed.entries.size());
    EXPECT_EQ(4u, mixed.entries[0].line);
    EXPECT_FALSE(LooksLikeChecksumList(L"# made by hand\n\nbroken\n" + kMd5Abc + L"  a\n"));
    EXPECT_TRUE(LooksLikeChecksumList(L"; sfv\r\nfile 352441C2\r\n"));
    EXPECT_EQ(nullptr, AlgorithmOfChecksumFileName(L"C:\\x.sha256\\list.txt"));
    EXPECT_STREQ(L"sha512", AlgorithmOfChecksumFileName(L"C:\\x\\List.SHA512")->name);
    EXPECT_STREQ(L"sha256", AlgorithmOfChecksumFileName(L"C:\\x.md5\\Sha256Sums")->name);
}

TEST(ToolsChecksumList, DecodesEveryEncodingAndWritesWhatTheToolsReadBack) {
    const std::wstring word = L"\u00fcn\u00efc\u00f8d\u00e9";  // "ünïcødé"
    EXPECT_EQ(word, DecodeChecksumText("\xC3\xBCn\xC3\xAF"
                                       "c\xC3\xB8"
                                       "d\xC3\xA9"));
    EXPECT_EQ(word, DecodeChecksumText("\xEF\xBB\xBF\xC3\xBCn\xC3\xAF"
                                       "c\xC3\xB8"
                                       "d\xC3\xA9"));
    EXPECT_EQ(std::wstring(L"a\u00fc"), DecodeChecksumText(std::string("\xFF\xFE"
                                                                       "a\0\xFC\0",
                                                                       6)));
    // Not UTF-8: the ANSI code page, whatever it is, gives two characters for two bytes.
    EXPECT_EQ(2u, DecodeChecksumText("\xFC\xE9").size());

    const HashAlgorithmName& sha256 = *FindHashAlgorithm(L"sha256");
    EXPECT_EQ(ToUtf8(kSha256Abc) + "  sub dir/" + "\xC3\xBC.txt\n",
              FormatChecksumLine(sha256, kSha256Abc, L"sub dir/\u00fc.txt"));
    EXPECT_EQ("\\" + ToUtf8(kSha256Abc) + "  a\\\\b\\nc\n",
              FormatChecksumLine(sha256, kSha256Abc, L"a\\b\nc"));
    EXPECT_EQ(ToUtf8(kSha256Abc) + "  sub\\x\n", FormatChecksumLine(sha256, kSha256Abc, L"sub\\x"));
    EXPECT_EQ("352441c2  x\n", FormatHashLine(L"352441C2", L"x"));
    EXPECT_EQ("x y.bin 352441C2\n",
              FormatChecksumLine(*FindHashAlgorithm(L"crc32"), L"352441c2", L"x y.bin"));
    EXPECT_EQ(L".sfv", ChecksumFileExtension(*FindHashAlgorithm(L"crc32")));
    // Every written line reads back as the same entry.
    for (const wchar_t* name : {L"plain", L"a\\b\nc", L"sub/x y"}) {
        const ChecksumList back =
            ParseChecksumList(DecodeChecksumText(FormatChecksumLine(sha256, kSha256Abc, name)), nullptr);
        ASSERT_EQ(1u, back.entries.size());
        EXPECT_EQ(name, back.entries[0].name);
    }
    EXPECT_EQ(L"C:\\list\\sub\\x.txt", ResolveListedName(L"C:\\list", L"sub/x.txt"));
    EXPECT_EQ(L"D:\\abs.txt", ResolveListedName(L"C:\\list\\", L"D:\\abs.txt"));
    EXPECT_EQ(L"\\\\server\\share\\f", ResolveListedName(L"C:\\list", L"//server/share/f"));
}

TEST(ToolsChecksumBatch, HashesEveryFileInParallelAndACancelEndsEveryUnfinishedOne) {
    QuelvarTest::TempFolder temp;
    QuelvarTest::WriteFileBytes(temp.File(L"abc"), "abc");
    const std::wstring locked = temp.File(L"locked");
    QuelvarTest::WriteFileBytes(locked, "x");
    Lumo::Win::UniqueFile hold(
        ::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(hold);
    // Any file may be a list: its start tells, whatever its name.
    QuelvarTest::WriteFileBytes(temp.File(L"notes.txt"),
                                "# made by hand\r\n" + ToUtf8(kMd5Abc) + "  abc\r\n");
    EXPECT_TRUE(FileLooksLikeChecksumList(temp.File(L"notes.txt")));
    EXPECT_FALSE(FileLooksLikeChecksumList(temp.File(L"abc")));
    const HashAlgorithmName* sha256 = FindHashAlgorithm(L"sha256");
    std::vector<ChecksumTask> tasks;
    for (int i = 0; i < 40; ++i) tasks.push_back({temp.File(L"abc"), sha256});
    tasks.push_back({temp.File(L"gone\\abc"), sha256});
    tasks.push_back({locked, FindHashAlgorithm(L"md5")});
    {
        HANDLE finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        Lumo::Win::UniqueHandle ownFinished(finished);
        ChecksumBatch batch(
            tasks, 3, [finished] { ::SetEvent(finished); }, true);
        ASSERT_TRUE(batch.WaitFor(tasks.size() - 1, 10000));
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(finished, 10000));
        for (size_t i = 0; i < 40; ++i) EXPECT_EQ(kSha256Abc, batch.Result(i).digest) << i;
        EXPECT_EQ(ChecksumStatus::Missing, batch.Result(40).status);
        EXPECT_EQ(ChecksumStatus::Unreadable, batch.Result(41).status);
        EXPECT_EQ(static_cast<unsigned long>(ERROR_SHARING_VIOLATION), batch.Result(41).error);
        EXPECT_EQ(tasks.size(), batch.FilesDone());
        EXPECT_EQ(120u, batch.BytesDone());
        ASSERT_TRUE(batch.WaitForWorkers(10000));
        unsigned long long total = 0;
        EXPECT_TRUE(batch.TotalBytes(total));
        EXPECT_EQ(121u, total);
    }
    // A large file cancelled at once: every result is final, the last one Cancelled, the workers end.
    QuelvarTest::WriteFileBytes(temp.File(L"big"), std::string(64 * 1024 * 1024, 'b'));
    ChecksumBatch big({{temp.File(L"big"), FindHashAlgorithm(L"md2")}, {temp.File(L"abc"), sha256}}, 1);
    big.Cancel();
    EXPECT_TRUE(big.WaitFor(1, 0));
    EXPECT_EQ(ChecksumStatus::Cancelled, big.Result(1).status);
    EXPECT_TRUE(big.WaitForWorkers(10000));
}

TEST(ToolsChecksumBatch, ASeekingDiskIsReadOneFileAtATime) {
    EXPECT_EQ(1u, ParallelReaders(SeekPenalty::Incurred, 8, 1000));
    EXPECT_EQ(8u, ParallelReaders(SeekPenalty::None, 8, 1000));
    EXPECT_EQ(8u, ParallelReaders(SeekPenalty::Unknown, 8, 1000));
    EXPECT_EQ(2u, ParallelReaders(SeekPenalty::None, 8, 2));
    EXPECT_EQ(1u, ParallelReaders(SeekPenalty::None, 0, 5));
    // What the volume's device answers decides; the question goes to the device, not to its root folder.
    QuelvarTest::TempFolder temp;
    for (const bool seeks : {true, false}) {
        std::vector<std::wstring> asked;
        const SeekPenalty penalty =
            SeekPenaltyOfPath(temp.File(L"file.bin"), [&](const std::wstring& device, bool& incurs) {
                asked.push_back(device);
                incurs = seeks;
                return true;
            });
        ASSERT_EQ(1u, asked.size());
        EXPECT_TRUE(asked[0].rfind(L"\\\\?\\Volume{", 0) == 0 || asked[0].rfind(L"\\\\.\\", 0) == 0)
            << asked[0];
        EXPECT_NE(L'\\', asked[0].back());
        EXPECT_EQ(seeks ? SeekPenalty::Incurred : SeekPenalty::None, penalty);
    }
    EXPECT_EQ(SeekPenalty::Unknown,
              SeekPenaltyOfPath(temp.File(L"f"), [](const std::wstring&, bool&) { return false; }));
}

}  // namespace
