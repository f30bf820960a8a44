// The handler object: COM surface, what Initialize captures, the entries it
// adds to the shell's menu, command dispatch and owner drawing; and the base
// behaviour of the menu entries, which work through their handler.
#include "shellext/GotoFavorite.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "shellext/MenuChar.h"
#include "shellext/MenuEngine.h"
#include "shellext/MenuTheme.h"
#include "shellext/ThreadMenuState.h"
#include "system/MenuImages.h"
#include "system/SystemInfo.h"
#include "win/Boundary.h"
#include "win/Lock.h"

namespace ShellExt {

using Lumo::Win::ComBoundary;
using Lumo::Win::UniqueIdList;

namespace {

UINT ShellIdListFormat() {
    static const UINT format = ::RegisterClipboardFormatW(L"Shell IDList Array");
    return format;
}

std::wstring ParsingNameOf(PCIDLIST_ABSOLUTE folder) { return ItemIDList(folder, nullptr).ParsingName(); }

// Unlocks a global block and releases a storage medium on every path.
class LockedMedium {
public:
    explicit LockedMedium(STGMEDIUM& medium) : medium_(medium), data_(::GlobalLock(medium.hGlobal)) {}
    ~LockedMedium() {
        if (data_) ::GlobalUnlock(medium_.hGlobal);
        ::ReleaseStgMedium(&medium_);
    }
    const void* Data() const { return data_; }
    SIZE_T Size() const { return ::GlobalSize(medium_.hGlobal); }

private:
    STGMEDIUM& medium_;
    void* data_;
};

// Before any menu window of the thread exists, the shell also builds menus
// it never shows (to find a default verb, say); these values tell them apart.
constexpr UINT kHiddenMenuQuery = 0x10020;    // CMF_NODEFAULT with a reserved bit
constexpr UINT kShownMenuQueryBit = 0x20000;  // a reserved bit hosts set for menus they show

bool OsIsWindows2000() {
    const auto* os = Lumo::System::OSVersion::Instance();
    return os ? os->IsWindows2000() : Lumo::System::COSVersion().IsWindows2000();
}

}  // namespace

CGotoFavorite::CGotoFavorite() { home_ = MenuEngine::AddLiveHandler(this); }

CGotoFavorite::~CGotoFavorite() {
    try {
        if (home_) MenuEngine::RemoveLiveHandler(this, *home_);
    } catch (...) {
    }
}

HRESULT CGotoFavorite::CreateInstance(REFIID iid, void** result) noexcept {
    if (!result) return E_POINTER;
    *result = nullptr;
    return ComBoundary(E_FAIL, [&]() -> HRESULT {
        auto* object = new CGotoFavorite();
        HRESULT hr = object->QueryInterface(iid, result);
        object->Release();
        return hr;
    });
}

IFACEMETHODIMP CGotoFavorite::QueryInterface(REFIID iid, void** result) noexcept {
    if (!result) return E_POINTER;
    if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IGotoFavorite)) {
        *result = static_cast<IGotoFavorite*>(this);
    } else if (::IsEqualIID(iid, IID_IShellExtInit)) {
        *result = static_cast<IShellExtInit*>(this);
    } else if (::IsEqualIID(iid, IID_IContextMenu) || ::IsEqualIID(iid, IID_IContextMenu2) ||
               ::IsEqualIID(iid, IID_IContextMenu3)) {
        *result = static_cast<IContextMenu3*>(this);
    } else {
        *result = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

IFACEMETHODIMP_(ULONG) CGotoFavorite::AddRef() noexcept { return ::InterlockedIncrement(&references_); }

bool CGotoFavorite::AddRefUnlessReleased() noexcept {
    for (LONG count = references_; count != 0; count = references_) {
        if (::InterlockedCompareExchange(&references_, count + 1, count) == count) return true;
    }
    return false;
}

IFACEMETHODIMP_(ULONG) CGotoFavorite::Release() noexcept {
    ULONG count = ::InterlockedDecrement(&references_);
    if (count == 0) delete this;
    return count;
}

// IShellExtInit ---------------------------------------------------------------

IFACEMETHODIMP CGotoFavorite::Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* selection, HKEY) noexcept {
    return ComBoundary(E_INVALIDARG, [&]() -> HRESULT {
        {
            ThreadMenuState& state = MenuEngine::CurrentState();
            Lumo::Win::ScopedLock guard(state.lock);
            if (!state.outsideBrowseUiMenu) return E_INVALIDARG;
        }
        itemIdLists.clear();
        folderIdList.reset();
        if (folder) {
            folderIdList.reset(::ILClone(folder));
            if (!folderIdList) return E_OUTOFMEMORY;
            folderPath = ParsingNameOf(folderIdList.get());
        }
        if (!selection) return S_OK;

        FORMATETC format{static_cast<CLIPFORMAT>(ShellIdListFormat()), nullptr, DVASPECT_CONTENT, -1,
                         TYMED_HGLOBAL};
        STGMEDIUM medium{};
        if (FAILED(selection->GetData(&format, &medium))) return E_INVALIDARG;
        if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal) {
            ::ReleaseStgMedium(&medium);
            return E_INVALIDARG;
        }
        LockedMedium locked(medium);
        const auto* cida = static_cast<const CIDA*>(locked.Data());
        const SIZE_T size = locked.Size();
        if (!cida || size < sizeof(UINT)) return E_INVALIDARG;
        // Every offset must point inside the block the data object handed over. The count is held against
        // the block before it is multiplied out: in a 32-bit process a huge count would wrap around.
        if (cida->cidl > size / sizeof(UINT)) return E_INVALIDARG;
        const SIZE_T offsetsEnd = sizeof(UINT) * (static_cast<SIZE_T>(cida->cidl) + 2);
        if (offsetsEnd > size) return E_INVALIDARG;
        // An identifier list is used only when it ends, zero terminator
        // included, inside the block.
        auto listAt = [&](UINT i) -> PCUIDLIST_RELATIVE {
            const BYTE* base = reinterpret_cast<const BYTE*>(cida);
            const SIZE_T offset = cida->aoffset[i];
            if (offset < offsetsEnd) return nullptr;
            for (SIZE_T position = offset;;) {
                if (position + sizeof(USHORT) > size) return nullptr;
                USHORT length;
                std::memcpy(&length, base + position, sizeof(length));
                if (length == 0) break;
                if (length < sizeof(USHORT)) return nullptr;
                position += length;
            }
            return reinterpret_cast<PCUIDLIST_RELATIVE>(base + offset);
        };
        PCUIDLIST_RELATIVE parent = listAt(0);
        if (!parent) return E_INVALIDARG;
        folderIdList.reset(::ILClone(reinterpret_cast<PCIDLIST_ABSOLUTE>(parent)));
        folderPath = ParsingNameOf(folderIdList.get());
        for (UINT i = 1; i <= cida->cidl; ++i) {
            PCUIDLIST_RELATIVE item = listAt(i);
            if (!item) continue;
            UniqueIdList copy(reinterpret_cast<LPITEMIDLIST>(::ILClone(item)));
            if (copy) itemIdLists.push_back(std::move(copy));
        }
        return itemIdLists.empty() ? E_INVALIDARG : S_OK;
    });
}

