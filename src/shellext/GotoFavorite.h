// CGotoFavorite: the context-menu handler object the shell creates for each
// context menu (its COM surface is IGotoFavorite, IShellExtInit and
// IContextMenu/2/3, one shared pointer for the three menu interfaces), and the
// menu item tree it owns: OddBase, the base of every entry the handler puts
// into a menu, the builder that appends items to one menu, and the
// framework's own items (the "(Empty)" placeholder, the invisible first entry,
// the Quelvar entry). Items and handler work through each other, so they are
// declared together.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Quelvar.h"
#include "data/HandlerDataSnapshot.h"
#include "data/Selection.h"
#include "win/Handle.h"
#include "win/ModuleReference.h"

namespace ShellExt {

class CGotoFavorite;
struct ThreadMenuState;

class OddBase {
public:
    enum Flags : int {
        ItemHasSubmenu = 1,   // InsertItem creates a popup for the item
        ItemFillOnOpen = 2,   // with ItemHasSubmenu: filled by FillSubmenu each time it opens afresh
        ItemPlaceholder = 4,  // the grayed "(Empty)" entry; never released from the item table
        ItemDisabled = 8,     // disabled and grayed after insertion
    };
    // What an entry is; a few entries of one behaviour share a kind.
    enum Kind : int {
        KindPlaceholder = 1,
        KindTopEntry = 2,
        KindQuelvar = 3,
        KindNavigateHistory = 6,
        KindClearHistory = 7,
        KindHistoryFolder = 8,
        KindFavorite = 10,
        KindMoreFavorites = 11,
        KindAddFavorites = 12,
        KindShellTools = 13,
        KindSystemFolders = 14,
        KindSystemFolder = 15,
        KindOptions = 17,
        KindVersionTooHigh = 18,
        KindCopyPathName = 19,
        KindCopyFileName = 20,
        KindAdvancedCopyName = 21,
        KindShellCommand = 22,  // the command prompt and the two quick checksums
        KindMoreHashAlgorithms = 25,
        KindSeparator = 26,  // a separator of a dark menu, drawn in the dark colours
    };
    static constexpr BYTE kNoMnemonic = 0xFF;

    OddBase(Kind kind, const wchar_t* label, int iconIndex, int flags, BYTE mnemonic);
    virtual ~OddBase() = default;
    OddBase(const OddBase&) = delete;
    OddBase& operator=(const OddBase&) = delete;

    virtual void Execute(HWND host);
    virtual void FillSubmenu(HMENU menu);
    virtual void ShowItemMenu(HWND window);
    virtual void MeasureItem(MEASUREITEMSTRUCT& measure);

    bool Has(int flag) const { return (flags & flag) != 0; }

    int kind;
    CGotoFavorite* owner = nullptr;
    std::wstring label;
    int iconIndex;
    int flags;
    std::wstring helpText;
    BYTE mnemonic;
};

using ItemPtr = std::shared_ptr<OddBase>;

// Appends items and separators to one menu, in order.
class SubmenuBuilder {
public:
    SubmenuBuilder(CGotoFavorite* owner, HMENU menu, UINT position = 0)
        : owner_(owner), menu_(menu), position_(position) {}
    // Returns the popup created for the item, if any.
    HMENU AddItem(const ItemPtr& item);
    void AddSeparator();
    UINT Position() const { return position_; }
    HMENU Menu() const { return menu_; }
    CGotoFavorite* Owner() const { return owner_; }

private:
    CGotoFavorite* owner_;
    HMENU menu_;
    UINT position_;
};

// The grayed "(Empty)" entry of every popup that is filled on opening.
class EmptyHolder : public OddBase {
public:
    EmptyHolder() : OddBase(KindPlaceholder, L"(Empty)", -1, ItemPlaceholder, kNoMnemonic) {}
};

// A separator line of a dark menu (the system's own is drawn in light colours).
class SeparatorItem : public OddBase {
public:
    SeparatorItem() : OddBase(KindSeparator, nullptr, -1, 0, kNoMnemonic) {}
    void MeasureItem(MEASUREITEMSTRUCT& measure) override;
};

// The invisible first entry of the main submenu: it takes no space.
class TopMenuItem : public OddBase {
public:
    TopMenuItem() : OddBase(KindTopEntry, nullptr, -1, 0, kNoMnemonic) {}
    void MeasureItem(MEASUREITEMSTRUCT& measure) override;
};

// The entry the handler adds to the shell's menu; its submenu is the main submenu.
class Quelvar : public OddBase {
public:
    Quelvar() : OddBase(KindQuelvar, L"Quelvar", 1, ItemHasSubmenu | ItemFillOnOpen, kNoMnemonic) {}
    void FillSubmenu(HMENU menu) override;
    void ShowItemMenu(HWND window) override;

