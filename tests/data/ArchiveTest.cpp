// Tests of the data file format: hand-assembled golden files read and written
// byte for byte, the older layouts, the newer-release guard, and damaged files
// (a table of typical damage and a bounded randomized mutation run).
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>

#include "data/DataArchive.h"
#include "win/Errors.h"

namespace {

// Little-endian field builders for writing the expected files by hand.
class Bytes {
public:
    Bytes& U8(std::uint8_t v) { return Raw(&v, 1); }
    Bytes& I16(std::int16_t v) { return Raw(&v, 2); }
    Bytes& I32(std::int32_t v) { return Raw(&v, 4); }
    Bytes& U32(std::uint32_t v) { return Raw(&v, 4); }
    Bytes& U64(std::uint64_t v) { return Raw(&v, 8); }
    // size_t length in code units, then the UTF-16 code units.
    Bytes& Str(const std::wstring& s) {
        U64(s.size());
        for (wchar_t c : s) {
            const std::uint16_t unit = static_cast<std::uint16_t>(c);
            Raw(&unit, 2);
        }
        return *this;
    }
    std::string str() const { return bytes_; }

private:
    Bytes& Raw(const void* p, std::size_t n) {
        bytes_.append(static_cast<const char*>(p), n);
        return *this;
    }
    std::string bytes_;
};

// The known record: sort by path name, non-default user settings, two
// favorites and two history entries.
Lumo::Data::AllData KnownRecord() {
    Lumo::Data::AllData data;
    data.settings->sortMode = Lumo::Data::SortByPathName;
    *data.userSettings = Lumo::Data::UserSettings{2, false, 480, true, 20, 7};
    data.favorites->revision = 9;
    data.favorites->folders = {L"C:\\Work", L"D:\\B\u00e9"};
    data.navigateHistory->items = {L"E:\\X", L"C:\\Work"};
    return data;
}

// clang-format off
std::string KnownRecordBytes() {
    return Bytes()
        // AllData, saved by value (class id 0, never written)
        .U8(0)            // tracking flag: not tracked
        .U8(1)            // class version 1
        .I32(3)           // dataVersion
        // settings: the shared_ptr wrapper's preamble (class id 1), written once per wrapper type
        .U8(0)            // wrapper tracking flag: never tracked
        .U8(1)            // wrapper class version 1
        .I16(2)           // class id of Settings
        .U8(1)            // Settings tracking flag: tracked (saved through a pointer)
        .U8(0)            // Settings class version 0
        .U32(0)           // object id 0
        .I32(1)           // sortMode SortByPathName
        // userSettings: wrapper class id 3, UserSettings class id 4
        .U8(0).U8(1)      // wrapper preamble
        .I16(4)           // class id
        .U8(1).U8(0)      // tracked, class version 0
        .U32(1)           // object id 1
        .I32(2)           // revision
        .U8(0)            // limitMenuWidth false
        .I32(480)         // menuWidthLimit
        .U8(1)            // limitTopFavorites true
        .I32(20)          // topFavoriteLimit
        .I32(7)           // historyDepth
        // favorites: wrapper class id 5, Favorites class id 6
        .U8(0).U8(1)      // wrapper preamble
        .I16(6)           // class id
        .U8(1).U8(0)      // tracked, class version 0
        .U32(2)           // object id 2
        .I32(9)           // revision
        .U8(0).U8(0)      // vector<wstring> preamble (class id 7): not tracked, version 0
        .U32(2)           // element count
        .U32(0)           // item version
        .Str(L"C:\\Work")   // size_t length 7, then UTF-16 code units
        .Str(L"D:\\B\u00e9")
        // navigateHistory: wrapper class id 8, NavigateHistory class id 9
        .U8(0).U8(1)      // wrapper preamble
        .I16(9)           // class id
        .U8(1).U8(0)      // tracked, class version 0
        .U32(3)           // object id 3
        .U8(0).U8(0)      // list<wstring> preamble (class id 10)
        .U32(2)           // element count
        .U32(0)           // item version
        .Str(L"E:\\X")      // most recent first
        .Str(L"C:\\Work")
        .str();
}

// An AllData of class version 0: dataVersion and favorites only.
std::string VersionZeroBytes(std::int32_t dataVersion) {
    return Bytes()
        .U8(0).U8(0)      // AllData: not tracked, class version 0
        .I32(dataVersion)
        .U8(0).U8(1)      // shared_ptr wrapper preamble (class id 1)
        .I16(2)           // Favorites class id 2
        .U8(1).U8(0)      // tracked, class version 0
        .U32(0)           // object id 0
        .I32(4)           // revision
        .U8(0).U8(0)      // vector preamble (class id 3)
        .U32(1)           // element count
        .U32(0)           // item version
        .Str(L"F:\\Old")
        .str();
}
// clang-format on

void ExpectKnownRecord(const Lumo::Data::AllData& data) {
    EXPECT_EQ(data.dataVersion, 3);
    EXPECT_EQ(data.settings->sortMode, Lumo::Data::SortByPathName);
    EXPECT_EQ(*data.userSettings, (Lumo::Data::UserSettings{2, false, 480, true, 20, 7}));
    EXPECT_EQ(data.favorites->revision, 9);
    EXPECT_EQ(data.favorites->folders, (Lumo::Data::FolderList{L"C:\\Work", L"D:\\B\u00e9"}));
    EXPECT_EQ(data.navigateHistory->items, (std::list<std::wstring>{L"E:\\X", L"C:\\Work"}));
    EXPECT_EQ(data.navigateHistory->maxCount, 7);  // capacity comes from historyDepth
}

TEST(DataArchive, WritesTheKnownRecordByteForByte) {
    const std::string written = Lumo::Data::WriteDataArchive(KnownRecord());
    EXPECT_EQ(written.size(), KnownRecordBytes().size());
    EXPECT_EQ(written, KnownRecordBytes());
}

TEST(DataArchive, ReadsTheKnownRecordAndWritesItBackUnchanged) {
    auto data = Lumo::Data::ReadDataArchive(KnownRecordBytes());
    ExpectKnownRecord(*data);
    EXPECT_EQ(Lumo::Data::WriteDataArchive(*data), KnownRecordBytes());
}

TEST(DataArchive, ClassVersionZeroRecordKeepsDefaultsBesideFavorites) {
    auto data = Lumo::Data::ReadDataArchive(VersionZeroBytes(3));
    EXPECT_EQ(data->dataVersion, 3);
    EXPECT_EQ(data->favorites->revision, 4);
    EXPECT_EQ(data->favorites->folders, Lumo::Data::FolderList{L"F:\\Old"});
    EXPECT_EQ(data->settings->sortMode, Lumo::Data::NoSort);
    EXPECT_EQ(*data->userSettings, Lumo::Data::UserSettings());
    EXPECT_TRUE(data->navigateHistory->items.empty());
    EXPECT_EQ(data->navigateHistory->maxCount, -1);
    // Written back, it takes the current layout.
    auto again = Lumo::Data::ReadDataArchive(Lumo::Data::WriteDataArchive(*data));
    EXPECT_EQ(again->favorites->folders, data->favorites->folders);
}

TEST(DataArchive, UnknownUserSettingsVersionKeepsDefaultsAndLoadsTheRest) {
    std::string bytes = KnownRecordBytes();
    // UserSettings preamble is at offset 24 (tracking) / 25 (version); its
    // 18 bytes of members start at 30 and are absent for other versions.
    ASSERT_EQ(bytes.substr(24, 6), Bytes().U8(1).U8(0).U32(1).str());
    bytes[25] = 1;
    bytes.erase(30, 18);
    auto data = Lumo::Data::ReadDataArchive(bytes);
    EXPECT_EQ(*data->userSettings, Lumo::Data::UserSettings());
    EXPECT_EQ(data->navigateHistory->maxCount, 10);
    EXPECT_EQ(data->favorites->revision, 9);
    EXPECT_EQ(data->favorites->folders.size(), 2u);
    EXPECT_EQ(data->navigateHistory->items.size(), 2u);
}

TEST(DataArchive, NewerDataVersionIsRejectedRightAfterIt) {
    std::string bytes = KnownRecordBytes();
    bytes[2] = 4;  // dataVersion 4, everything after well formed
    EXPECT_THROW(Lumo::Data::ReadDataArchive(bytes), ReleaseVersionTooHigh);
    EXPECT_THROW(Lumo::Data::ReadDataArchive(bytes.substr(0, 6)), ReleaseVersionTooHigh);  // nothing after it
    EXPECT_THROW(Lumo::Data::ReadDataArchive(VersionZeroBytes(1000)), ReleaseVersionTooHigh);
    EXPECT_NO_THROW(Lumo::Data::ReadDataArchive(VersionZeroBytes(-5)));  // older is fine
}

TEST(DataArchive, EmptyContainersAndHistoryOrderSurviveRoundTrips) {
    Lumo::Data::AllData empty;
    auto loaded = Lumo::Data::ReadDataArchive(Lumo::Data::WriteDataArchive(empty));
    EXPECT_TRUE(loaded->favorites->folders.empty());
    EXPECT_TRUE(loaded->navigateHistory->items.empty());

    Lumo::Data::AllData data;
    for (const wchar_t* f : {L"1", L"2", L"3", L"4"}) data.navigateHistory->Add(f);
    const std::list<std::wstring> order{L"4", L"3", L"2", L"1"};
    ASSERT_EQ(data.navigateHistory->items, order);
    auto once = Lumo::Data::ReadDataArchive(Lumo::Data::WriteDataArchive(data));
    auto twice = Lumo::Data::ReadDataArchive(Lumo::Data::WriteDataArchive(*once));
    EXPECT_EQ(once->navigateHistory->items, order);
    EXPECT_EQ(twice->navigateHistory->items, order);
}

TEST(DataArchive, StringsKeepEveryCodeUnit) {
    Lumo::Data::AllData data;
    const std::wstring odd =
        std::wstring(L"C:\\\u65e5\u672c\\") + L"\xD83D\xDE00" + std::wstring(1, L'\0') + L"x";
    data.favorites->folders = {odd, L"", std::wstring(5000, L'a')};
    auto loaded = Lumo::Data::ReadDataArchive(Lumo::Data::WriteDataArchive(data));
    EXPECT_EQ(loaded->favorites->folders, data.favorites->folders);
    // A list read from a file and then edited writes as one built afresh.
    loaded->favorites->folders.erase(0);
    data.favorites->folders = {L"", std::wstring(5000, L'a')};
    EXPECT_EQ(Lumo::Data::WriteDataArchive(*loaded), Lumo::Data::WriteDataArchive(data));
}

// Damage that must end in an exception, and no more memory than the input.
struct Damage {
    const char* name;
    std::string bytes;
};

std::string Patched(std::size_t offset, const std::string& with) {
    std::string bytes = KnownRecordBytes();
    bytes.replace(offset, with.size(), with);
    return bytes;
}

// A record whose favorites declare `declared` empty strings and hold `present`.
std::string EmptyStrings(std::uint32_t declared, std::uint32_t present) {
    std::string bytes = KnownRecordBytes().substr(0, 64) + Bytes().U32(declared).U32(0).str();
    bytes.append(std::size_t{present} * 8, '\0');
    return bytes + KnownRecordBytes().substr(112);  // the history
}
// Empty strings whose records would need more than the memory allowed them.
constexpr std::uint32_t kOverMemory =
    static_cast<std::uint32_t>(Lumo::Data::kMaxRecordMemory / Lumo::Data::kStringMemoryCost + 1);

TEST(DataArchive, DamagedFilesAreRejectedWithAnException) {
    const std::size_t favoritesCount = 64;  // offset of the favorites element count
    const std::size_t firstLength = 72;     // offset of the first string length
    ASSERT_EQ(KnownRecordBytes().substr(favoritesCount, 4), Bytes().U32(2).str());
    ASSERT_EQ(KnownRecordBytes().substr(firstLength, 8), Bytes().U64(7).str());
    ASSERT_EQ(Lumo::Data::ReadDataArchive(EmptyStrings(3, 3))->favorites->folders,
              (Lumo::Data::FolderList{L"", L"", L""}));
    std::mt19937 random(7);
    std::string noise(4096, '\0');
    for (char& c : noise) c = static_cast<char>(random());

    const Damage table[] = {
        {"empty file", ""},
        {"one byte", "\x01"},
        {"random bytes", noise},
        {"text file", "[Favorites]\r\nC:\\Work\r\n"},
        {"absurd element count", Patched(favoritesCount, Bytes().U32(0xFFFFFFFFu).str())},
        {"2^31 favorites", Patched(favoritesCount, Bytes().U32(0x80000000u).str())},
        {"more empty strings than the memory allowed", EmptyStrings(kOverMemory, kOverMemory)},
        {"32 M empty strings, a few there", EmptyStrings(32u << 20, 1000)},
        {"count one too high", Patched(favoritesCount, Bytes().U32(3).str())},
        {"absurd string length", Patched(firstLength, Bytes().U64(0x7FFFFFFFFFFFFFFFull).str())},
        {"string length beyond the end", Patched(firstLength, Bytes().U64(400).str())},
        {"wrapping string length", Patched(firstLength, Bytes().U64(0x8000000000000002ull).str())},
        {"unknown class id", Patched(8, Bytes().I16(50).str())},
        {"negative class id", Patched(8, Bytes().I16(-7).str())},
        {"null pointer", Patched(8, Bytes().I16(-1).str())},
        {"class id of another record", Patched(8, Bytes().I16(4).str())},
        {"object id reference", Patched(12, Bytes().U32(3).str())},
        {"tracked top-level object", Patched(0, Bytes().U8(1).str())},
        {"tracked pointer wrapper", Patched(6, Bytes().U8(1).str())},
        {"invalid boolean", Patched(34, Bytes().U8(2).str())},
        {"AllData class version 2", Patched(1, Bytes().U8(2).str())},
        {"trailing data", KnownRecordBytes() + "x"},
        {"truncated inside a string", KnownRecordBytes().substr(0, 85)},
    };
    for (const Damage& damage : table) {
        SCOPED_TRACE(damage.name);
        EXPECT_THROW(Lumo::Data::ReadDataArchive(damage.bytes), Lumo::Data::CorruptDataFile);
    }
}

TEST(DataArchive, EveryTruncationIsRejected) {
    const std::string bytes = KnownRecordBytes();
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        EXPECT_THROW(Lumo::Data::ReadDataArchive(bytes.substr(0, length)), std::exception)
            << "length " << length;
    }
}