std::shared_ptr<Data::SelectedItemsInfo> CGotoFavorite::GetSelectedItemsInfo(std::size_t limit) const {
    std::vector<PCUITEMID_CHILD> items;
    items.reserve(itemIdLists.size());
    for (const UniqueIdList& list : itemIdLists)
        items.push_back(reinterpret_cast<PCUITEMID_CHILD>(list.get()));
    return Data::SelectedItemsInfo::Build(folderIdList.get(), items, limit);
}

std::shared_ptr<Data::SelectedItemsInfo> CGotoFavorite::WholeSelection(
    const std::shared_ptr<Data::SelectedItemsInfo>& seen) const {
    if (seen && seen->Complete()) return seen;
    return GetSelectedItemsInfo(Data::kWholeSelection);
}

std::vector<std::wstring> CGotoFavorite::NavigableSelectedFolders(std::size_t limit) const {
    std::vector<PCUIDLIST_RELATIVE> items;
    items.reserve(itemIdLists.size());
    for (const UniqueIdList& list : itemIdLists) items.push_back(list.get());
    return NavigableFolders(folderIdList.get(), items, limit);
}

// IContextMenu -----------------------------------------------------------------

IFACEMETHODIMP CGotoFavorite::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT,
                                               UINT flags) noexcept {
    // Whatever goes wrong, the shell's menu shows without our entries.
    return Lumo::Win::Boundary<HRESULT>(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0), [&]() -> HRESULT {
        if (flags & (CMF_DEFAULTONLY | CMF_VERBSONLY)) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
        ThreadMenuState& state = MenuEngine::CurrentState();
        Lumo::Win::ScopedLock guard(state.lock);
        if (state.noMenuWindowYet) {
            if (OsIsWindows2000()) {
                if (flags == kHiddenMenuQuery) return E_INVALIDARG;
            } else if (!(flags & kShownMenuQueryBit) && !(flags & CMF_CANRENAME)) {
                if (flags == CMF_NORMAL || flags == CMF_EXPLORE || flags == kHiddenMenuQuery)
                    return E_INVALIDARG;
            }
        }
        firstCommandId = idCmdFirst;
        auto holder = std::make_shared<EmptyHolder>();
        holder->owner = this;
        rootItemIndex = MenuEngine::RegisterItem(state, holder);
        ::InsertMenuW(menu, indexMenu, MF_SEPARATOR | MF_BYPOSITION, 0, nullptr);
        auto entry = std::make_shared<Quelvar>();
        entry->helpText = L"Quelvar v" + Lumo::System::ProductVersion();
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
    info.wID = firstCommandId;
    info.dwItemData = MenuEngine::ItemData(rootItemIndex);
    return info;
}

HMENU CGotoFavorite::InsertItem(HMENU menu, UINT position, const ItemPtr& item) {
    ThreadMenuState& state = MenuEngine::CurrentState();
    Lumo::Win::ScopedLock guard(state.lock);
    item->owner = this;
    const int index = MenuEngine::RegisterItem(state, item);

    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_ID;
    info.fType = MFT_OWNERDRAW | (item->kind == OddBase::KindSeparator ? MFT_SEPARATOR : 0);
    info.wID = firstCommandId;
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
    }
    return created;
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
        if (item) item->Execute(info->hwnd);
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
                if (draw && rootItemIndex != -1 && MenuEngine::IsOwnItemData(draw->itemData)) {
                    OnDrawItem(*draw, MenuEngine::IndexOf(draw->itemData));
                }
                break;
            }
            case WM_MEASUREITEM: {
                auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
                if (measure && rootItemIndex != -1 && MenuEngine::IsOwnItemData(measure->itemData)) {
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

namespace {

// The state of the visual style's menu item part for an entry.
int PopupItemState(bool selected, bool grayed) {
    if (grayed) return selected ? MPI_DISABLEDHOT : MPI_DISABLED;
    return selected ? MPI_HOT : MPI_NORMAL;
}

// A submenu arrow pointing right, in `color`, at the right end of `item`:
// the system's own arrow keeps the light menu's colours.
void DrawSubmenuArrow(HDC dc, const RECT& item, int side, COLORREF color) {
    const int height = (side / 2) | 1;  // odd, so that the point is one pixel
    const int width = height / 2 + 1;
    const int right = item.right - side / 2;
    const int top = item.top + (item.bottom - item.top - height) / 2;
    const POINT points[3] = {
        {right - width, top}, {right - 1, top + height / 2}, {right - width, top + height - 1}};
    Lumo::Win::UniqueGdiObject brush(::CreateSolidBrush(color));
    Lumo::Win::UniqueGdiObject pen(::CreatePen(PS_SOLID, 1, color));
    if (!brush || !pen) return;
    Lumo::Win::SelectedObject brushSelected(dc, brush.get());
    Lumo::Win::SelectedObject penSelected(dc, pen.get());
    ::Polygon(dc, points, 3);
}

// A dark separator: a line across the middle, clear of the icon column.
void DrawSeparator(HDC dc, const RECT& item, int side) {
    ::SetBkColor(dc, kDarkBackground);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE | ETO_CLIPPED, &item, nullptr, 0, nullptr);
    const int middle = item.top + (item.bottom - item.top) / 2;
    RECT line{item.left + side / 4, middle, item.right - side / 4, middle + 1};
    ::SetBkColor(dc, kDarkSeparator);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE | ETO_CLIPPED, &line, nullptr, 0, nullptr);
}

}  // namespace