    // The entry's own menu (Options pages, help manual), built a floor above
    // this engine and handed over when the module starts; nothing opens
    // without it.
    using ItemMenu = std::function<void(Quelvar& item, HWND window)>;
    static void SetItemMenu(ItemMenu menu);

    // The builder of the main submenu. The menu entries live a floor above
    // this engine, so the module hands it over when it starts.
    using SubmenuFiller = std::function<void(SubmenuBuilder& builder)>;
    static void SetMainSubmenuBuilder(SubmenuFiller builder);

    // Replaces the main submenu's content after its invisible first entry, so
    // that tests of the menu engine can put entries of their own there. An
    // empty function restores the builder.
    static void SetMainSubmenuFiller(SubmenuFiller filler);
};

class CGotoFavorite final : public IGotoFavorite, public IShellExtInit, public IContextMenu3 {
public:
    // Creates an object and asks it for `iid` (the class factory's creator).
    static HRESULT CreateInstance(REFIID iid, void** result) noexcept;

    // IUnknown
    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) noexcept override;
    IFACEMETHODIMP_(ULONG) AddRef() noexcept override;
    IFACEMETHODIMP_(ULONG) Release() noexcept override;
    // A reference for the engine's own use, refused once the last one has
    // gone (the object is being destroyed, perhaps on another thread).
    bool AddRefUnlessReleased() noexcept;

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

    // The persisted data, loaded once per handler.
    void LoadData() { snapshot_.LoadData(); }
    bool dataLoaded() const { return snapshot_.dataLoaded; }
    Data::SnapshotState dataState() const { return snapshot_.state; }
    const std::shared_ptr<Data::AllData>& data() const { return snapshot_.data; }
    // The menu's copy of the favorites (the favorites menu sorts it in place).
    Data::FolderList& favoriteFolders() { return snapshot_.favoriteFolders; }

    // Handler state read by the menu items.
    std::wstring folderPath;
    std::vector<std::wstring> selectedFolders;
    UINT firstCommandId = 0;
    int rootItemIndex = -1;
    std::wstring dialogPath;
    Lumo::Win::UniqueIdList folderIdList;
    std::vector<Lumo::Win::UniqueIdList> itemIdLists;
    // Set when the handler serves Windows 11's first-level menu, which names
    // the window it came from through its site instead of a window handle:
    // navigation goes to that window's browser; when the site hands out none
    // (null), to the site's window through the shell's window collection
    // (`siteWindow`, null when the site names none); else to a new window.
    bool commandSite = false;
    Lumo::Win::ComPtr<IShellBrowser> siteBrowser;
    HWND siteWindow = nullptr;
    // Which of the three the last navigation took ("site browser", "shell
    // window", "new window"), for the diagnostic log; null before one.
    const char* commandRoute = nullptr;

private:
    CGotoFavorite();
    ~CGotoFavorite();

    volatile LONG references_ = 1;
    Lumo::Win::ModuleReference moduleReference_;
    Data::HandlerDataSnapshot snapshot_;
    // The record of the thread that made the handler; emptied of it on release.
    std::shared_ptr<ThreadMenuState> home_;
};

}  // namespace ShellExt
