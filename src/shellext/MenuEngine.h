// The per-thread menu engine: the item table behind every entry's item data,
// the WH_CALLWNDPROC and WH_MSGFILTER hooks that fill submenus lazily, route
// owner drawing and catch right-clicks, and the popup bookkeeping of one menu
// loop.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "shellext/MenuEntry.h"
#include "shellext/ThreadMenuState.h"

namespace ShellExt {

class CGotoFavorite;

namespace MenuEngine {

constexpr ULONG_PTR kItemDataTag = 0xBB070000;

// Item data of the handler's entries: tag in the high word, table index in the low word.
inline bool IsOwnItemData(ULONG_PTR data) { return (data & 0xFFFF0000u) == kItemDataTag; }
inline int IndexOf(ULONG_PTR data) { return static_cast<int>(data & 0xFFFF); }
inline ULONG_PTR ItemData(int index) { return kItemDataTag | static_cast<ULONG_PTR>(index & 0xFFFF); }

// Item table of a thread (pure bookkeeping, no Win32).
int RegisterItem(ThreadMenuState& state, const ItemPtr& item, CGotoFavorite* handler);
void ReleaseItem(ThreadMenuState& state, int index);
ItemPtr GetItem(const ThreadMenuState& state, int index);
// The handler whose menu shows the entry at `index`; null for an empty slot.
CGotoFavorite* HandlerOf(const ThreadMenuState& state, int index);
// Empties every slot of `handler` (placeholders included), moving the items
// to `released` when given, for the caller to destroy later.
void ReleaseOwnedItems(ThreadMenuState& state, const CGotoFavorite* handler,
                       std::vector<ItemPtr>* released = nullptr);

// The calling thread's state (prepared on demand); throws when the module's
// process-wide objects do not exist.
ThreadMenuState& CurrentState();

// Adds a handler to the calling thread's live set, giving the thread its
// WH_CBT watcher if it has none yet and the two menu hooks with the first
// handler; returns the thread's record, which the handler keeps.
std::shared_ptr<ThreadMenuState> AddLiveHandler(CGotoFavorite* handler);
// Takes a handler out of the record of the thread that made it, on whichever
// thread it is released: its items (there and on the calling thread), the
// current item when it was one of them, and the menu hooks with the last
// handler. Nothing calls the handler afterwards.
void RemoveLiveHandler(CGotoFavorite* handler, ThreadMenuState& home);

// The steps run when a popup opens (WM_INITMENUPOPUP) and closes.
void OnPopupOpened(ThreadMenuState& state, HMENU popup, UINT position);
void OnPopupClosed(ThreadMenuState& state, HMENU popup);

// Item data of the entry at `position` of `menu`, 0 when there is none.
ULONG_PTR ItemDataAt(HMENU menu, UINT position);

// Whether an item menu is showing in this process.
bool ItemMenuShowing();

LRESULT CALLBACK CallWndProcHook(int code, WPARAM wParam, LPARAM lParam) noexcept;
LRESULT CALLBACK MsgFilterHook(int code, WPARAM wParam, LPARAM lParam) noexcept;

}  // namespace MenuEngine

}  // namespace ShellExt