LRESULT CGotoFavorite::OnDrawItem(const DRAWITEMSTRUCT& draw, int index) {
    ThreadMenuState& state = MenuEngine::CurrentState();
    ItemPtr item = MenuEngine::GetItem(state, index);
    if (!item) return 0;
    MenuMetrics& metrics = state.menuMetrics;
    HDC dc = draw.hDC;
    const int margin = item->kind == OddBase::KindQuelvar ? 1 : 3;
    const bool selected = (draw.itemState & ODS_SELECTED) != 0;
    const bool grayed = (draw.itemState & ODS_GRAYED) != 0;
    const MenuMode mode = metrics.Mode();
    const int side = metrics.IconSize();
    if (item->kind == OddBase::KindSeparator) {
        DrawSeparator(dc, draw.rcItem, side);
        return 0;
    }
    // The visual style paints the dark background when it has dark menu parts.
    HTHEME theme = mode == MenuMode::Dark ? metrics.DarkMenuTheme() : nullptr;
    if (selected) state.currentItem = index;
    COLORREF background;
    if (mode == MenuMode::Light) {
        if (selected) {
            ::SetTextColor(dc, ::GetSysColor(grayed ? COLOR_GRAYTEXT : COLOR_HIGHLIGHTTEXT));
            background = ::GetSysColor(COLOR_HIGHLIGHT);
        } else {
            background = ::GetSysColor(COLOR_MENU);
        }
    } else {
        EntryColors colors = ColorsOf(mode, selected, grayed);
        COLORREF themed;
        if (theme && SUCCEEDED(::GetThemeColor(theme, MENU_POPUPITEM, PopupItemState(selected, grayed),
                                               TMT_TEXTCOLOR, &themed))) {
            colors.text = themed;
        }
        ::SetTextColor(dc, colors.text);
        background = colors.background;
    }
    ::SetBkColor(dc, background);
    // Fills `area` with the background, or leaves the visual style's painting be.
    auto fill = [&](int x, int y, const RECT& area) {
        if (!theme) ::ExtTextOutW(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &area, nullptr, 0, nullptr);
    };
    if (theme) {
        ::DrawThemeBackground(theme, dc, MENU_POPUPBACKGROUND, 0, &draw.rcItem, nullptr);
        if (selected) {
            ::DrawThemeBackground(theme, dc, MENU_POPUPITEM, PopupItemState(selected, grayed), &draw.rcItem,
                                  nullptr);
        }
    }

    RECT r = draw.rcItem;
    const int x = r.left + margin;
    if (item->iconIndex != -1) {
        const int y = r.top + (r.bottom - r.top - side) / 2;
        fill(0, 0, r);
        const bool onBackground = !theme && y >= r.top && y + side <= r.bottom && x + side <= r.right;
        metrics.DrawIcon(dc, metrics.Images(), item->iconIndex, side, x, y, background, onBackground);
        r.left = x + side;
    }

    SIZE text{};
    ::GetTextExtentPoint32W(dc, item->label.c_str(), static_cast<int>(item->label.size()), &text);
    RECT box;
    box.left = x + side + margin;
    const int half = (draw.rcItem.bottom - draw.rcItem.top - text.cy) / 2;
    box.top = half < 0 ? draw.rcItem.top : draw.rcItem.top + half;
    box.right = draw.rcItem.right - 4;
    LoadData();
    const auto& snapshot = data();
    if (snapshot && snapshot->userSettings && snapshot->userSettings->limitMenuWidth &&
        snapshot->userSettings->menuWidthLimit < box.right) {
        box.right = snapshot->userSettings->menuWidthLimit;
    }
    box.bottom = draw.rcItem.bottom;

    fill(box.left, box.top, r);

    UINT format = DT_EXPANDTABS | DT_PATH_ELLIPSIS;
    if ((draw.itemState & ODS_NOACCEL) && !metrics.KeyboardCues()) format |= DT_HIDEPREFIX;

    std::wstring label = item->label;  // DrawTextW may not change the item's own text
    if (grayed && mode == MenuMode::Light) {
        int oldMode = ::SetBkMode(dc, TRANSPARENT);
        if (!selected) {
            RECT shadow = box;
            ::OffsetRect(&shadow, 1, 1);
            COLORREF old = ::SetTextColor(dc, RGB(255, 255, 255));
            ::DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &shadow, format);
            ::SetTextColor(dc, old);
        }
        COLORREF old = ::SetTextColor(dc, RGB(128, 128, 128));
        ::DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &box, format);
        ::SetTextColor(dc, old);
        ::SetBkMode(dc, oldMode);
    } else if (mode == MenuMode::Light) {
        ::DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &box, format);
    } else {
        // One colour in every state: a white shadow would glare on a dark
        // menu and is no system colour of high contrast.
        int oldMode = ::SetBkMode(dc, TRANSPARENT);
        ::DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &box, format);
        ::SetBkMode(dc, oldMode);
        if (mode == MenuMode::HighContrast && grayed && selected) {
            // The highlight as a frame, around the menu colour that the gray text needs.
            ::FrameRect(dc, &draw.rcItem, ::GetSysColorBrush(COLOR_HIGHLIGHT));
        }
    }
    if (mode == MenuMode::Dark && item->Has(OddBase::ItemHasSubmenu)) {
        DrawSubmenuArrow(dc, draw.rcItem, side, ::GetTextColor(dc));
        // What the system draws after this (its own arrow) stays outside the entry.
        ::ExcludeClipRect(dc, draw.rcItem.left, draw.rcItem.top, draw.rcItem.right, draw.rcItem.bottom);
    }
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

