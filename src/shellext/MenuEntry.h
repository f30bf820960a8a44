// The menu model: OddBase, what every entry of Quelvar's menus is (its kind,
// label, help text, icon, state, the children it builds when opened and the
// action it runs), the list the builders append entries to, and the
// framework's own entries (the "(Empty)" placeholder, a separator, the
// invisible first entry, the Quelvar entry). Entries read the menu's context
// and know nothing of how they are shown: the classic handler renders them
// into an owner-drawn menu, the Windows 11 command into its command tree.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "navigation/Navigation.h"
#include "shellext/MenuContext.h"

namespace Lumo::ShellExt {

class OddBase;
using ItemPtr = std::shared_ptr<OddBase>;

class OddBase {
public:
    enum Flags : int {
        ItemHasSubmenu = 1,   // the entry opens a submenu of its children
        ItemFillOnOpen = 2,   // with ItemHasSubmenu: the children are built each time it opens afresh
        ItemPlaceholder = 4,  // the grayed "(Empty)" entry
        ItemDisabled = 8,     // shown disabled and grayed
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
        KindSeparator = 26,
    };
    static constexpr BYTE kNoMnemonic = 0xFF;

    OddBase(Kind kind, const wchar_t* label, int iconIndex, int flags, BYTE mnemonic);
    virtual ~OddBase() = default;
    OddBase(const OddBase&) = delete;
    OddBase& operator=(const OddBase&) = delete;

    // The command, run for `target` (the window the menu came from).
    virtual void Execute(const Navigation::Target& target);
    // The entries of the entry's submenu, in order; built each time a submenu
    // filled on opening opens. None keeps the "(Empty)" placeholder.
    virtual std::vector<ItemPtr> Children();
    // The entry's own menu, opened by a right-click on it.
    virtual void ShowItemMenu(HWND window);
    // The size of the owner-drawn entry in the classic menu.
    virtual void MeasureItem(MEASUREITEMSTRUCT& measure);

    bool Has(int flag) const { return (flags & flag) != 0; }
    bool IsSeparator() const { return kind == KindSeparator; }

    int kind;
    // What the menu was built from; set when the entry joins an entry list.
    ContextPtr context;
    std::wstring label;
    int iconIndex;
    int flags;
    std::wstring helpText;
    BYTE mnemonic;
};

// Entries of one submenu, appended in order; each takes the list's context.
class EntryList {
public:
    explicit EntryList(ContextPtr context) : context_(std::move(context)) {}
    const ItemPtr& AddItem(const ItemPtr& item);
    void AddSeparator();
    const ContextPtr& Context() const { return context_; }
    const MenuContext& Menu() const { return *context_; }
    std::vector<ItemPtr> Take() { return std::move(entries_); }

private:
    ContextPtr context_;
    std::vector<ItemPtr> entries_;
};

// The grayed "(Empty)" entry of a submenu with nothing to show.
class EmptyHolder : public OddBase {
public:
    EmptyHolder() : OddBase(KindPlaceholder, L"(Empty)", -1, ItemPlaceholder, kNoMnemonic) {}
};

// A separator line.
class SeparatorItem : public OddBase {
public:
    SeparatorItem() : OddBase(KindSeparator, nullptr, -1, 0, kNoMnemonic) {}
    void MeasureItem(MEASUREITEMSTRUCT& measure) override;
};

// The invisible first entry of the classic main submenu: it takes no space.
class TopMenuItem : public OddBase {
public:
    TopMenuItem() : OddBase(KindTopEntry, nullptr, -1, 0, kNoMnemonic) {}
    void MeasureItem(MEASUREITEMSTRUCT& measure) override;
};

class Quelvar;

// What the menus hold, handed down by the module to the objects that show
// them: the builder of the main submenu and the Quelvar entry's own menu
// (Options pages, help manual). Without a builder the submenu stays empty.
struct MenuDefinition {
    std::function<void(EntryList& entries)> mainSubmenu;
    std::function<void(Quelvar& item, HWND window)> itemMenu;
};

// The entry the handler adds to the shell's menu; its children are the main submenu.
class Quelvar : public OddBase {
public:
    static constexpr int kIconIndex = 1;

    explicit Quelvar(MenuDefinition definition);
    std::vector<ItemPtr> Children() override;
    void ShowItemMenu(HWND window) override;

private:
    MenuDefinition definition_;
};

}  // namespace Lumo::ShellExt
