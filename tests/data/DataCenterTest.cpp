// Tests of Lumo::Data::DataCenter: every operation against a real data file in a private
// folder, the data and install folders, the handler's snapshot, failed and
// interrupted writes, and threads and processes sharing one file.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "DataTestSupport.h"
#include "data/DataArchive.h"
#include "data/DataCenter.h"
#include "data/DataFile.h"
#include "data/HandlerDataSnapshot.h"
#include "win/Errors.h"
#include "system/ShellFolders.h"

namespace {

using Folders = Lumo::Data::FolderList;

class DataCenterTest : public ::testing::Test {
protected:
    DataTest::TempFolder temp_;
    std::wstring folder_ = temp_.Path() + L"Quelvar\\";
    Lumo::Data::DataCenter center_{folder_};

    std::wstring FilePath() const { return folder_ + L"Data.qvd"; }
    std::string FileBytes() const { return DataTest::ReadBytes(FilePath()); }
    std::shared_ptr<Lumo::Data::AllData> Stored() const { return Lumo::Data::ReadDataArchive(FileBytes()); }
    void Store(const Lumo::Data::AllData& data) {
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        DataTest::WriteBytes(FilePath(), Lumo::Data::WriteDataArchive(data));
    }
};

TEST_F(DataCenterTest, FirstLoadCreatesTheFileWithRevisionOne) {
    EXPECT_FALSE(DataTest::Exists(FilePath()));
    auto data = center_.Load();
    ASSERT_TRUE(DataTest::Exists(FilePath()));
    EXPECT_EQ(data->favorites->revision, 1);
    EXPECT_EQ(Stored()->favorites->revision, 1);
    EXPECT_EQ(*data->userSettings, Lumo::Data::UserSettings());
    EXPECT_EQ(data->navigateHistory->maxCount, 10);
    EXPECT_FALSE(DataTest::Exists(FilePath() + L".tmp"));
    // Each Load hands out a record of its own.
    EXPECT_NE(center_.Load()->favorites, data->favorites);
}

TEST_F(DataCenterTest, AddFavoriteAppendsOnceAndLeavesTheFileAloneForRepeats) {
    EXPECT_TRUE(center_.AddFavorite(L"C:\\A"));
    EXPECT_TRUE(center_.AddFavorite(L"C:\\B"));
    const std::string before = FileBytes();
    EXPECT_FALSE(center_.AddFavorite(L"C:\\A"));
    EXPECT_EQ(FileBytes(), before);
    EXPECT_TRUE(center_.AddFavorite(L"c:\\a"));  // exact comparison
    auto data = Stored();
    EXPECT_EQ(data->favorites->folders, (Folders{L"C:\\A", L"C:\\B", L"c:\\a"}));
    EXPECT_EQ(data->favorites->revision, 4);
}

TEST_F(DataCenterTest, AddFavoritesAppendsNewOnesInListOrderWithOneRevision) {
    center_.AddFavorite(L"X");
    const int revision = Stored()->favorites->revision;
    EXPECT_TRUE(center_.AddFavorites({L"N1", L"X", L"N2"}));
    auto data = Stored();
    EXPECT_EQ(data->favorites->folders, (Folders{L"X", L"N1", L"N2"}));
    EXPECT_EQ(data->favorites->revision, revision + 1);

    const std::string before = FileBytes();
    EXPECT_FALSE(center_.AddFavorites({L"X", L"N2"}));
    EXPECT_FALSE(center_.AddFavorites({}));
    EXPECT_EQ(FileBytes(), before);

    // Repeats inside the list are only compared with what was stored before.
    EXPECT_TRUE(center_.AddFavorites({L"R", L"R"}));
    EXPECT_EQ(Stored()->favorites->folders, (Folders{L"X", L"N1", L"N2", L"R", L"R"}));
}

TEST_F(DataCenterTest, RemoveFavoriteAtChecksIndexAndFolder) {
    center_.AddFavorites({L"A", L"B", L"Y", L"D"});
    const std::string before = FileBytes();
    EXPECT_FALSE(center_.RemoveFavoriteAt(2, L"X"));  // entry 2 is Y: the menu was out of date
    EXPECT_FALSE(center_.RemoveFavoriteAt(4, L"D"));
    EXPECT_FALSE(center_.RemoveFavoriteAt(static_cast<std::size_t>(-1), L"A"));
    EXPECT_EQ(FileBytes(), before);
    const int revision = Stored()->favorites->revision;
    EXPECT_TRUE(center_.RemoveFavoriteAt(1, L"B"));
    auto data = Stored();
    EXPECT_EQ(data->favorites->folders, (Folders{L"A", L"Y", L"D"}));
    EXPECT_EQ(data->favorites->revision, revision + 1);
}

TEST_F(DataCenterTest, CommitFavoritesRefusesAStaleCopyAndAcceptsRepeatedCommits) {
    center_.AddFavorite(L"A");
    // A page takes its copy; another process adds a favorite meanwhile.
    auto page = std::make_shared<Lumo::Data::Favorites>(*center_.Load()->favorites);
    center_.AddFavorite(L"B");
    const std::string before = FileBytes();
    page->folders = {L"Z"};
    EXPECT_FALSE(center_.CommitFavorites(page));
    EXPECT_EQ(FileBytes(), before);

    // A fresh copy commits, and commits again without outside changes.
    auto fresh = std::make_shared<Lumo::Data::Favorites>(*center_.Load()->favorites);
    const int revision = fresh->revision;
    fresh->folders = {L"B", L"A"};
    EXPECT_TRUE(center_.CommitFavorites(fresh));
    EXPECT_EQ(fresh->revision, revision + 1);
    fresh->folders.push_back(L"C");
    EXPECT_TRUE(center_.CommitFavorites(fresh));
    auto data = Stored();
    EXPECT_EQ(data->favorites->folders, (Folders{L"B", L"A", L"C"}));
    EXPECT_EQ(data->favorites->revision, revision + 2);
    EXPECT_THROW(center_.CommitFavorites(nullptr), std::invalid_argument);
}

TEST_F(DataCenterTest, CommitUserSettingsFollowsTheSameRevisionRules) {
    auto page = std::make_shared<Lumo::Data::UserSettings>(*center_.Load()->userSettings);
    auto other = std::make_shared<Lumo::Data::UserSettings>(*page);
    page->historyDepth = 2;
    EXPECT_TRUE(center_.CommitUserSettings(page));
    page->menuWidthLimit = 500;
    EXPECT_TRUE(center_.CommitUserSettings(page));
    const std::string before = FileBytes();
    other->topFavoriteLimit = 3;
    EXPECT_FALSE(center_.CommitUserSettings(other));
    EXPECT_EQ(FileBytes(), before);
    auto data = center_.Load();
    EXPECT_EQ(data->userSettings->revision, 2);
    EXPECT_EQ(data->userSettings->menuWidthLimit, 500);
    EXPECT_EQ(data->userSettings->topFavoriteLimit, 15);
    EXPECT_EQ(data->navigateHistory->maxCount, 2);  // new depth is the capacity at the next Load
}

TEST_F(DataCenterTest, SetSortModeWritesOnlyChanges) {
    center_.Load();
    const std::string before = FileBytes();
    EXPECT_FALSE(center_.SetSortMode(Lumo::Data::NoSort));
    EXPECT_EQ(FileBytes(), before);
    EXPECT_TRUE(center_.SetSortMode(Lumo::Data::SortByPathName));
    EXPECT_EQ(Stored()->settings->sortMode, Lumo::Data::SortByPathName);
    EXPECT_FALSE(center_.SetSortMode(Lumo::Data::SortByPathName));
}

TEST_F(DataCenterTest, NavigateHistoryUsesTheStoredDepth) {
    auto settings = std::make_shared<Lumo::Data::UserSettings>(*center_.Load()->userSettings);
    settings->historyDepth = 2;
    center_.CommitUserSettings(settings);
    center_.AddNavigateHistory(L"A");
    center_.AddNavigateHistory(L"B");
    center_.AddNavigateHistory(L"C");
    EXPECT_EQ(Stored()->navigateHistory->items, (std::list<std::wstring>{L"C", L"B"}));
    const std::string before = FileBytes();
    center_.AddNavigateHistory(L"C");  // already in front: no write
    EXPECT_EQ(FileBytes(), before);
    center_.ClearNavigateHistory();
    EXPECT_TRUE(Stored()->navigateHistory->items.empty());
    const std::string cleared = FileBytes();
    center_.ClearNavigateHistory();
    EXPECT_EQ(FileBytes(), cleared);

    settings->historyDepth = 0;
    center_.CommitUserSettings(settings);
    const std::string off = FileBytes();
    center_.AddNavigateHistory(L"D");
    EXPECT_EQ(FileBytes(), off);
}

TEST_F(DataCenterTest, OlderDataVersionIsUpgradedAndWrittenDuringLoad) {
    Lumo::Data::AllData old;
    old.dataVersion = 2;
    old.favorites->folders = {L"K"};
    Store(old);
    auto data = center_.Load();
    EXPECT_EQ(data->dataVersion, 3);
    EXPECT_EQ(Stored()->dataVersion, 3);
    EXPECT_EQ(Stored()->favorites->folders, Folders{L"K"});
}

TEST_F(DataCenterTest, NewerReleaseFileFailsEveryOperationAndIsNeverWritten) {
    Lumo::Data::AllData data;
    data.favorites->folders = {L"A"};
    std::string bytes = Lumo::Data::WriteDataArchive(data);
    bytes[2] = 4;  // dataVersion 4
    ::CreateDirectoryW(folder_.c_str(), nullptr);
    DataTest::WriteBytes(FilePath(), bytes);
    auto settings = std::make_shared<Lumo::Data::UserSettings>();
    auto favorites = std::make_shared<Lumo::Data::Favorites>();
    EXPECT_THROW(center_.Load(), ReleaseVersionTooHigh);
    EXPECT_THROW(center_.AddFavorite(L"B"), ReleaseVersionTooHigh);
    EXPECT_THROW(center_.AddFavorites({L"B"}), ReleaseVersionTooHigh);
    EXPECT_THROW(center_.RemoveFavoriteAt(0, L"A"), ReleaseVersionTooHigh);
    EXPECT_THROW(center_.CommitFavorites(favorites), ReleaseVersionTooHigh);
    EXPECT_THROW(center_.CommitUserSettings(settings), ReleaseVersionTooHigh);
    EXPECT_THROW(center_.SetSortMode(Lumo::Data::SortByPathName), ReleaseVersionTooHigh);
    EXPECT_THROW(center_.AddNavigateHistory(L"B"), ReleaseVersionTooHigh);
    EXPECT_THROW(center_.ClearNavigateHistory(), ReleaseVersionTooHigh);
    EXPECT_EQ(FileBytes(), bytes);
    EXPECT_EQ(favorites->revision, 0);
}

// A file that is there but is no data file (garbage, empty, cut short) is
// renamed aside byte for byte and the data starts again from the defaults; a
// later damaged file never replaces an earlier copy, whichever operation meets it.
TEST_F(DataCenterTest, DamagedFileIsSetAsideByteForByteAndTheDataStartsAfresh) {
    Lumo::Data::AllData stored;
    stored.favorites->folders = {L"A"};
    const std::string good = Lumo::Data::WriteDataArchive(stored);
    const std::string damaged[] = {"garbage", "", good.substr(0, good.size() - 3)};
    ::CreateDirectoryW(folder_.c_str(), nullptr);
    const auto copy = [&](int number) {
        return DataTest::ReadBytes(FilePath() + L".damaged" +
                                   (number > 1 ? L"-" + std::to_wstring(number) : L""));
    };
    int number = 0;
    for (const std::string& bytes : damaged) {
        DataTest::WriteBytes(FilePath(), bytes);
        auto data = center_.Load();
        ++number;
        EXPECT_TRUE(data->favorites->folders.empty()) << number;
        EXPECT_EQ(1, data->favorites->revision) << number;
        EXPECT_NO_THROW(Stored()) << "the data file is whole again";
        for (int earlier = 1; earlier <= number; ++earlier) EXPECT_EQ(damaged[earlier - 1], copy(earlier));
    }
    DataTest::WriteBytes(FilePath(), "x");
    EXPECT_TRUE(center_.AddFavorite(L"B"));
    EXPECT_EQ(Folders{L"B"}, Stored()->favorites->folders);
    EXPECT_EQ("x", copy(4));
    EXPECT_FALSE(DataTest::Exists(FilePath() + L".tmp"));
}

TEST_F(DataCenterTest, FolderThatCannotBeWrittenIsAnError) {
    // The temporary file's name taken by a folder: nothing can be written.
    center_.AddFavorite(L"A");
    const std::string before = FileBytes();
    ASSERT_TRUE(::CreateDirectoryW((FilePath() + L".tmp").c_str(), nullptr));
    EXPECT_THROW(center_.AddFavorite(L"B"), Lumo::LastError);
    auto favorites = std::make_shared<Lumo::Data::Favorites>(*center_.Load()->favorites);
    const int revision = favorites->revision;
    EXPECT_THROW(center_.CommitFavorites(favorites), Lumo::LastError);
    EXPECT_EQ(favorites->revision, revision);  // the copy still matches the file
    EXPECT_EQ(FileBytes(), before);
}

TEST_F(DataCenterTest, FailedReplacementKeepsTheOldFileAndRemovesTheTemporaryOne) {
    center_.AddFavorite(L"A");
    const std::string before = FileBytes();
    {
        // Another program holds the file open without delete sharing.
        Lumo::Win::UniqueFile holder(::CreateFileW(FilePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_THROW(center_.AddFavorite(L"B"), Lumo::LastError);
    }
    EXPECT_EQ(FileBytes(), before);
    EXPECT_FALSE(DataTest::Exists(FilePath() + L".tmp"));
    EXPECT_TRUE(center_.AddFavorite(L"B"));
}

// Wine makes no reparse points (its symbolic links are plain folders to
// Windows programs): the file system's answer for one path says it is one.
std::wstring g_reparsePoint;
DWORD WINAPI AttributesWithReparsePoint(LPCWSTR path) {
    const DWORD found = ::GetFileAttributesW(path);
    if (g_reparsePoint != path) return found;
    return (found == INVALID_FILE_ATTRIBUTES ? FILE_ATTRIBUTE_DIRECTORY : found) |
           FILE_ATTRIBUTE_REPARSE_POINT;
}

TEST_F(DataCenterTest, AnElevatedProcessWritesNothingThroughAReparsePoint) {
    const auto elevated = []() noexcept { return true; };
    const auto notElevated = []() noexcept { return false; };
    struct Row {
        const wchar_t* reparsePoint;  // under the data folder; empty: the folder itself
        bool elevated;
        const char* bytes;  // of the data file beforehand: a damaged one is set aside
    };
    const Row rows[] = {{L"", true, ""},
                        {L"\\Data.qvd", true, ""},
                        {L"\\Data.qvd.tmp", true, ""},
                        {L"\\Data.qvd.damaged", true, "x"},
                        {L"\\history.txt", true, ""},
                        {L"", false, ""}};
    for (const Row& row : rows) {
        const std::string before =
            *row.bytes ? row.bytes : Lumo::Data::WriteDataArchive(Lumo::Data::AllData());
        Store(Lumo::Data::AllData());
        DataTest::WriteBytes(FilePath(), before);
        g_reparsePoint = folder_.substr(0, folder_.size() - 1) + row.reparsePoint;
        const bool existed = DataTest::Exists(g_reparsePoint);
        Lumo::Data::DataCenter center(folder_, 5000,
                                      {row.elevated ? +elevated : +notElevated, &AttributesWithReparsePoint});
        DWORD code = 0;
        try {
            if (!row.elevated || std::wstring(row.reparsePoint) == L"\\history.txt")
                center.ReplaceDataFolderFile(L"history.txt", "h");
            center.AddFavorite(L"B");
        } catch (const Lumo::LastError& error) {
            code = error.Code();
        }
        EXPECT_EQ(row.elevated ? Lumo::Data::kErrorStoppedOnReparsePoint : 0u, code) << row.reparsePoint;
        // What the reparse point leads to is left as it was.
        if (row.elevated) {
            EXPECT_EQ(existed, DataTest::Exists(g_reparsePoint)) << row.reparsePoint;
            EXPECT_EQ(before, FileBytes()) << row.reparsePoint;
        }
        EXPECT_EQ(!row.elevated, DataTest::Exists(folder_ + L"history.txt")) << row.reparsePoint;
        ::DeleteFileW((folder_ + L"history.txt").c_str());
    }
}

TEST_F(DataCenterTest, DataFolderIsCreatedAndMayHoldAnyCharacters) {
    Lumo::Data::DataCenter noBackslash(temp_.Path() + L"Sub");
    EXPECT_EQ(noBackslash.GetDataFolder(), temp_.Path() + L"Sub\\");
    EXPECT_TRUE(DataTest::Exists(temp_.Path() + L"Sub"));
    EXPECT_EQ(noBackslash.GetDataFilePath(), temp_.Path() + L"Sub\\Data.qvd");

    // A name no ANSI code page spells.
    const std::wstring unicode =
        temp_.Path() + L"\u0414\u0430\u043d\u043d\u044b\u0435 \u65e5\u672c \u0639\u0631\u0628\\";
    Lumo::Data::DataCenter wide(unicode);
    EXPECT_TRUE(wide.AddFavorite(L"\u65e5\u672c"));
    EXPECT_EQ(Lumo::Data::ReadDataArchive(DataTest::ReadBytes(unicode + L"Data.qvd"))->favorites->folders,
              Folders{L"\u65e5\u672c"});
}

TEST_F(DataCenterTest, DataFolderIsInApplicationDataOrThereIsNoData) {
    const std::pair<std::wstring, std::wstring> rows[] = {
        {L"C:\\Users\\u\\AppData\\Roaming\\", L"C:\\Users\\u\\AppData\\Roaming\\Quelvar\\"},
        {L"C:\\R", L"C:\\R\\Quelvar\\"},
        {L"\\\\server\\share\\u", L"\\\\server\\share\\u\\Quelvar\\"},
        {L"", L""},             // the lookup failed
        {L"\\", L""},           // an empty answer given its backslash
        {L"Roaming\\", L""},    // relative to the current directory
        {L"\\Roaming\\", L""},  // relative to the current drive
        {L"C:Roaming", L""},    // relative to drive C's current directory
    };
    for (const auto& [appData, expected] : rows) {
        EXPECT_EQ(Lumo::Data::DataCenter::DataFolderUnder(appData), expected) << appData;
    }

    // The production folder, with or without the process's special-folder service.
    auto* previous = Lumo::System::SpecialFolder::Instance();
    Lumo::System::SpecialFolder folders;
    std::wstring appData;
    try {
        appData = folders.SpecialFolderPath(CSIDL_APPDATA);
    } catch (const Lumo::AnyError&) {
    }
    for (auto* instance : {&folders, static_cast<Lumo::System::SpecialFolder*>(nullptr)}) {
        Lumo::System::SpecialFolder::SetInstance(instance);
        Lumo::Data::DataCenter production;
        EXPECT_EQ(production.HasDataFolder(), !appData.empty());
        if (!appData.empty()) {
            EXPECT_EQ(production.GetDataFolder(), appData + L"Quelvar\\");
        }
    }
    Lumo::System::SpecialFolder::SetInstance(previous);

    // No data folder: every operation fails cleanly, the menu goes without
    // data, and nothing is read or written in the current directory, even
    // where a planted data file waits.
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_TRUE(::SetCurrentDirectoryW(temp_.Path().c_str()));
    ::CreateDirectoryW((temp_.Path() + L"Quelvar").c_str(), nullptr);
    Lumo::Data::AllData planted;
    planted.favorites->folders = {L"\\\\evil\\share"};
    DataTest::WriteBytes(temp_.Path() + L"Quelvar\\Data.qvd", Lumo::Data::WriteDataArchive(planted));
    for (const wchar_t* folder : {L"", L"Quelvar", L"Quelvar\\"}) {
        Lumo::Data::DataCenter none(folder);
        EXPECT_FALSE(none.HasDataFolder());
        EXPECT_THROW(none.Load(), Lumo::LastError);
        EXPECT_THROW(none.AddFavorite(L"R"), Lumo::LastError);
        EXPECT_THROW(none.AddNavigateHistory(L"R"), Lumo::LastError);
        EXPECT_THROW(none.GetDataFolder(), Lumo::LastError);
        Lumo::Data::HandlerDataSnapshot snapshot;
        snapshot.LoadData(&none);
        EXPECT_EQ(snapshot.state, Lumo::Data::SnapshotState::Unavailable);
        EXPECT_TRUE(snapshot.favoriteFolders.empty());
    }
    ::SetCurrentDirectoryW(current);
    EXPECT_EQ(DataTest::ReadBytes(temp_.Path() + L"Quelvar\\Data.qvd"),
              Lumo::Data::WriteDataArchive(planted));
    EXPECT_FALSE(DataTest::Exists(temp_.Path() + L"Data.qvd"));
    EXPECT_FALSE(DataTest::Exists(temp_.Path() + L"Quelvar\\Data.qvd.tmp"));
}

TEST_F(DataCenterTest, InstallFolderIsTheModuleFolderWithABackslash) {
    EXPECT_EQ(center_.GetInstallFolder(), L"");
    center_.SetInstallFolder(L"C:\\Program Files\\Quelvar\\Quelvar.dll");
    EXPECT_EQ(center_.GetInstallFolder(), L"C:\\Program Files\\Quelvar\\");
    center_.SetInstallFolder(L"D:\\Quelvar.dll");
    EXPECT_EQ(center_.GetInstallFolder(), L"D:\\");
}

TEST_F(DataCenterTest, HandlerSnapshotLoadsOnceAndCopiesTheFavorites) {
    center_.AddFavorites({L"B", L"A"});
    Lumo::Data::HandlerDataSnapshot snapshot;
    EXPECT_FALSE(snapshot.dataLoaded);
    snapshot.LoadData(&center_);
    EXPECT_TRUE(snapshot.dataLoaded);
    ASSERT_TRUE(snapshot.data);
    EXPECT_EQ(snapshot.favoriteFolders, (Folders{L"B", L"A"}));
    snapshot.favoriteFolders.sort();  // the menu may sort its copy
    EXPECT_EQ(snapshot.data->favorites->folders, (Folders{L"B", L"A"}));
    center_.AddFavorite(L"C");
    snapshot.LoadData(&center_);  // one menu, one copy
    EXPECT_EQ(snapshot.data->favorites->folders.size(), 2u);

    // Through the process's Lumo::Data::DataCenter.
    Lumo::Data::DataCenter::SetInstance(&center_);
    Lumo::Data::HandlerDataSnapshot viaSingleton;
    viaSingleton.LoadData();
    Lumo::Data::DataCenter::SetInstance(nullptr);
    EXPECT_EQ(viaSingleton.favoriteFolders.size(), 3u);
}

TEST_F(DataCenterTest, HandlerSnapshotTellsANewerReleaseFromAFileHeldElsewhere) {
    std::string bytes = Lumo::Data::WriteDataArchive(Lumo::Data::AllData());
    ::CreateDirectoryW(folder_.c_str(), nullptr);
    bytes[2] = 9;
    DataTest::WriteBytes(FilePath(), bytes);
    Lumo::Data::HandlerDataSnapshot newer;
    newer.favoriteFolders = {L"stale"};
    EXPECT_NO_THROW(newer.LoadData(&center_));
    EXPECT_TRUE(newer.dataLoaded);
    EXPECT_EQ(Lumo::Data::SnapshotState::NewerRelease, newer.state);
    EXPECT_FALSE(newer.data);
    EXPECT_TRUE(newer.favoriteFolders.empty());

    // Another thread holds the file longer than this center waits: no data
    // now, no change to the file, and the next snapshot loads.
    Store(Lumo::Data::AllData());
    const std::string before = FileBytes();
    Lumo::Data::DataCenter impatient(folder_, 50);
    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        Lumo::Data::DataFileLock lock(FilePath());
        held = true;
        while (!release) ::Sleep(1);
    });
    while (!held) ::Sleep(1);
    Lumo::Data::HandlerDataSnapshot busy;
    EXPECT_NO_THROW(busy.LoadData(&impatient));
    EXPECT_EQ(Lumo::Data::SnapshotState::Unavailable, busy.state);
    EXPECT_FALSE(busy.data);
    release = true;
    holder.join();
    EXPECT_EQ(before, FileBytes());
    Lumo::Data::HandlerDataSnapshot later;
    later.LoadData(&impatient);
    EXPECT_EQ(Lumo::Data::SnapshotState::Loaded, later.state);
    EXPECT_TRUE(later.data);

    // No address space for the block the file needs (taken down to 1 MiB
    // pieces; a 64-bit process stops at the cap and loads): no data for this
    // menu, the file stays byte for byte and loads whole once memory is back.
    Lumo::Data::AllData big;
    for (int i = 0; i < 4096; ++i) big.favorites->folders.push_back(std::wstring(1024, L'a' + i % 26));
    Store(big);
    const std::string stored = FileBytes();
    std::vector<void*> taken;
    taken.reserve(4096);  // no allocation while the space is taken
    std::uint64_t reserved = 0, cap = 4ull << 30;
    for (std::size_t piece = 256u << 20; piece >= (1u << 20); piece /= 4) {
        while (reserved < cap && taken.size() < taken.capacity()) {
            void* block = ::VirtualAlloc(nullptr, piece, MEM_RESERVE, PAGE_NOACCESS);
            if (!block) break;
            taken.push_back(block);
            reserved += piece;
        }
    }
    const bool exhausted = reserved < cap;
    Lumo::Data::HandlerDataSnapshot starved;
    std::string thrown = "nothing";
    try {
        center_.Load();
    } catch (const std::bad_alloc&) {
        thrown = "std::bad_alloc";
    } catch (...) {
        thrown = "another exception";
    }
    starved.LoadData(&center_);
    for (void* block : taken) ::VirtualFree(block, 0, MEM_RELEASE);
    std::printf("[ memory   ] reserved %llu MiB in %zu pieces, %s; the load threw %s\n",
                static_cast<unsigned long long>(reserved >> 20), taken.size(),
                exhausted ? "address space exhausted" : "stopped at the cap", thrown.c_str());
    EXPECT_TRUE(exhausted || sizeof(void*) > 4) << "a 32-bit process has less than the cap";
    EXPECT_EQ(exhausted ? "std::bad_alloc" : "nothing", thrown);
    EXPECT_EQ(exhausted ? Lumo::Data::SnapshotState::Unavailable : Lumo::Data::SnapshotState::Loaded,
              starved.state);
    EXPECT_TRUE(stored == FileBytes()) << "the file is left byte for byte";
    EXPECT_FALSE(DataTest::Exists(FilePath() + L".damaged"));
    EXPECT_TRUE(big.favorites->folders == center_.Load()->favorites->folders);
}

// Lock ---------------------------------------------------------------------

TEST_F(DataCenterTest, LockExcludesOtherThreadsTimesOutAndSurvivesADeadHolder) {
    const std::wstring path = FilePath();
    EXPECT_EQ(Lumo::Data::DataFileLock::MutexName(path),
              Lumo::Data::DataFileLock::MutexName(folder_ + L"DATA.QVD"));
    EXPECT_NE(Lumo::Data::DataFileLock::MutexName(path),
              Lumo::Data::DataFileLock::MutexName(folder_ + L"Other.qvd"));

    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    std::thread holder([&] {
        Lumo::Data::DataFileLock lock(path);
        held = true;
        while (!release) ::Sleep(1);
    });
    while (!held) ::Sleep(1);
    try {
        Lumo::Data::DataFileLock blocked(path, 50);
        ADD_FAILURE() << "the lock was taken twice";
    } catch (const Lumo::LastError& error) {
        EXPECT_EQ(error.Code(), static_cast<DWORD>(WAIT_TIMEOUT));
    }
    release = true;
    holder.join();

    // A thread that dies holding the mutex leaves it abandoned: still usable.
    const std::wstring name = Lumo::Data::DataFileLock::MutexName(path);
    Lumo::Win::UniqueHandle keep(::CreateMutexW(nullptr, FALSE, name.c_str()));
    std::thread dies([&] {
        Lumo::Win::UniqueHandle mine(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
        ::WaitForSingleObject(mine.get(), INFINITE);
    });
    dies.join();
    EXPECT_NO_THROW(Lumo::Data::DataFileLock(path, 1000));
    EXPECT_TRUE(center_.AddFavorite(L"after"));
}

TEST_F(DataCenterTest, ThreadsLoseNoUpdate) {
    constexpr int kThreads = 6;
    constexpr int kEach = 15;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Lumo::Data::DataCenter own(folder_);  // as another window's thread would
            for (int i = 0; i < kEach; ++i) {
                try {
                    const std::wstring name = L"T" + std::to_wstring(t) + L"-" + std::to_wstring(i);
                    if (!own.AddFavorite(name)) ++failures;
                    own.AddNavigateHistory(name);
                    own.Load();
                } catch (...) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, 0);
    auto data = Stored();
    EXPECT_EQ(data->favorites->folders.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(data->favorites->revision, 1 + kThreads * kEach);
    EXPECT_EQ(data->navigateHistory->items.size(), 10u);
}

// Child processes ---------------------------------------------------------

// Arguments of a child run of this test program: mode, data folder, id, count.
struct ChildArguments {
    std::wstring mode, folder;
    int id = 0, count = 0;
};

bool ParseChildArguments(ChildArguments& out) {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv) return false;
    const std::wstring prefix = L"--qv-data-child=";
    bool found = false;
    for (int i = 1; i < argc && !found; ++i) {
        std::wstring arg = argv[i];
        if (arg.compare(0, prefix.size(), prefix) != 0) continue;
        std::vector<std::wstring> parts;
        std::size_t start = prefix.size();
        for (std::size_t bar; (bar = arg.find(L'|', start)) != std::wstring::npos; start = bar + 1) {
            parts.push_back(arg.substr(start, bar - start));
        }
        parts.push_back(arg.substr(start));
        if (parts.size() == 4) {
            out = {parts[0], parts[1], std::stoi(parts[2]), std::stoi(parts[3])};
            found = true;
        }
    }
    ::LocalFree(argv);
    return found;
}

Lumo::Win::UniqueHandle StartChild(const std::wstring& mode, const std::wstring& folder, int id, int count) {
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(exe) +
        L"\" --gtest_also_run_disabled_tests --gtest_filter=DataCenterChild.DISABLED_Worker"
        L" \"--qv-data-child=" +
        mode + L"|" + folder + L"|" + std::to_wstring(id) + L"|" + std::to_wstring(count) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return Lumo::Win::UniqueHandle();
    }
    ::CloseHandle(process.hThread);
    return Lumo::Win::UniqueHandle(process.hProcess);
}

// Body of the child processes; runs only when started by the tests below.
TEST(DataCenterChild, DISABLED_Worker) {
    ChildArguments args;
    ASSERT_TRUE(ParseChildArguments(args)) << "started without child arguments";
    Lumo::Data::DataCenter center(args.folder);
    if (args.mode == L"add") {
        for (int i = 0; i < args.count; ++i) {
            const std::wstring name = L"P" + std::to_wstring(args.id) + L"-" + std::to_wstring(i);
            ASSERT_TRUE(center.AddFavorite(name));
            center.AddNavigateHistory(name);
        }
    } else if (args.mode == L"load") {  // loads once and reports its peak memory
        std::string outcome;
        try {
            auto data = center.Load();
            outcome = DataTest::Exists(args.folder + L"\\Data.qvd.damaged")
                          ? "aside"
                          : "loaded " + std::to_string(data->favorites->folders.size());
        } catch (const std::exception& error) {
            outcome = error.what();
        }
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        ASSERT_TRUE(::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters));
        // Both are peaks on Windows; Wine gives the current private bytes
        // as the first and the kernel's peak resident size as the second.
        const std::size_t peak = std::max(counters.PeakPagefileUsage, counters.PeakWorkingSetSize);
        DataTest::WriteBytes(args.folder + L"\\report.txt", std::to_string(peak) + " " + outcome);
    } else if (args.mode == L"forever") {  // until the parent kills it mid-write
        for (int i = 0;; ++i) center.AddFavorite(L"K" + std::to_wstring(args.id) + L"-" + std::to_wstring(i));
    }
}