// The menu entries' base and the framework's own entries -------------------------
// They insert, measure and fill through the handler that owns them, so they
// live with it.

namespace {

Quelvar::SubmenuFiller& MainSubmenuFiller() {
    static Quelvar::SubmenuFiller filler;
    return filler;
}

Quelvar::SubmenuFiller& MainSubmenuBuilder() {
    static Quelvar::SubmenuFiller builder;
    return builder;
}

Quelvar::ItemMenu& QuelvarItemMenu() {
    static Quelvar::ItemMenu menu;
    return menu;
}

}  // namespace

OddBase::OddBase(Kind kind, const wchar_t* label, int iconIndex, int flags, BYTE mnemonic)
    : kind(kind), label(label ? label : L""), iconIndex(iconIndex), flags(flags), mnemonic(mnemonic) {}

void OddBase::Execute(HWND) {}

void OddBase::FillSubmenu(HMENU) {}

void OddBase::ShowItemMenu(HWND) {}

void SubmenuBuilder::AddSeparator() {
    if (owner_ && MenuEngine::CurrentState().menuMetrics.Mode() == MenuMode::Dark) {
        owner_->InsertItem(menu_, position_, std::make_shared<SeparatorItem>());
    } else {
        ::InsertMenuW(menu_, position_, MF_SEPARATOR | MF_BYPOSITION, 0, nullptr);
    }
    ++position_;
}

