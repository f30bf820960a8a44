// CGotoFavorite: the context-menu handler object the shell creates for each
// context menu. Its COM surface is IGotoFavorite, IShellExtInit and
// IContextMenu/2/3 (one shared pointer for the three menu interfaces).
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "Quelvar.h"
#include "data/HandlerDataSnapshot.h"
#include "shellext/MenuItem.h"
#include "data/Selection.h"
#include "win/Handle.h"
#include "win/ModuleReference.h"

class CGotoFavorite final : public IGotoFavorite, public IShellExtInit, public IContextMenu3 {
public:
    // Creates an object and asks it for `iid` (the class factory's creator).
    static HRESULT CreateInstance(REFIID iid, void** result) noexcept;

    // IUnknown
    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) noexcept override;
    IFACEMETHODIMP_(ULONG) AddRef() noexcept override;
    IFACEMETHODIMP_(ULONG) Release() noexcept override;

    // IShellExtInit
    IFACEMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) noexcept override;

    // IContextMenu
    IFACEMETHODIMP QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                    UINT flags) noexcept override;
    IFACEMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) noexcept override;
    IFACEMETHODIMP GetCommandString(UINT_PTR idCmd, UINT type, UINT* reserved, LPSTR name,
                                    UINT cchMax) noexcept override;
    // IContextMenu2
    IFACEMETHODIMP HandleMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam) noexcept override;
    // IContextMenu3
    IFACEMETHODIMP HandleMenuMsg2(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) noexcept override;

    // Internal operations that follow the IUnknown entries.
    virtual HRESULT ProcessMenuMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) noexcept;
    virtual LRESULT OnMeasureItem(MEASUREITEMSTRUCT& measure, int index);
    virtual LRESULT OnDrawItem(const DRAWITEMSTRUCT& draw, int index);
    virtual LRESULT OnMenuChar(HMENU menu, WCHAR character, LRESULT* result);

    // Inserts an owner-drawn entry for `item` at `position`; returns the popup
    // created for it, if any.
    HMENU InsertItem(HMENU menu, UINT position, const ItemPtr& item);
    // The placeholder entry of this handler's popups that are filled on opening.
    MENUITEMINFOW PlaceholderEntry() const;

    // The classified selection, built afresh on each call.
    std::shared_ptr<Data::SelectedItemsInfo> GetSelectedItemsInfo() const;

    // The persisted data, loaded once per handler.
    void LoadData() { snapshot_.LoadData(); }
    bool dataLoaded() const { return snapshot_.dataLoaded; }
    Data::SnapshotState dataState() const { return snapshot_.state; }
    const std::shared_ptr<Data::AllData>& data() const { return snapshot_.data; }
    // The menu's copy of the favorites (the favorites menu sorts it in place).
    std::vector<std::wstring>& favoriteFolders() { return snapshot_.favoriteFolders; }

    // Handler state read by the menu items.
    std::wstring folderPath;
    std::vector<std::wstring> selectedFolders;
    UINT firstCommandId = 0;
    int rootItemIndex = -1;
    std::wstring dialogPath;
    Lumo::Win::UniqueIdList folderIdList;
    std::vector<Lumo::Win::UniqueIdList> itemIdLists;

private:
    CGotoFavorite();
    ~CGotoFavorite();

    volatile LONG references_ = 1;
    Lumo::Win::ModuleReference moduleReference_;
    Data::HandlerDataSnapshot snapshot_;
};