TEST_F(DataCenterTest, ProcessesAddingAtOnceLoseNothing) {
    constexpr int kChildren = 4;
    constexpr int kEach = 20;
    center_.Load();
    std::vector<Lumo::Win::UniqueHandle> children;
    for (int id = 0; id < kChildren; ++id) {
        children.push_back(StartChild(L"add", folder_, id, kEach));
        ASSERT_TRUE(children.back());
    }
    for (auto& child : children) {
        ASSERT_EQ(::WaitForSingleObject(child.get(), 120000), WAIT_OBJECT_0);
        DWORD code = 1;
        ::GetExitCodeProcess(child.get(), &code);
        EXPECT_EQ(code, 0u);
    }
    auto data = center_.Load();
    std::map<std::wstring, int> seen;
    for (const auto folder : data->favorites->folders) ++seen[std::wstring(folder)];
    for (int id = 0; id < kChildren; ++id) {
        for (int i = 0; i < kEach; ++i) {
            EXPECT_EQ(seen[L"P" + std::to_wstring(id) + L"-" + std::to_wstring(i)], 1);
        }
    }
    EXPECT_EQ(data->favorites->folders.size(), static_cast<std::size_t>(kChildren * kEach));
    EXPECT_EQ(data->favorites->revision, 1 + kChildren * kEach);
    EXPECT_EQ(data->navigateHistory->items.size(), 10u);
}

