// The handler object: its COM surface, the context Initialize makes, and the
// classic rendering of the menu model: owner-drawn entries inserted into the
// shell's menu, command dispatch and the menu messages.
#include "shellext/GotoFavorite.h"

#include <string>

#include "shellext/MenuChar.h"
#include "shellext/MenuEngine.h"
#include "shellext/MenuTheme.h"
#include "shellext/ThreadMenuState.h"
#include "win/Boundary.h"
#include "win/Lock.h"

namespace ShellExt {

using Lumo::Win::ComBoundary;

namespace {

// Before any menu window of the thread exists, the shell also builds menus
// it never shows (to find a default verb, say); these values tell them apart.
constexpr UINT kHiddenMenuQuery = 0x10020;    // CMF_NODEFAULT with a reserved bit
constexpr UINT kShownMenuQueryBit = 0x20000;  // a reserved bit hosts set for menus they show

}  // namespace

CGotoFavorite::CGotoFavorite(MenuDefinition definition)
    : definition_(std::move(definition)), context_(std::make_shared<const MenuContext>()) {
    home_ = MenuEngine::AddLiveHandler(this);
}

CGotoFavorite::~CGotoFavorite() {
    Lumo::Win::VoidBoundary([this] {
        if (home_) MenuEngine::RemoveLiveHandler(this, *home_);
    });
}

HRESULT CGotoFavorite::CreateInstance(REFIID iid, void** result, MenuDefinition definition) noexcept {
    if (!result) return E_POINTER;
    *result = nullptr;
    return ComBoundary(E_FAIL, [&]() -> HRESULT {
        auto* object = new CGotoFavorite(std::move(definition));
        HRESULT hr = object->QueryInterface(iid, result);
        object->Release();
        return hr;
    });
}

const Lumo::Win::InterfaceEntry* CGotoFavorite::Interfaces() noexcept {
    using Lumo::Win::InterfaceEntryOf;
    static const Lumo::Win::InterfaceEntry table[] = {
        InterfaceEntryOf<CGotoFavorite, IGotoFavorite>(IID_IGotoFavorite),
        InterfaceEntryOf<CGotoFavorite, IShellExtInit>(IID_IShellExtInit),
        InterfaceEntryOf<CGotoFavorite, IContextMenu3>(IID_IContextMenu),
        InterfaceEntryOf<CGotoFavorite, IContextMenu3>(IID_IContextMenu2),
        InterfaceEntryOf<CGotoFavorite, IContextMenu3>(IID_IContextMenu3),
        {},
    };
    return table;
}

// IShellExtInit ---------------------------------------------------------------

IFACEMETHODIMP CGotoFavorite::Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* selection, HKEY) noexcept {
    return ComBoundary(E_INVALIDARG, [&]() -> HRESULT {
        {
            ThreadMenuState& state = MenuEngine::CurrentState();
            Lumo::Win::ScopedLock guard(state.lock);
            if (!state.outsideBrowseUiMenu) return E_INVALIDARG;
        }
        ContextPtr context;
        const HRESULT hr = ContextFromDataObject(folder, selection, context);
        context_ = context ? std::move(context) : std::make_shared<const MenuContext>();
        return hr;
    });
}

// IContextMenu -----------------------------------------------------------------

IFACEMETHODIMP CGotoFavorite::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT,
                                               UINT flags) noexcept {
    // Whatever goes wrong, the shell's menu shows without our entries.
    return Lumo::Win::Boundary<HRESULT>(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0), [&]() -> HRESULT {
        if (flags & (CMF_DEFAULTONLY | CMF_VERBSONLY)) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
        ThreadMenuState& state = MenuEngine::CurrentState();
        Lumo::Win::ScopedLock guard(state.lock);
        if (state.noMenuWindowYet && !(flags & kShownMenuQueryBit) && !(flags & CMF_CANRENAME)) {
            if (flags == CMF_NORMAL || flags == CMF_EXPLORE || flags == kHiddenMenuQuery) return E_INVALIDARG;
        }
        firstCommandId_ = idCmdFirst;
        auto holder = std::make_shared<EmptyHolder>();
        holder->context = context_;
        rootItemIndex_ = MenuEngine::RegisterItem(state, holder, this);
        ::InsertMenuW(menu, indexMenu, MF_SEPARATOR | MF_BYPOSITION, 0, nullptr);
        auto entry = std::make_shared<Quelvar>(definition_);
        entry->context = context_;
        InsertItem(menu, indexMenu + 1, entry);
        ::InsertMenuW(menu, indexMenu + 2, MF_SEPARATOR | MF_BYPOSITION, 0, nullptr);
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
    });
}

