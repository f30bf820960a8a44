// Operations of DataCenter: read the file, apply one change, write it back.
#include "data/DataCenter.h"

#include <shlobj.h>

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "data/DataArchive.h"
#include "data/DataFile.h"
#include "win/DiagnosticLog.h"
#include "win/Errors.h"
#include "system/Path.h"
#include "system/ShellFolders.h"

namespace {

std::wstring WithTrailingBackslash(std::wstring folder) {
    if (folder.empty() || (folder.back() != L'\\' && folder.back() != L'/')) folder += L'\\';
    return folder;
}

// A path that names the same place whatever the current directory and drive:
// "X:\..." or "\\server\share\..." (including the "\\?\" forms).
bool IsFullyQualified(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) {
        return (path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z');
    }
    return path.size() >= 3 && (path[0] == L'\\' || path[0] == L'/') &&
           (path[1] == L'\\' || path[1] == L'/') && path[2] != L'\\' && path[2] != L'/';
}

// A data folder given by the caller, or none when it is not fully qualified.
std::wstring AcceptedDataFolder(std::wstring folder) {
    if (!IsFullyQualified(folder)) return std::wstring();
    return WithTrailingBackslash(std::move(folder));
}

std::wstring ApplicationDataFolder() {
    try {
        // The lookup keeps no state: without the process's service a local
        // one answers the same.
        Lumo::System::SpecialFolder local;
        const auto* folders = Lumo::System::SpecialFolder::Instance();
        return (folders ? folders : &local)->SpecialFolderPath(CSIDL_APPDATA);
    } catch (const Lumo::AnyError&) {
        return std::wstring();
    }
}

}  // namespace

