// Item table, menu hooks and popup bookkeeping of a thread.
#include "shellext/MenuEngine.h"

#include <atomic>
#include <optional>

#include "shellext/GotoFavorite.h"
#include "win/Boundary.h"
#include "win/Errors.h"
#include "win/Lock.h"

namespace ShellExt {

namespace MenuEngine {
namespace {

// One flag for the whole process: a second item menu never opens while one
// shows, on whichever thread the right-clicks arrive.
std::atomic<bool> g_itemMenuShowing{false};

}  // namespace

bool ItemMenuShowing() { return g_itemMenuShowing.load(); }

int RegisterItem(ThreadMenuState& state, const ItemPtr& item, CGotoFavorite* handler) {
    if (!state.freeSlots.empty()) {
        unsigned slot = state.freeSlots.back();
        state.freeSlots.pop_back();
        state.itemTable[slot] = TableEntry{item, handler};
        return static_cast<int>(slot);
    }
    // Indexes travel in 16 bits of the item data.
    if (state.itemTable.size() > 0xFFFF) throw Lumo::AnyError();
    state.itemTable.push_back(TableEntry{item, handler});
    return static_cast<int>(state.itemTable.size() - 1);
}

void ReleaseItem(ThreadMenuState& state, int index) {
    if (index < 0 || static_cast<size_t>(index) >= state.itemTable.size()) return;
    TableEntry& slot = state.itemTable[index];
    if (!slot.item || slot.item->Has(OddBase::ItemPlaceholder)) return;
    slot = TableEntry{};
    state.freeSlots.push_back(static_cast<unsigned>(index));
    // The slot may soon hold another item: a late InvokeCommand must not run it.
    if (state.currentItem == index) state.currentItem = -1;
}

ItemPtr GetItem(const ThreadMenuState& state, int index) {
    if (index < 0 || static_cast<size_t>(index) >= state.itemTable.size()) return nullptr;
    return state.itemTable[index].item;
}

CGotoFavorite* HandlerOf(const ThreadMenuState& state, int index) {
    if (index < 0 || static_cast<size_t>(index) >= state.itemTable.size()) return nullptr;
    return state.itemTable[index].handler;
}

void ReleaseOwnedItems(ThreadMenuState& state, const CGotoFavorite* handler, std::vector<ItemPtr>* released) {
    for (size_t index = 0; index < state.itemTable.size(); ++index) {
        TableEntry& slot = state.itemTable[index];
        if (!slot.item || slot.handler != handler) continue;
        if (released) released->push_back(std::move(slot.item));
        slot = TableEntry{};
        state.freeSlots.push_back(static_cast<unsigned>(index));
        if (state.currentItem == static_cast<int>(index)) state.currentItem = -1;
    }
}

ThreadMenuState& CurrentState() {
    ThreadMenuState* state = ThreadStates::CurrentState();
    if (!state) throw Lumo::AnyError();
    return *state;
}

std::shared_ptr<ThreadMenuState> AddLiveHandler(CGotoFavorite* handler) {
    ThreadStates* states = ThreadStates::Instance();
    if (!states) throw Lumo::AnyError();
    std::shared_ptr<ThreadMenuState> state = states->CurrentShared();
    Lumo::Win::ScopedLock guard(state->lock);
    // A failed hook leaves the record without one; the handler still works in
    // hosts that forward menu messages.
    if (!state->cbtHook) {
        state->cbtHook.reset(states->SetHook(WH_CBT, MenuWindowWatcher));
        // The watcher sees the menu windows made from now on; one the thread
        // already shows counts as well, as if the watcher had been there.
        state->NoteOpenMenuWindows();
    }
    bool first = state->liveHandlers.empty();
    state->liveHandlers.insert(handler);
    if (first) {
        state->callWndProcHook.reset(states->SetHook(WH_CALLWNDPROC, CallWndProcHook));
        state->msgFilterHook.reset(states->SetHook(WH_MSGFILTER, MsgFilterHook));
    }
    return state;
}

void RemoveLiveHandler(CGotoFavorite* handler, ThreadMenuState& home) {
    // Destroyed after the records' locks are let go, the items first.
    std::vector<ItemPtr> released;
    Lumo::Win::UniqueHook hooks[2];
    {
        // The home thread's hooks may be drawing with these items and
        // metrics right now when the handler goes on another thread.
        Lumo::Win::ScopedLock guard(home.lock);
        ReleaseOwnedItems(home, handler, &released);
        home.liveHandlers.erase(handler);
        if (home.liveHandlers.empty()) {
            // Unhooking works from any thread of the process.
            hooks[0] = std::move(home.callWndProcHook);
            hooks[1] = std::move(home.msgFilterHook);
            // With no handler left, nothing measures or draws until the next menu.
            home.menuMetrics.Reset();
        }
    }
    // Items the handler put into menus of the thread that lets it go: one
    // record's lock at a time, so that two threads releasing each other's
    // handlers cannot wait on each other.
    ThreadMenuState* here = ThreadStates::FindState();
    if (here && here != &home) {
        Lumo::Win::ScopedLock guard(here->lock);
        ReleaseOwnedItems(*here, handler, &released);
    }
}

ULONG_PTR ItemDataAt(HMENU menu, UINT position) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_DATA;
    if (!::GetMenuItemInfoW(menu, position, TRUE, &info)) return 0;
    return info.dwItemData;
}

namespace {

ItemPtr ItemOf(const ThreadMenuState& state, ULONG_PTR data) {
    return IsOwnItemData(data) ? GetItem(state, IndexOf(data)) : nullptr;
}

// Puts a closed popup that was filled on opening back to its unfilled form,
// releasing the items of its entries (and of every deeper recorded popup).
void CleanStalePopups(ThreadMenuState& state) {
    const int count = static_cast<int>(state.openPopups.size());
    int first = -1;
    for (int i = state.popupDepth; i < count; ++i) {
        if (state.openPopups[i].kind == 2) {
            first = i;
            break;
        }
    }
    if (first < 0) return;
    for (int e = count - 1; e >= first; --e) {
        HMENU menu = state.openPopups[e].menu;
        if (!::IsMenu(menu)) continue;
        ItemPtr head = ItemOf(state, ItemDataAt(menu, 0));
        if (head && head->Has(OddBase::ItemPlaceholder)) {
            if (e > first) ::DeleteMenu(menu, 0, MF_BYPOSITION);
            continue;
        }
        CGotoFavorite* owner = head ? HandlerOf(state, IndexOf(ItemDataAt(menu, 0))) : nullptr;
        int entries = ::GetMenuItemCount(menu);
        for (int position = entries - 1; position >= 0; --position) {
            ULONG_PTR data = ItemDataAt(menu, static_cast<UINT>(position));
            if (IsOwnItemData(data)) {
                if (!owner) owner = HandlerOf(state, IndexOf(data));
                ReleaseItem(state, IndexOf(data));
                if (e == first && position == 0 && owner) {
                    MENUITEMINFOW placeholder = owner->PlaceholderEntry();
                    ::SetMenuItemInfoW(menu, 0, TRUE, &placeholder);
                    continue;
                }
            }
            // Deleting (not removing) also destroys the submenus of the entries.
            ::DeleteMenu(menu, static_cast<UINT>(position), MF_BYPOSITION);
        }
    }
}

}  // namespace

void OnPopupOpened(ThreadMenuState& state, HMENU popup, UINT position) {
    if (!state.openPopups.empty()) {
        if (state.popupDepth >= 1 && state.openPopups[state.popupDepth - 1].menu == popup) return;
        if (state.popupDepth < 1) {
            // A new menu loop. Popups filled in the previous loop go back to
            // their placeholder first: a host that shows the same menu again
            // must see them filled once, not twice.
            state.popupDepth = 0;
            CleanStalePopups(state);
            state.openPopups.clear();
        }
        int count = static_cast<int>(state.openPopups.size());
        if (state.popupDepth < count && state.openPopups[state.popupDepth].menu == popup) {
            ++state.popupDepth;
            return;
        }
        CleanStalePopups(state);
        state.openPopups.resize(state.popupDepth);
    }

    if (state.openPopups.empty()) {
        state.openPopups.push_back({popup, 0});
        ++state.popupDepth;
        return;
    }
    ULONG_PTR data = ItemDataAt(state.openPopups.back().menu, position);
    if (!IsOwnItemData(data)) {
        state.openPopups.push_back({popup, 0});
        ++state.popupDepth;
        return;
    }
    ItemPtr item = GetItem(state, IndexOf(data));
    if (!item) return;
    if (item->Has(OddBase::ItemHasSubmenu) && item->Has(OddBase::ItemFillOnOpen)) {
        if (CGotoFavorite* handler = HandlerOf(state, IndexOf(data)); handler && handler->InMenu())
            handler->FillPopup(popup, item);
        state.openPopups.push_back({popup, 2});
    } else {
        state.openPopups.push_back({popup, 1});
    }
    ++state.popupDepth;
}

void OnPopupClosed(ThreadMenuState& state, HMENU popup) {
    for (int i = state.popupDepth - 1; i >= 0; --i) {
        if (i < static_cast<int>(state.openPopups.size()) && state.openPopups[i].menu == popup) {
            state.popupDepth = i;
            return;
        }
    }
}

namespace {

void RouteDrawOrMeasure(ThreadMenuState& state, UINT message, LPARAM lParam) {
    if (message == WM_DRAWITEM) {
        auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (!draw || draw->CtlType != ODT_MENU || draw->itemID != 0 || !IsOwnItemData(draw->itemData)) return;
        if (CGotoFavorite* handler = HandlerOf(state, IndexOf(draw->itemData))) {
            LRESULT result = 0;
            handler->ProcessMenuMessage(WM_DRAWITEM, 0, lParam, &result);
        }
    } else {
        auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (!measure || measure->CtlType != ODT_MENU || measure->itemID != 0 ||
            !IsOwnItemData(measure->itemData)) {
            return;
        }
        if (CGotoFavorite* handler = HandlerOf(state, IndexOf(measure->itemData))) {
            LRESULT result = 0;
            handler->ProcessMenuMessage(WM_MEASUREITEM, 0, lParam, &result);
        }
    }
}

void OnCallWndProc(const CWPSTRUCT& message) {
    ThreadMenuState* state = ThreadStates::FindState();
    if (!state) return;
    Lumo::Win::ScopedLock guard(state->lock);
    state->menuMetrics.OnMessage(message.message);
    switch (message.message) {
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
            RouteDrawOrMeasure(*state, message.message, message.lParam);
            break;
        case WM_INITMENUPOPUP:
            OnPopupOpened(*state, reinterpret_cast<HMENU>(message.wParam), LOWORD(message.lParam));
            break;
        case WM_MENUSELECT:
            state->selectedItem = LOWORD(message.wParam);
            state->selectFlags = HIWORD(message.wParam);
            state->selectedMenu = reinterpret_cast<HMENU>(message.lParam);
            break;
        case WM_UNINITMENUPOPUP:
            OnPopupClosed(*state, reinterpret_cast<HMENU>(message.wParam));
            break;
    }
}

// The entry under a right-button release inside the menu, as item data.
ULONG_PTR EntryUnderRightClick(const ThreadMenuState& state, const MSG& message) {
    POINT point{static_cast<LONG>(LOWORD(message.lParam)), static_cast<LONG>(HIWORD(message.lParam))};
    if (state.selectFlags != 0xFFFF || state.selectedMenu) {
        if (state.selectFlags & MF_POPUP) return ItemDataAt(state.selectedMenu, state.selectedItem);
        int position = ::MenuItemFromPoint(message.hwnd, state.selectedMenu, point);
        return position == -1 ? 0 : ItemDataAt(state.selectedMenu, static_cast<UINT>(position));
    }
    for (int i = 0; i < static_cast<int>(state.openPopups.size()); ++i) {
        int position = ::MenuItemFromPoint(message.hwnd, state.openPopups[i].menu, point);
        if (position != -1) return ItemDataAt(state.openPopups[i].menu, static_cast<UINT>(position));
    }
    return 0;
}

// Returns true when the message is consumed.
bool OnMenuFilter(const MSG& message) {
    ThreadMenuState* state = ThreadStates::FindState();
    if (!state) return false;
    ItemPtr item;
    CGotoFavorite* handler = nullptr;
    {
        Lumo::Win::ScopedLock guard(state->lock);
        if (message.message == WM_RBUTTONDOWN) {
            state->rightButtonDown = true;
            return false;
        }
        if (message.message != WM_RBUTTONUP || !state->rightButtonDown) return false;
        state->rightButtonDown = false;
        ULONG_PTR data = EntryUnderRightClick(*state, message);
        item = ItemOf(*state, data);
        handler = item ? HandlerOf(*state, IndexOf(data)) : nullptr;
        if (!handler || !handler->InMenu()) return true;
        // The item menu is a menu loop of its own and runs without the
        // record's lock: its handler is kept alive instead, unless another
        // thread is releasing it right now.
        if (!handler->AddRefUnlessReleased()) return true;
    }
    struct HandlerReference {
        CGotoFavorite* handler;
        ~HandlerReference() { handler->Release(); }
    } keepsHandler{handler};
    // Checked and taken in one step: two threads' right-clicks cannot both pass.
    bool expected = false;
    if (!g_itemMenuShowing.compare_exchange_strong(expected, true)) return true;
    struct ShowingFlag {
        ~ShowingFlag() { g_itemMenuShowing.store(false); }
    } showing;
    item->ShowItemMenu(message.hwnd);
    return true;
}

}  // namespace

LRESULT CALLBACK CallWndProcHook(int code, WPARAM wParam, LPARAM lParam) noexcept {
    return Lumo::Win::HookBoundary(code, wParam, lParam, [&]() -> std::optional<LRESULT> {
        if (code >= 0 && lParam) OnCallWndProc(*reinterpret_cast<const CWPSTRUCT*>(lParam));
        return std::nullopt;
    });
}

LRESULT CALLBACK MsgFilterHook(int code, WPARAM wParam, LPARAM lParam) noexcept {
    return Lumo::Win::HookBoundary(code, wParam, lParam, [&]() -> std::optional<LRESULT> {
        // A right-click that opened an item menu is consumed: the menu loop must not see it.
        if (code == MSGF_MENU && lParam && OnMenuFilter(*reinterpret_cast<const MSG*>(lParam))) return 1;
        return std::nullopt;
    });
}

}  // namespace MenuEngine

}  // namespace ShellExt
