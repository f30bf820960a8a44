// MenuContext: what one context menu is built from, made once per menu and
// never changed afterwards: the folder and the selected items (identifier
// lists and parsing names) and the data snapshot. The classic handler makes it
// in Initialize from the shell's data object, the Windows 11 command from the
// shell item array; the builders and entries only read it.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "data/HandlerDataSnapshot.h"
#include "system/Selection.h"
#include "win/Handle.h"

namespace ShellExt {

class MenuContext {
public:
    MenuContext() = default;
    MenuContext(Lumo::Win::UniqueIdList folder, std::vector<Lumo::Win::UniqueIdList> items);
    MenuContext(const MenuContext&) = delete;
    MenuContext& operator=(const MenuContext&) = delete;

    // The folder of the menu (the items' parent, or the folder whose
    // background was clicked) and the selected items, relative to it.
    PCIDLIST_ABSOLUTE Folder() const { return folder_.get(); }
    const std::wstring& FolderPath() const { return folderPath_; }
    std::size_t ItemCount() const { return items_.size(); }

    // The classified selection, built afresh on each call from the first
    // `limit` items: by default as many as a menu may look at while it opens.
    std::shared_ptr<Data::SelectedItemsInfo> GetSelectedItemsInfo(
        std::size_t limit = Data::kItemsSeenWhileMenuOpens) const;
    // The classification of every selected item, for a command chosen from a
    // menu built on `seen`: `seen` itself when it looked at every item.
    std::shared_ptr<Data::SelectedItemsInfo> WholeSelection(
        const std::shared_ptr<Data::SelectedItemsInfo>& seen) const;
    // The parsing names of the selected folders the favorites can hold, from
    // the first `limit` items.
    std::vector<std::wstring> NavigableSelectedFolders(std::size_t limit) const;

    // The persisted data, loaded once per menu the first time a part asks,
    // so that every part of one menu sees the same favorites. Null without a
    // record (a newer release's file, one that cannot be read now).
    const std::shared_ptr<Data::AllData>& data() const;
    Data::SnapshotState dataState() const;
    // The favorites in their stored order.
    const Data::FolderList& Favorites() const;
    // The width limit the user set for menu entries, or 0 for none.
    int MenuWidthLimit() const;

private:
    const Data::HandlerDataSnapshot& Snapshot() const;

    Lumo::Win::UniqueIdList folder_;
    std::wstring folderPath_;
    std::vector<Lumo::Win::UniqueIdList> items_;
    mutable std::once_flag loaded_;
    mutable Data::HandlerDataSnapshot snapshot_;
};

using ContextPtr = std::shared_ptr<const MenuContext>;

// The context of a classic menu: `folder` (the folder whose background was
// clicked), or the folder and items of the shell's "Shell IDList Array" in
// `selection`. A block that does not hold a valid array gives E_INVALIDARG.
HRESULT ContextFromDataObject(PCIDLIST_ABSOLUTE folder, IDataObject* selection, ContextPtr& result);

// The context of Windows 11's first-level menu: the items of `items` that
// share the first one's folder (items of another folder, from a search or a
// library, are left out); without items, the folder `site`'s window shows.
ContextPtr ContextFromItems(IShellItemArray* items, IUnknown* site);

// The shell browser of a command's site, or null.
Lumo::Win::ComPtr<IShellBrowser> BrowserOfSite(IUnknown* site);

}  // namespace ShellExt
