// The menu item tree: OddBase, the base of every entry the handler puts into a
// menu, the builder that appends items to one menu, and the framework's own
// items (the "(Empty)" placeholder, the invisible first entry, the Quelvar
// entry).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

class CGotoFavorite;

class OddBase {
public:
    enum Flags : int {
        ItemHasSubmenu = 1,   // InsertItem creates a popup for the item
        ItemFillOnOpen = 2,   // with ItemHasSubmenu: filled by FillSubmenu each time it opens afresh
        ItemPlaceholder = 4,  // the grayed "(Empty)" entry; never released from the item table
        ItemDisabled = 8,     // disabled and grayed after insertion
    };
    static constexpr BYTE kNoMnemonic = 0xFF;

    OddBase(int kind, const wchar_t* label, int iconIndex, int flags, BYTE mnemonic);
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
    EmptyHolder() : OddBase(1, L"(Empty)", -1, ItemPlaceholder, kNoMnemonic) {}
};

// The invisible first entry of the main submenu: it takes no space.
class TopMenuItem : public OddBase {
public:
    TopMenuItem() : OddBase(2, nullptr, -1, 0, kNoMnemonic) {}
    void MeasureItem(MEASUREITEMSTRUCT& measure) override;
};

// The entry the handler adds to the shell's menu; its submenu is the main submenu.
class Quelvar : public OddBase {
public:
    Quelvar() : OddBase(3, L"Quelvar", 1, ItemHasSubmenu | ItemFillOnOpen, kNoMnemonic) {}
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
