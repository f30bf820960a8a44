// Walking the files of a selection, depth first in name order, with an explicit stack.
#include "tools/FileTree.h"

#include <windows.h>

#include <algorithm>

#include "system/Path.h"
#include "win/Handle.h"

namespace Lumo::Tools {
namespace {

std::wstring WithoutTrailingSeparators(std::wstring path) {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

// Ignoring case first, as Explorer sorts; names that differ only in case (a case-sensitive folder) still
// come in one fixed order.
bool NameBefore(const FolderEntry& a, const FolderEntry& b) {
    const int order = ::CompareStringOrdinal(a.name.c_str(), static_cast<int>(a.name.size()), b.name.c_str(),
                                             static_cast<int>(b.name.size()), TRUE);
    if (order != CSTR_EQUAL) return order == CSTR_LESS_THAN;
    return a.name < b.name;
}

}  // namespace

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::vector<ListedFile> FilesInListOrder(const std::vector<ChecksumSource>& selection,
                                         const std::wstring& skip, const FolderReader& read,
                                         const std::function<bool()>& cancelled) {
    // An explicit stack: a tree as deep as paths allow must not exhaust the thread's stack.
    struct Level {
        std::wstring folder;
        std::vector<FolderEntry> entries;
        size_t next = 0;
    };
    std::vector<ListedFile> files;
    std::vector<Level> stack;
    const auto open = [&](const std::wstring& folder) {
        Level level{folder, {}, 0};
        if (const unsigned long error = read(folder, level.entries)) {
            files.push_back({folder, error});
            return;
        }
        std::sort(level.entries.begin(), level.entries.end(), NameBefore);
        stack.push_back(std::move(level));
    };
    for (const ChecksumSource& item : selection) {
        if (cancelled && cancelled()) break;
        if (!item.folder) {
            if (!SamePath(item.path, skip)) files.push_back({item.path, 0});
            continue;
        }
        open(WithoutTrailingSeparators(item.path));
        while (!stack.empty()) {
            if (cancelled && cancelled()) return files;
            Level& top = stack.back();
            if (top.next == top.entries.size()) {
                stack.pop_back();
                continue;
            }
            const FolderEntry& entry = top.entries[top.next++];
            const std::wstring path = top.folder + L'\\' + entry.name;
            if (entry.folder) {
                open(path);
            } else if (!SamePath(path, skip)) {
                files.push_back({path, 0});
            }
        }
    }
    return files;
}

unsigned long ReadFolder(const std::wstring& folder, std::vector<FolderEntry>& entries) {
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = Lumo::FileSystem::LongPathForm(folder + L"\\*");
    const Lumo::Win::UniqueFind find(::FindFirstFileExW(
        pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : error;  // an empty drive root
    }
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const bool folderEntry = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // A junction or a folder link can lead back up the tree; the files it shows are listed where they
        // are.
        if (folderEntry && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
        entries.push_back({name, folderEntry});
    } while (::FindNextFileW(find.get(), &data));
    const DWORD error = ::GetLastError();
    return error == ERROR_NO_MORE_FILES ? 0 : error;
}

}  // namespace Lumo::Tools