MENUITEMINFOW CGotoFavorite::PlaceholderEntry() const {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_ID | MIIM_STATE;
    info.fType = MFT_OWNERDRAW;
    info.fState = MFS_GRAYED;
    info.wID = firstCommandId_;
    info.dwItemData = MenuEngine::ItemData(rootItemIndex_);
    return info;
}

HMENU CGotoFavorite::InsertItem(HMENU menu, UINT position, const ItemPtr& item) {
    ThreadMenuState& state = MenuEngine::CurrentState();
    Lumo::Win::ScopedLock guard(state.lock);
    if (item->IsSeparator() && state.menuMetrics.Mode() != MenuMode::Dark) {
        // The system's own separator, except in a dark menu, where it would
        // be drawn in the light colours.
        if (!::InsertMenuW(menu, position, MF_SEPARATOR | MF_BYPOSITION, 0, nullptr)) throw Lumo::LastError();
        return nullptr;
    }
    const int index = MenuEngine::RegisterItem(state, item, this);

    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_ID;
    info.fType = MFT_OWNERDRAW | (item->IsSeparator() ? MFT_SEPARATOR : 0);
    info.wID = firstCommandId_;
    info.dwItemData = MenuEngine::ItemData(index);
    if (item->Has(OddBase::ItemPlaceholder)) {
        info.fMask |= MIIM_STATE;
        info.fState = MFS_GRAYED;
    }
    Lumo::Win::UniqueMenu popup;
    if (item->Has(OddBase::ItemHasSubmenu)) {
        popup.reset(::CreatePopupMenu());
        if (!popup) throw Lumo::LastError();
        info.fMask |= MIIM_SUBMENU;
        info.hSubMenu = popup.get();
    }
    if (!::InsertMenuItemW(menu, position, TRUE, &info)) {
        DWORD error = ::GetLastError();
        MenuEngine::ReleaseItem(state, index);
        throw Lumo::LastError(error);
    }
    HMENU created = popup.release();  // the menu owns it now
    if (item->Has(OddBase::ItemDisabled)) ::EnableMenuItem(menu, position, MF_BYPOSITION | MF_GRAYED);
    if (created && item->Has(OddBase::ItemFillOnOpen)) {
        MENUITEMINFOW placeholder = PlaceholderEntry();
        ::InsertMenuItemW(created, 0, TRUE, &placeholder);
    } else if (created) {
        InsertEntries(created, 0, item->Children());
    }
    return created;
}

UINT CGotoFavorite::InsertEntries(HMENU menu, UINT position, const std::vector<ItemPtr>& entries) {
    for (const ItemPtr& entry : entries) InsertItem(menu, position++, entry);
    return position;
}

void CGotoFavorite::FillPopup(HMENU popup, const ItemPtr& item) {
    std::vector<ItemPtr> children = item->Children();
    if (children.empty()) return;  // the "(Empty)" placeholder stays
    ::DeleteMenu(popup, 0, MF_BYPOSITION);
    InsertEntries(popup, 0, children);
}

IFACEMETHODIMP CGotoFavorite::InvokeCommand(CMINVOKECOMMANDINFO* info) noexcept {
    return ComBoundary(E_INVALIDARG, [&]() -> HRESULT {
        if (!info) return E_INVALIDARG;
        // A verb string may sit at any address, also one whose bits 16-31 are
        // zero: only a value that fits in 16 bits is a command offset.
        if (!IS_INTRESOURCE(info->lpVerb)) return E_INVALIDARG;
        if (LOWORD(reinterpret_cast<ULONG_PTR>(info->lpVerb)) != 0) return S_OK;
        ItemPtr item;
        {
            ThreadMenuState& state = MenuEngine::CurrentState();
            Lumo::Win::ScopedLock guard(state.lock);
            item = MenuEngine::GetItem(state, state.currentItem);
        }
        // Commands may show dialogs: they run without the record's lock.
        if (item) item->Execute(Navigation::Target{info->hwnd});
        return S_OK;
    });
}

