// CGotoFavorite: the context-menu handler object the shell creates for each
// classic context menu (its COM surface is IGotoFavorite, IShellExtInit and
// IContextMenu/2/3, one shared pointer for the three menu interfaces). It
// makes the menu's context in Initialize and renders the entries of the menu
// model into the shell's menu as owner-drawn entries: the Quelvar entry in
// QueryContextMenu, the children of a submenu when it opens; it draws them and
// runs the chosen one.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "Quelvar.h"
#include "shellext/MenuContext.h"
#include "shellext/MenuEntry.h"
#include "win/ComObject.h"
#include "win/ModuleReference.h"

namespace ShellExt {

struct ThreadMenuState;

class CGotoFavorite final
    : public Lumo::Win::ComObject<CGotoFavorite, IGotoFavorite, IShellExtInit, IContextMenu3> {
public:
    // Creates an object showing `definition`'s menus and asks it for `iid`
    // (the class factory's creator).
    static HRESULT CreateInstance(REFIID iid, void** result, MenuDefinition definition) noexcept;

    // IUnknown comes from the base, over this table; the three menu
    // interfaces share one part. AddRefUnlessReleased gives the engine a
    // reference of its own, refused once the last one has gone (the object
    // is being destroyed, perhaps on another thread).
    static const Lumo::Win::InterfaceEntry* Interfaces() noexcept;

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
    // created for it, if any. A submenu built with the entry gets its
    // children at once; one filled on opening gets the placeholder.
    HMENU InsertItem(HMENU menu, UINT position, const ItemPtr& item);
    // Inserts `entries` from `position` on; returns the position after them.
    UINT InsertEntries(HMENU menu, UINT position, const std::vector<ItemPtr>& entries);
    // Fills a popup filled on opening with the children of `item`, in place of
    // its placeholder; the placeholder stays when there are none.
    void FillPopup(HMENU popup, const ItemPtr& item);
    // The placeholder entry of this handler's popups that are filled on opening.
    MENUITEMINFOW PlaceholderEntry() const;
    // Whether the handler's entries are in a menu (QueryContextMenu added them).
    bool InMenu() const { return rootItemIndex_ != -1; }

    // What the menu is built from; an empty context before Initialize.
    const ContextPtr& Context() const { return context_; }
    UINT FirstCommandId() const { return firstCommandId_; }
    int RootItemIndex() const { return rootItemIndex_; }

private:
    explicit CGotoFavorite(MenuDefinition definition);
    ~CGotoFavorite() override;

    Lumo::Win::ModuleReference moduleReference_;
    MenuDefinition definition_;
    ContextPtr context_;
    UINT firstCommandId_ = 0;
    int rootItemIndex_ = -1;
    // The record of the thread that made the handler; emptied of it on release.
    std::shared_ptr<ThreadMenuState> home_;
};

}  // namespace ShellExt
