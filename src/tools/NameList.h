// Advanced Copy Name's list building: the selected items turned into one name
// per line under the copy options (which items, which part of the path, case,
// order). The dialog and the two copy tools of the shell menu share it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "system/Selection.h"

namespace Tools {

// The options of one list. The defaults are the dialog's initial states.
struct CopyNameOptions {
    bool includeFiles = true;       // files (and shortcuts left unresolved) are listed
    bool includeFolders = true;     // folders and drives are listed
    bool resolveShortcuts = false;  // a shortcut is replaced by its target
    bool fullPath = true;           // else only the last component
    bool appendBackslash = true;    // folder names end in a backslash
    bool includeExtension = true;   // else file names lose their extension
    bool longName = true;           // else the 8.3 short form
    bool modifyCase = false;
    bool lowercase = true;  // with modifyCase; else upper case
    bool sort = false;
    bool ascending = true;  // with sort; else descending

    // The eleven flags in two bytes, includeFiles in bit 0 up to ascending in bit 10.
    uint16_t Pack() const;
    static CopyNameOptions Unpack(uint16_t bits);
};

// The option sets of "Copy &Path Name" and "Copy &File Name".
CopyNameOptions CopyPathNameOptions();
CopyNameOptions CopyFileNameOptions();

// One selected item as the list builder sees it.
struct NameListItem {
    Data::ItemKind kind = Data::Other;
    std::wstring path;
};

// A shortcut's target and its file attributes.
struct ShortcutTarget {
    std::wstring path;
    DWORD attributes = 0;
};

// The list, each name followed by "\r\n".
std::wstring BuildNameList(const std::vector<NameListItem>& items, const CopyNameOptions& options);
std::wstring BuildNameList(const Data::SelectedItemsInfo& selection, const CopyNameOptions& options);
// An absent selection gives an empty list.
std::wstring BuildNameList(const std::shared_ptr<Data::SelectedItemsInfo>& selection,
                           const CopyNameOptions& options);

// The target of a shortcut file, without searching, UI or rewriting the
// shortcut; nothing when it cannot be resolved.
std::optional<ShortcutTarget> ResolveShortcut(const std::wstring& shortcut);
// The 8.3 form of a path; nothing when the file system cannot give it.
std::optional<std::wstring> ShortPathName(const std::wstring& path);
// The name in lower or upper case by the user's locale.
std::wstring ChangeCase(const std::wstring& name, bool lower);

}  // namespace Tools