IFACEMETHODIMP CGotoFavorite::GetCommandString(UINT_PTR, UINT type, UINT*, LPSTR name, UINT cchMax) noexcept {
    return ComBoundary(E_INVALIDARG, [&]() -> HRESULT {
        ThreadMenuState& state = MenuEngine::CurrentState();
        Lumo::Win::ScopedLock guard(state.lock);
        // Help texts (bit 0) and every wide request (bit 2) are answered; GCS_VERBA and GCS_VALIDATEA are
        // not.
        if (state.currentItem == -1 || (type & (GCS_HELPTEXTA | GCS_UNICODE)) == 0) return E_INVALIDARG;
        ItemPtr item = MenuEngine::GetItem(state, state.currentItem);
        if (!item || !name || cchMax == 0) return E_INVALIDARG;
        if (type & GCS_UNICODE) {
            ::lstrcpynW(reinterpret_cast<LPWSTR>(name), item->helpText.c_str(), static_cast<int>(cchMax));
        } else {
            int length = ::WideCharToMultiByte(CP_THREAD_ACP, 0, item->helpText.c_str(), -1, nullptr, 0,
                                               nullptr, nullptr);
            std::string text(length > 0 ? length : 1, '\0');
            if (length > 0) {
                ::WideCharToMultiByte(CP_THREAD_ACP, 0, item->helpText.c_str(), -1, text.data(), length,
                                      nullptr, nullptr);
            }
            ::lstrcpynA(name, text.c_str(), static_cast<int>(cchMax));
        }
        return S_OK;
    });
}

IFACEMETHODIMP CGotoFavorite::HandleMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    LRESULT scratch = 0;
    return ProcessMenuMessage(msg, wParam, lParam, &scratch);
}

IFACEMETHODIMP CGotoFavorite::HandleMenuMsg2(UINT msg, WPARAM wParam, LPARAM lParam,
                                             LRESULT* result) noexcept {
    LRESULT scratch = 0;
    return ProcessMenuMessage(msg, wParam, lParam, result ? result : &scratch);
}

// Menu messages and owner drawing ------------------------------------------------

HRESULT CGotoFavorite::ProcessMenuMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) noexcept {
    return ComBoundary(S_OK, [&]() -> HRESULT {
        *result = TRUE;
        ThreadMenuState& state = MenuEngine::CurrentState();
        Lumo::Win::ScopedLock guard(state.lock);
        switch (msg) {
            case WM_DRAWITEM: {
                auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
                if (draw && InMenu() && MenuEngine::IsOwnItemData(draw->itemData)) {
                    OnDrawItem(*draw, MenuEngine::IndexOf(draw->itemData));
                }
                break;
            }
            case WM_MEASUREITEM: {
                auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
                if (measure && InMenu() && MenuEngine::IsOwnItemData(measure->itemData)) {
                    OnMeasureItem(*measure, MenuEngine::IndexOf(measure->itemData));
                }
                break;
            }
            case WM_MENUCHAR:
                if (HIWORD(wParam) == MF_POPUP) {
                    OnMenuChar(reinterpret_cast<HMENU>(lParam), LOWORD(wParam), result);
                }
                break;
        }
        return S_OK;
    });
}

LRESULT CGotoFavorite::OnMeasureItem(MEASUREITEMSTRUCT& measure, int index) {
    if (ItemPtr item = MenuEngine::GetItem(MenuEngine::CurrentState(), index)) item->MeasureItem(measure);
    return 0;
}

LRESULT CGotoFavorite::OnMenuChar(HMENU menu, WCHAR character, LRESULT* result) {
    ThreadMenuState& state = MenuEngine::CurrentState();
    std::vector<MenuCharEntry> entries;
    const int count = menu ? ::GetMenuItemCount(menu) : 0;
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_DATA | MIIM_STATE;
        MenuCharEntry entry;
        if (::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info) &&
            MenuEngine::IsOwnItemData(info.dwItemData)) {
            if (ItemPtr item = MenuEngine::GetItem(state, MenuEngine::IndexOf(info.dwItemData))) {
                entry.own = true;
                entry.mnemonic = item->mnemonic;
            }
            entry.highlighted = info.fState == MFS_HILITE;
        }
        entries.push_back(entry);
    }
    *result = ChooseMenuChar(entries, character);
    return 0;
}

}  // namespace ShellExt
