// The selection snapshot: the shell items of a context menu, classified as
// files, folders, shortcuts and drives, and the folder test of the favorites.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace Data {

// While a menu opens (at query time and when a popup fills) the handler looks
// at no more selected items than the shell itself hands a handler when it
// asks what a menu holds: a selection of thousands of items, each asked about
// on the host's window thread (a network round trip per item on a share),
// would freeze the window. Work that needs every item waits for the command.
inline constexpr std::size_t kItemsSeenWhileMenuOpens = 16;
// No limit: the whole selection, read when a command needs it.
inline constexpr std::size_t kWholeSelection = static_cast<std::size_t>(-1);

// The attribute bits the classification reads, and nothing slow: asking a
// shell folder for every bit makes it open files and read folder settings.
inline constexpr SFGAOF kClassifyingAttributes = SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_FILESYSANCESTOR |
                                                 SFGAO_STREAM | SFGAO_LINK | SFGAO_CAPABILITYMASK;

// How many selected items the shell was asked about so far in this process
// (attributes and names), summed over every snapshot and folder collection.
long ItemsExaminedSoFar();

enum ItemKind : int { Other = 0, File = 1, Folder = 2, Shortcut = 3, Drive = 4 };

class SelectedItemsInfo {
public:
    struct OneItemInfo {
        ItemKind kind = Other;
        PCUITEMID_CHILD idList = nullptr;  // borrowed from the handler
        SFGAOF attributes = 0;
        std::wstring path;
    };

    PCIDLIST_ABSOLUTE folderIdList = nullptr;  // borrowed from the handler
    std::vector<std::shared_ptr<OneItemInfo>> itemInfos;
    std::list<int> folderIndexes;
    std::list<int> fileIndexes;
    std::list<int> driveIndexes;
    std::list<int> shortcutIndexes;
    // Identifier lists in the selection, and how many of them were looked at.
    std::size_t selectedCount = 0;
    std::size_t examinedCount = 0;
    // Whether every selected item was looked at (always so for selections of
    // up to kItemsSeenWhileMenuOpens items).
    bool Complete() const { return examinedCount >= selectedCount; }

    std::wstring GetItemPath(size_t index) const { return itemInfos.at(index)->path; }

    // Builds the snapshot from a folder and items relative to it, looking at
    // the first `limit` items only.
    static std::shared_ptr<SelectedItemsInfo> Build(PCIDLIST_ABSOLUTE folder,
                                                    const std::vector<PCUITEMID_CHILD>& items,
                                                    std::size_t limit = kWholeSelection);
    // The kind that a shell attribute mask and parsing name make an item.
    static ItemKind Classify(SFGAOF attributes, const std::wstring& path);
};

}  // namespace Data

// An identifier list with an optional parent; its one service is the parsing name.
class ItemIDList {
public:
    ItemIDList(PCUIDLIST_RELATIVE item, PCIDLIST_ABSOLUTE parent) : item_(item), parent_(parent) {}
    virtual ~ItemIDList() = default;
    // SHGDN_FORPARSING name; empty on any failure.
    std::wstring ParsingName() const;

private:
    PCUIDLIST_RELATIVE item_;
    PCIDLIST_ABSOLUTE parent_;
};

// Whether the item names a folder the favorites can navigate to; `name`
// receives its parsing name.
bool IsNavigableFolder(PCUIDLIST_RELATIVE item, PCIDLIST_ABSOLUTE parent, std::wstring* name = nullptr);
// The name rules of IsNavigableFolder, given a parsing name.
bool IsNavigableFolderName(const std::wstring& name);
// The same rules for a selected item whose shell attributes are known: the
// attributes tell a file-system folder without asking the file system again.
bool IsNavigableFolderItem(const std::wstring& name, SFGAOF attributes);
// The parsing names of the selected items (relative to `folder`) that are
// navigable folders and no shortcuts, looking at the first `limit` items only.
std::vector<std::wstring> NavigableFolders(PCIDLIST_ABSOLUTE folder,
                                           const std::vector<PCUIDLIST_RELATIVE>& items,
                                           std::size_t limit = Data::kWholeSelection);