void SeparatorItem::MeasureItem(MEASUREITEMSTRUCT& measure) {
    // As high as the system's separator at this DPI: half the icon size less one.
    measure.itemWidth = 0;
    measure.itemHeight = static_cast<UINT>(MenuEngine::CurrentState().menuMetrics.IconSize() / 2 - 1);
}

void TopMenuItem::MeasureItem(MEASUREITEMSTRUCT& measure) {
    OddBase::MeasureItem(measure);
    measure.itemWidth = 0;
    measure.itemHeight = 0;
}

void Quelvar::FillSubmenu(HMENU menu) {
    ::DeleteMenu(menu, 0, MF_BYPOSITION);
    SubmenuBuilder builder(owner, menu);
    if (MainSubmenuFiller()) {
        builder.AddItem(std::make_shared<TopMenuItem>());
        MainSubmenuFiller()(builder);
    } else if (MainSubmenuBuilder()) {
        MainSubmenuBuilder()(builder);
    }
}

void Quelvar::SetMainSubmenuBuilder(SubmenuFiller builder) { MainSubmenuBuilder() = std::move(builder); }

void Quelvar::SetMainSubmenuFiller(SubmenuFiller filler) { MainSubmenuFiller() = std::move(filler); }

void Quelvar::ShowItemMenu(HWND window) {
    if (QuelvarItemMenu()) QuelvarItemMenu()(*this, window);
}

void Quelvar::SetItemMenu(ItemMenu menu) { QuelvarItemMenu() = std::move(menu); }

void OddBase::MeasureItem(MEASUREITEMSTRUCT& measure) {
    // One font and context serve every entry of the open menu.
    SIZE extent{};
    int menuHeight = 0;
    MenuMetrics& metrics = MenuEngine::CurrentState().menuMetrics;
    if (!metrics.Measure(label, extent, menuHeight)) return;

    // Icons larger than 16 pixels widen the icon column and need a taller row.
    const int side = metrics.IconSize();
    measure.itemWidth = static_cast<UINT>(extent.cx + extent.cy + 3 + (side - 16));
    measure.itemHeight =
        extent.cy + 4 > menuHeight ? static_cast<UINT>(extent.cy + 4) : static_cast<UINT>(menuHeight);
    if (side > 16)
        measure.itemHeight = std::max<UINT>(measure.itemHeight, static_cast<UINT>(side + side / 8));
    if (owner) {
        owner->LoadData();
        const auto& snapshot = owner->data();
        if (snapshot && snapshot->userSettings && snapshot->userSettings->limitMenuWidth) {
            UINT limit = static_cast<UINT>(snapshot->userSettings->menuWidthLimit);
            if (limit < measure.itemWidth) measure.itemWidth = limit;
        }
    }
}

HMENU SubmenuBuilder::AddItem(const ItemPtr& item) {
    HMENU popup = owner_->InsertItem(menu_, position_, item);
    ++position_;
    return popup;
}

}  // namespace ShellExt
