// DataCenter: the one object of a process that reads and writes the user's
// data file "Data.qvd". It keeps no copy of the data: every operation reads
// the whole file under the per-user lock, changes the record and writes it
// back whole, so several Explorer threads and processes can share the file.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "data/Records.h"
#include "system/Singleton.h"

namespace Data {

class DataCenter : public Lumo::Global::Singleton<DataCenter> {
public:
    static constexpr const wchar_t* kDataFolderName = L"Quelvar";
    static constexpr const wchar_t* kDataFileName = L"Data.qvd";

    // Data folder in the user's roaming application data, or the bare folder
    // name (relative to the current directory) when that cannot be found.
    DataCenter();
    // Data folder given by the caller (tests, tools); a backslash is appended
    // when missing. `lockTimeoutMs` bounds the wait for another thread or
    // process that holds the file: a menu must never hang on it.
    explicit DataCenter(std::wstring dataFolder, DWORD lockTimeoutMs = kDefaultLockTimeoutMs);

    static constexpr DWORD kDefaultLockTimeoutMs = 5000;
    // Name of the copy a damaged data file is renamed to; the first free one
    // of "Data.qvd.damaged", "Data.qvd.damaged-2", ... is taken.
    static constexpr const wchar_t* kDamagedSuffix = L".damaged";

    // The current record; creates the file with defaults when there is none
    // and writes an upgraded record back at once. A file that is there but is
    // not a data file is set aside byte for byte (see SetAsideDamagedFile) and
    // the record starts again from the defaults. Throws ReleaseVersionTooHigh
    // for a file of a newer release and Lumo::LastError when the file cannot
    // be read or locked now (the file is left as it is).
    std::shared_ptr<AllData> Load();
    // Replaces the file with `data`; throws Lumo::LastError when it cannot be
    // written, leaving the previous file intact.
    void Save(const AllData& data);

    bool AddFavorite(const std::wstring& folder);
    bool AddFavorites(const std::vector<std::wstring>& folders);
    bool RemoveFavoriteAt(std::size_t index, const std::wstring& folder);
    // False, writing nothing, when the stored list or settings changed since
    // the copy was taken; on success the copy's revision is raised too.
    bool CommitFavorites(const std::shared_ptr<Favorites>& edited);
    bool CommitUserSettings(const std::shared_ptr<UserSettings>& edited);
    bool SetSortMode(FavoriteSortMode mode);
    void AddNavigateHistory(const std::wstring& folder);
    void ClearNavigateHistory();

    // The data folder, created (one level) when missing.
    std::wstring GetDataFolder();
    // Full path of the data file.
    std::wstring GetDataFilePath();

    // Records the folder of the module file `modulePath` (ends in a backslash).
    void SetInstallFolder(const std::wstring& modulePath);
    std::wstring GetInstallFolder() const { return installFolder_; }

private:
    class Transaction;

    std::shared_ptr<AllData> LoadLocked();
    void SaveLocked(const AllData& data);
    // Renames the damaged file to the first free ".damaged" name beside it,
    // never replacing an earlier copy; throws Lumo::LastError when it cannot.
    void SetAsideDamagedFile(const std::wstring& path);

    std::wstring dataFolder_;
    DWORD lockTimeoutMs_ = kDefaultLockTimeoutMs;
    std::wstring installFolder_;
};

}  // namespace Data
