// Walking a folder for -r: every file below it in an order that does not depend on the file system's own,
// so that two runs over the same files write the same list.
#include <algorithm>

#include "Qvsum.h"
#include "system/Path.h"
#include "win/Handle.h"

namespace Qvsum {
namespace {

struct FindTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE find) { ::FindClose(find); }
};
using UniqueFind = Lumo::Win::UniqueResource<HANDLE, FindTraits>;

struct Entry {
    std::wstring name;
    bool folder = false;
};

// Ignoring case first, as Explorer sorts; names that differ only in case (a case-sensitive folder) still
// come in one fixed order.
bool NameBefore(const Entry& a, const Entry& b) {
    const int order = ::CompareStringOrdinal(a.name.c_str(), static_cast<int>(a.name.size()), b.name.c_str(),
                                             static_cast<int>(b.name.size()), TRUE);
    if (order != CSTR_EQUAL) return order == CSTR_LESS_THAN;
    return a.name < b.name;
}

// The entries of one folder, sorted; false with the system's error when it cannot be listed.
bool ReadFolder(const std::wstring& folder, std::vector<Entry>& entries, unsigned long& error) {
    entries.clear();
    WIN32_FIND_DATAW data{};
    UniqueFind find(::FindFirstFileExW(Lumo::FileSystem::LongPathForm(folder + L"\\*").c_str(),
                                       FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                       FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND;  // nothing at all in it, not even "." (a drive's root)
    }
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const bool folderEntry = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // A junction or a folder link can lead back up the tree; the files it shows are listed where they
        // are.
        if (folderEntry && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        entries.push_back({name, folderEntry});
    } while (::FindNextFileW(find.get(), &data));
    error = ::GetLastError();
    if (error != ERROR_NO_MORE_FILES) return false;
    error = 0;
    std::sort(entries.begin(), entries.end(), NameBefore);
    return true;
}

}  // namespace

std::vector<TreeItem> ListTree(const std::wstring& folder, const std::wstring& shownFolder) {
    // One level per open folder rather than recursion: a deep tree must not run out of stack.
    struct Level {
        std::wstring path;
        std::wstring shown;
        std::vector<Entry> entries;
        size_t next = 0;
    };
    std::vector<TreeItem> items;
    std::vector<Level> levels;
    const auto open = [&](const std::wstring& path, const std::wstring& shown) {
        Level level{path, shown, {}, 0};
        unsigned long error = 0;
        if (!ReadFolder(path, level.entries, error)) {
            items.push_back({path, shown, error});
            return;
        }
        levels.push_back(std::move(level));
    };
    std::wstring root = folder;
    while (root.size() > 1 && (root.back() == L'\\' || root.back() == L'/')) root.pop_back();
    open(root, shownFolder);
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.entries.size()) {
            levels.pop_back();
            continue;
        }
        const Entry& entry = level.entries[level.next++];
        std::wstring shown = level.shown;
        if (shown.empty() || (shown.back() != L'/' && shown.back() != L'\\')) shown += L'/';
        shown += entry.name;
        std::wstring path = level.path + L'\\' + entry.name;
        if (entry.folder)
            open(path, shown);  // may move `level`; nothing below uses it
        else
            items.push_back({std::move(path), std::move(shown), 0});
    }
    return items;
}

}  // namespace Qvsum