// Random damage of valid files: every outcome is a complete record or a
// std::exception (a crash, a hang or a huge allocation fails the run).
TEST(DataArchive, RandomMutationsLoadOrThrow) {
    Lumo::Data::AllData big = KnownRecord();
    for (int i = 0; i < 40; ++i) big.favorites->folders.push_back(L"C:\\Folder " + std::to_wstring(i));
    const std::string seeds[] = {KnownRecordBytes(), VersionZeroBytes(2), Lumo::Data::WriteDataArchive(big)};
    std::mt19937 random(20240611);
    const std::uint64_t extremes[] = {
        0, 1, 0x7F, 0xFF, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF, 0xFFFFFFFFFFFFFFFFull, 0x8000000000000000ull};
    int loaded = 0;
    int rejected = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = seeds[round % 3];
        const int edits = 1 + static_cast<int>(random() % 3);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            const std::size_t at = random() % bytes.size();
            switch (random() % 5) {
                case 0:  // flip bits of one byte
                    bytes[at] = static_cast<char>(bytes[at] ^ (1 + random() % 255));
                    break;
                case 1: {  // an extreme value over a field
                    const std::uint64_t value = extremes[random() % std::size(extremes)];
                    const std::size_t width = std::size_t{1} << (random() % 4);
                    for (std::size_t k = 0; k < width && at + k < bytes.size(); ++k) {
                        bytes[at + k] = static_cast<char>(value >> (8 * k));
                    }
                    break;
                }
                case 2:  // drop a run of bytes
                    bytes.erase(at, 1 + random() % 16);
                    break;
                case 3:  // insert a run of bytes
                    bytes.insert(at, std::string(1 + random() % 16, static_cast<char>(random())));
                    break;
                default:  // cut the file
                    bytes.resize(at);
                    break;
            }
        }
        try {
            auto data = Lumo::Data::ReadDataArchive(bytes);
            ASSERT_TRUE(data->favorites && data->navigateHistory && data->settings && data->userSettings);
            ASSERT_LE(data->dataVersion, 3);
            // Boost serialization reads the same record from the same bytes.
            auto reference = Lumo::Data::ReadDataArchiveWithBoost(bytes);
            ASSERT_EQ(data->favorites->folders, reference->favorites->folders) << "round " << round;
            ASSERT_EQ(data->navigateHistory->items, reference->navigateHistory->items);
            ASSERT_EQ(*data->userSettings, *reference->userSettings);
            ASSERT_EQ(data->settings->sortMode, reference->settings->sortMode);
            ASSERT_EQ(data->favorites->revision, reference->favorites->revision);
            ASSERT_EQ(data->navigateHistory->maxCount, reference->navigateHistory->maxCount);
            ++loaded;
        } catch (const std::exception&) {
            ++rejected;
        }
    }
    // Both outcomes occur: mutations inside strings and numbers still load.
    EXPECT_GT(loaded, 0);
    EXPECT_GT(rejected, 0);
}

}  // namespace
