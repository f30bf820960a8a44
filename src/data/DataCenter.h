// DataCenter: the one object of a process that reads and writes the user's
// data file "Data.qvd". It keeps no copy of the data: every operation reads
// the whole file under the per-user lock, changes the record and writes it
// back whole, so several Explorer threads and processes can share the file.
#pragma once

#include <windows.h>

#include <memory>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "data/DataFile.h"
#include "data/Records.h"
#include "system/Singleton.h"
#include "win/Elevation.h"

namespace Lumo::Data {

// In an elevated process (an install's regsvr32, the file dialog of a
// program run as administrator) no file of the data folder is created,
// replaced or renamed through a reparse point: any program of the user can
// turn the folder into a junction to a system folder and let the
// administrator write there. Such a write fails with
// Lumo::LastError(kErrorStoppedOnReparsePoint) and the target is left
// alone. Other processes write only where the user could anyway, so a
// user who moved the folder with a junction keeps the data there.
struct DataWriteGuard {
    Lumo::Win::ElevationProbe elevated = &Lumo::Win::IsProcessElevated;
    FileAttributesProbe attributes = &::GetFileAttributesW;
};

class DataCenter : public Lumo::Global::Singleton<DataCenter> {
public:
    static constexpr const wchar_t* kDataFolderName = L"Quelvar";
    static constexpr const wchar_t* kDataFileName = L"Data.qvd";

    // Data folder in the user's roaming application data. Without one (the
    // lookup fails or gives no absolute path) there is no data folder, and no
    // data: nothing is ever read or written relative to the current directory.
    DataCenter();
    // Data folder given by the caller (tests, tools); a backslash is appended
    // when missing, and a path that is not fully qualified means no data
    // folder. `lockTimeoutMs` bounds the wait for another thread or process
    // that holds the file: a menu must never hang on it.
    explicit DataCenter(std::wstring dataFolder, DWORD lockTimeoutMs = kDefaultLockTimeoutMs,
                        DataWriteGuard guard = {});

    static constexpr DWORD kDefaultLockTimeoutMs = 5000;

    // The data folder inside the application-data folder `applicationData`;
    // empty (no data folder) when that is empty or not fully qualified.
    static std::wstring DataFolderUnder(const std::wstring& applicationData);
    // Name of the copy a damaged data file is renamed to; the first free one
    // of "Data.qvd.damaged", "Data.qvd.damaged-2", ... is taken.
    static constexpr const wchar_t* kDamagedSuffix = L".damaged";

    // The current record; creates the file with defaults when there is none
    // and writes an upgraded record back at once. A file that the reader finds
    // damaged (not a data file, or over the reader's own limits) is set aside
    // byte for byte (see SetAsideDamagedFile) and the record starts again from
    // the defaults. Throws ReleaseVersionTooHigh for a file of a newer release,
    // Lumo::LastError when the file cannot be read or locked now or there is
    // no data folder, and std::bad_alloc when memory runs short; the file is
    // left as it is for all three.
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

    // False when the user has no application-data folder: every operation
    // then fails with Lumo::LastError(ERROR_PATH_NOT_FOUND).
    bool HasDataFolder() const { return !dataFolder_.empty(); }
    // The data folder, created (one level) when missing; throws
    // Lumo::LastError(ERROR_PATH_NOT_FOUND) when there is none.
    std::wstring GetDataFolder();
    // Full path of the data file; throws as GetDataFolder.
    std::wstring GetDataFilePath();
    // Replaces the file `name` of the data folder with `bytes` through a
    // temporary file (ReplaceFileContents), under the rule of DataWriteGuard.
    void ReplaceDataFolderFile(const std::wstring& name, std::string_view bytes);

    // Records the folder of the module file `modulePath` (ends in a backslash).
    void SetInstallFolder(const std::wstring& modulePath);
    std::wstring GetInstallFolder() const { return installFolder_; }

private:
    class Transaction;

    // Both run under the lock of the Transaction that gave `path`.
    std::shared_ptr<AllData> LoadLocked(const std::wstring& path);
    void SaveLocked(const std::wstring& path, const AllData& data);
    // The one place where a damaged data file is set aside: renames it to the
    // first free ".damaged" name beside it, never replacing an earlier copy;
    // throws Lumo::LastError when it cannot.
    void SetAsideDamagedFile(const std::wstring& path);
    // Throws when DataWriteGuard's rule forbids writing the data folder's `paths`.
    void RefuseRedirection(std::initializer_list<std::wstring> paths) const;

    std::wstring dataFolder_;
    DWORD lockTimeoutMs_ = kDefaultLockTimeoutMs;
    // Elevation does not change during a process's life: asked once.
    bool refuseReparsePoints_;
    FileAttributesProbe attributes_;
    std::wstring installFolder_;
};

}  // namespace Lumo::Data