// Files declaring far more strings than a host can hold load or are set aside
// in a process of their own, whose peak memory stays proportional to the file.
TEST_F(DataCenterTest, HugeDeclaredCountsLoadOrAreSetAsideInProportionalMemory) {
    struct Row {
        const char* name;
        std::uint32_t declared;  // empty favorites the file declares
        std::uint64_t present;   // and holds
        bool loads;
    };
    const std::uint64_t fitting = (Lumo::Data::kMaxDataFileSize - 128) / 8;
    const Row rows[] = {
        {"nothing declared", 0, 0, true},  // the baseline
        {"32 M empty strings", 32u << 20, 32u << 20, false},
        {"256 MiB of empty strings", static_cast<std::uint32_t>(fitting), fitting, false},
        {"2^31 favorites", 0x80000000u, 1000, false},
        {"1 M empty strings", 1u << 20, 1u << 20, true},
    };
    // An empty record; its favorites count is at offset 64, their strings
    // begin at 72 and the history follows.
    const std::string record = Lumo::Data::WriteDataArchive(Lumo::Data::AllData());
    ASSERT_EQ(record.substr(64, 8), std::string(8, '\0'));
    std::uint64_t baseline = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DataTest::TempFolder own(L"qvbig");
        {
            Lumo::Win::UniqueFile file(::CreateFileW((own.Path() + L"Data.qvd").c_str(), GENERIC_WRITE, 0,
                                                     nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(file);
            std::string head = record.substr(0, 64);
            head.append(reinterpret_cast<const char*>(&row.declared), 4).append(4, '\0');
            const std::string zeros(1u << 20, '\0');
            std::uint64_t left = row.present * 8;
            DWORD written = 0;
            ASSERT_TRUE(
                ::WriteFile(file.get(), head.data(), static_cast<DWORD>(head.size()), &written, nullptr));
            while (left > 0) {
                const DWORD chunk = static_cast<DWORD>(std::min<std::uint64_t>(left, zeros.size()));
                ASSERT_TRUE(::WriteFile(file.get(), zeros.data(), chunk, &written, nullptr));
                left -= chunk;
            }
            ASSERT_TRUE(::WriteFile(file.get(), record.data() + 72, static_cast<DWORD>(record.size() - 72),
                                    &written, nullptr));
        }
        const std::uint64_t size = 80 + row.present * 8;
        Lumo::Win::UniqueHandle child =
            StartChild(L"load", own.Path().substr(0, own.Path().size() - 1), 0, 0);
        ASSERT_TRUE(child);
        ASSERT_EQ(::WaitForSingleObject(child.get(), 240000), WAIT_OBJECT_0);
        const std::string report = DataTest::ReadBytes(own.Path() + L"report.txt");
        const std::uint64_t peak = std::stoull(report);
        const std::string outcome = report.substr(report.find(' ') + 1);
        EXPECT_EQ(outcome, row.loads ? "loaded " + std::to_string(row.present) : "aside");
        if (baseline == 0) baseline = peak;
        // Set aside: the bytes read and little more. Loaded: the records
        // take a few times the bytes of their empty strings.
        const std::uint64_t bound = (row.loads ? 6 : 2) * size + (32u << 20);
        EXPECT_LE(peak - std::min(peak, baseline), bound) << "peak " << (peak >> 20) << " MiB";
        std::printf("[ memory   ] %s: %llu-byte file, %s, peak %llu MiB (%llu MiB above the baseline)\n",
                    row.name, static_cast<unsigned long long>(size), outcome.c_str(),
                    static_cast<unsigned long long>(peak >> 20),
                    static_cast<unsigned long long>((peak - std::min(peak, baseline)) >> 20));
    }
}

TEST_F(DataCenterTest, ProcessKilledWhileWritingLeavesALoadableFile) {
    Lumo::Data::AllData start;
    for (int i = 0; i < 5000; ++i)
        start.favorites->folders.push_back(L"C:\\Base\\Folder " + std::to_wstring(i));
    Store(start);
    std::mt19937 random(5);
    for (int round = 0; round < 3; ++round) {
        const std::size_t size = FileBytes().size();
        const std::size_t count = center_.Load()->favorites->folders.size();
        Lumo::Win::UniqueHandle child = StartChild(L"forever", folder_, round, 0);
        ASSERT_TRUE(child);
        // Kill it at a random moment once it is writing.
        for (int wait = 0; wait < 1000 && FileBytes().size() == size; ++wait) ::Sleep(20);
        ::Sleep(random() % 60);
        ::TerminateProcess(child.get(), 9);
        ::WaitForSingleObject(child.get(), 30000);
        std::shared_ptr<Lumo::Data::AllData> data;
        ASSERT_NO_THROW(data = center_.Load()) << "round " << round;
        const auto& folders = data->favorites->folders;
        ASSERT_GT(folders.size(), count);  // the child did write before it died
        EXPECT_TRUE(
            std::equal(start.favorites->folders.begin(), start.favorites->folders.end(), folders.begin()));
        std::map<std::wstring, int> seen;
        for (const auto folder : folders) EXPECT_EQ(++seen[std::wstring(folder)], 1);
    }
    EXPECT_TRUE(center_.AddFavorite(L"after the crashes"));
}

}  // namespace
