// The selection snapshot: the shell items of a context menu, classified as
// files, folders, shortcuts and drives, and the folder test of the favorites.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <list>
#include <memory>
#include <string>
#include <vector>

namespace Data {

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

    std::wstring GetItemPath(size_t index) const { return itemInfos.at(index)->path; }

    // Builds the snapshot from a folder and items relative to it.
    static std::shared_ptr<SelectedItemsInfo> Build(PCIDLIST_ABSOLUTE folder,
                                                    const std::vector<PCUITEMID_CHILD>& items);
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
