// Walking the files of a selection: every file below the selected folders, in an order that does not depend
// on the file system's own, so that two runs over the same files list them alike. The walk is plain code over
// a folder reader; ReadFolder is that reader over the real file system.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace Lumo::Tools {

// Whether two names or paths are the same to Windows: ordinal, ignoring case.
bool SamePath(const std::wstring& a, const std::wstring& b);

// A selected item that goes into a new list.
struct ChecksumSource {
    std::wstring path;
    bool folder = false;
};
// One entry of a folder.
struct FolderEntry {
    std::wstring name;
    bool folder = false;
};
// Lists a folder's entries (without "." and ".."), or returns the system's error code.
using FolderReader =
    std::function<unsigned long(const std::wstring& folder, std::vector<FolderEntry>& entries)>;
// A file to list, or a folder that could not be read (`error` set).
struct ListedFile {
    std::wstring path;
    unsigned long error = 0;
};
// The files of the selection in the order a list gives them: the items in selection order, each folder's
// entries sorted by name ignoring case (ordinal; names that differ only in case in a fixed order), depth
// first. `skip` (the list itself) is left out; the walk stops early when `cancelled` says so. A folder that cannot be read comes out as an entry with its
// error, so that nothing is left out unnoticed.
std::vector<ListedFile> FilesInListOrder(const std::vector<ChecksumSource>& selection,
                                         const std::wstring& skip, const FolderReader& read,
                                         const std::function<bool()>& cancelled);
// The reader over the real file system: folders that are links to elsewhere are left out (they may lead
// back into the tree).
unsigned long ReadFolder(const std::wstring& folder, std::vector<FolderEntry>& entries);

}  // namespace Lumo::Tools