namespace Lumo::Data {

std::wstring DataCenter::DataFolderUnder(const std::wstring& applicationData) {
    // Never a folder relative to the current directory, which in a file
    // dialog is the folder being browsed (possibly a share where anybody
    // could plant a data file): no application data, no data.
    if (!IsFullyQualified(applicationData)) return std::wstring();
    return WithTrailingBackslash(applicationData) + kDataFolderName + L"\\";
}

// Holds the data file's lock for one operation (reads included, so no reader
// sees a file between two writers' steps and no update is lost).
class DataCenter::Transaction {
public:
    explicit Transaction(DataCenter& owner)
        : path_(owner.GetDataFilePath()), lock_(path_, owner.lockTimeoutMs_) {}
    // The data file's path, asked once per operation.
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
    Lumo::Data::DataFileLock lock_;
};

DataCenter::DataCenter()
    : dataFolder_(DataFolderUnder(ApplicationDataFolder())),
      refuseReparsePoints_(Lumo::Win::IsProcessElevated()),
      attributes_(&::GetFileAttributesW) {}

DataCenter::DataCenter(std::wstring dataFolder, DWORD lockTimeoutMs, DataWriteGuard guard)
    : dataFolder_(AcceptedDataFolder(std::move(dataFolder))),
      lockTimeoutMs_(lockTimeoutMs),
      refuseReparsePoints_(guard.elevated()),
      attributes_(guard.attributes) {}

void DataCenter::RefuseRedirection(std::initializer_list<std::wstring> paths) const {
    if (!refuseReparsePoints_) return;
    // The folder is checked at each write, not once: it may be swapped for a
    // junction while the process lives.
    Lumo::Data::RefuseReparsePoint(dataFolder_, attributes_);
    for (const std::wstring& path : paths) Lumo::Data::RefuseReparsePoint(path, attributes_);
}

void DataCenter::ReplaceDataFolderFile(const std::wstring& name, std::string_view bytes) {
    const std::wstring path = GetDataFolder() + name;
    RefuseRedirection({path, path + L".tmp"});
    Lumo::Data::ReplaceFileContents(path, path + L".tmp", bytes);
}

std::wstring DataCenter::GetDataFolder() {
    if (!HasDataFolder()) throw Lumo::LastError(ERROR_PATH_NOT_FOUND);
    if (!Lumo::Data::PathExists(dataFolder_)) ::CreateDirectoryW(dataFolder_.c_str(), nullptr);
    return dataFolder_;
}

std::wstring DataCenter::GetDataFilePath() { return GetDataFolder() + kDataFileName; }

void DataCenter::SetInstallFolder(const std::wstring& modulePath) {
    Lumo::FileSystem::Path path(modulePath, 4);
    installFolder_ = WithTrailingBackslash(path.GetFolder());
}

std::shared_ptr<Lumo::Data::AllData> DataCenter::LoadLocked(const std::wstring& path) {
    const auto storeDefaults = [&] {
        Lumo::Data::AllData fresh;
        fresh.favorites->revision = 1;
        SaveLocked(path, fresh);
    };
    if (!Lumo::Data::PathExists(path)) storeDefaults();
    // Only the reader's own verdict on the bytes (a damaged layout, more than
    // the reader allows a file to hold) makes the file damaged. Anything else
    // (a disk or another program in the way, an allocation that fails in a
    // host whose address space is fragmented just now) is a passing state: the
    // file stays as it is and the error goes to the caller, so a moment short
    // of memory never costs the user the favorites.
    std::shared_ptr<Lumo::Data::AllData> data;
    try {
        data = Lumo::Data::ReadDataArchive(Lumo::Data::ReadDataFile(path));
    } catch (const Lumo::Data::CorruptDataFile&) {
        // Damaged, crafted, or not a data file at all. Keep the user's bytes
        // for whoever wants to look at them, and start again from the
        // defaults rather than fail every menu until someone deletes the file
        // by hand.
        Lumo::Win::LogFailure("DataCenter::Load", ERROR_FILE_CORRUPT, "damaged data file set aside");
        SetAsideDamagedFile(path);
        storeDefaults();
        data = Lumo::Data::ReadDataArchive(Lumo::Data::ReadDataFile(path));
    }
    if (data->Upgrade()) SaveLocked(path, *data);
    return data;
}

void DataCenter::SetAsideDamagedFile(const std::wstring& path) {
    RefuseRedirection({path});
    for (int number = 1; number <= 1000; ++number) {
        std::wstring aside = path + kDamagedSuffix;
        if (number > 1) aside += L"-" + std::to_wstring(number);
        RefuseRedirection({aside});
        if (::MoveFileExW(path.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) throw Lumo::LastError(error);
    }
    throw Lumo::LastError(ERROR_FILE_EXISTS);
}

void DataCenter::SaveLocked(const std::wstring& path, const Lumo::Data::AllData& data) {
    RefuseRedirection({path, path + L".tmp"});
    Lumo::Data::ReplaceFileContents(path, path + L".tmp", Lumo::Data::WriteDataArchive(data));
}

std::shared_ptr<Lumo::Data::AllData> DataCenter::Load() {
    Transaction transaction(*this);
    return LoadLocked(transaction.Path());
}

void DataCenter::Save(const Lumo::Data::AllData& data) {
    Transaction transaction(*this);
    SaveLocked(transaction.Path(), data);
}

bool DataCenter::AddFavorite(const std::wstring& folder) {
    Transaction transaction(*this);
    auto data = LoadLocked(transaction.Path());
    auto& folders = data->favorites->folders;
    if (std::find(folders.begin(), folders.end(), folder) != folders.end()) return false;
    folders.push_back(folder);
    data->favorites->revision += 1;
    SaveLocked(transaction.Path(), *data);
    return true;
}

bool DataCenter::AddFavorites(const std::vector<std::wstring>& list) {
    Transaction transaction(*this);
    auto data = LoadLocked(transaction.Path());
    auto& folders = data->favorites->folders;
    // Only the folders stored before the call count as present: a string
    // repeated inside `list` is appended each time.
    std::vector<const std::wstring*> added;
    {
        const std::unordered_set<std::wstring_view> stored(folders.begin(), folders.end());
        for (const std::wstring& folder : list) {
            if (stored.count(folder) == 0) added.push_back(&folder);
        }
    }
    for (const std::wstring* folder : added) folders.push_back(*folder);
    if (added.empty()) return false;
    data->favorites->revision += 1;
    SaveLocked(transaction.Path(), *data);
    return true;
}

bool DataCenter::RemoveFavoriteAt(std::size_t index, const std::wstring& folder) {
    Transaction transaction(*this);
    auto data = LoadLocked(transaction.Path());
    auto& folders = data->favorites->folders;
    if (index >= folders.size() || folders[index] != folder) return false;
    folders.erase(index);
    data->favorites->revision += 1;
    SaveLocked(transaction.Path(), *data);
    return true;
}

bool DataCenter::CommitFavorites(const std::shared_ptr<Lumo::Data::Favorites>& edited) {
    if (!edited) throw std::invalid_argument("CommitFavorites: no favorites");
    Transaction transaction(*this);
    auto data = LoadLocked(transaction.Path());
    if (data->favorites->revision != edited->revision) return false;
    edited->revision += 1;
    data->favorites = edited;
    try {
        SaveLocked(transaction.Path(), *data);
    } catch (...) {
        edited->revision -= 1;  // nothing was stored: the copy still matches the file
        throw;
    }
    return true;
}

bool DataCenter::CommitUserSettings(const std::shared_ptr<Lumo::Data::UserSettings>& edited) {
    if (!edited) throw std::invalid_argument("CommitUserSettings: no settings");
    Transaction transaction(*this);
    auto data = LoadLocked(transaction.Path());
    if (data->userSettings->revision != edited->revision) return false;
    edited->revision += 1;
    data->userSettings = edited;
    try {
        SaveLocked(transaction.Path(), *data);
    } catch (...) {
        edited->revision -= 1;
        throw;
    }
    return true;
}

bool DataCenter::SetSortMode(Lumo::Data::FavoriteSortMode mode) {
    Transaction transaction(*this);
    auto data = LoadLocked(transaction.Path());
    if (data->settings->sortMode == mode) return false;
    data->settings->sortMode = mode;
    SaveLocked(transaction.Path(), *data);
    return true;
}

void DataCenter::AddNavigateHistory(const std::wstring& folder) {
    Transaction transaction(*this);
    auto data = LoadLocked(transaction.Path());
    if (data->navigateHistory->Add(folder)) SaveLocked(transaction.Path(), *data);
}

void DataCenter::ClearNavigateHistory() {
    Transaction transaction(*this);
    auto data = LoadLocked(transaction.Path());
    if (data->navigateHistory->items.empty()) return;
    data->navigateHistory->Clear();
    SaveLocked(transaction.Path(), *data);
}

}  // namespace Lumo::Data
