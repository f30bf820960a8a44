// Per-thread menu state: the thread's hooks, the popups of the current menu
// loop, the live handlers, the item table and the menu-window watcher flags.
#pragma once

#include <windows.h>

#include <list>
#include <memory>
#include <set>
#include <vector>

#include "shellext/MenuMetrics.h"
#include "system/Singleton.h"
#include "win/Handle.h"

namespace ShellExt {

class CGotoFavorite;
class OddBase;

struct OpenPopup {
    HMENU menu = nullptr;
    int kind = 0;  // 0 foreign, 1 the handler's fixed popup, 2 a popup filled on opening
};

struct ThreadMenuState {
    Lumo::Win::UniqueHook callWndProcHook;
    Lumo::Win::UniqueHook msgFilterHook;
    Lumo::Win::UniqueHook cbtHook;
    bool rightButtonDown = false;
    std::vector<OpenPopup> openPopups;
    int popupDepth = 0;
    std::set<CGotoFavorite*> liveHandlers;
    WORD selectedItem = 0;
    WORD selectFlags = 0;
    HMENU selectedMenu = nullptr;
    std::vector<std::shared_ptr<OddBase>> itemTable;
    std::list<unsigned> freeSlots;
    int currentItem = -1;
    bool outsideBrowseUiMenu = true;
    HWND browseUiMenuWindow = nullptr;
    bool noMenuWindowYet = true;
    MenuMetrics menuMetrics;

    ~ThreadMenuState();
};

// The menu state of every thread of the process: one record per thread in a
// thread-local slot, and a list of all of them so that unloading can take
// every hook out, whichever thread put it in. A hook left behind after the
// module is gone would call freed code the next time its thread creates a
// window.
class ThreadStates : public Lumo::Global::Singleton<ThreadStates> {
public:
    // Allocates the thread-local slot; throws Lumo::LastError when none is left.
    ThreadStates();
    // Removes the hooks of every thread and deletes every record, then frees the slot.
    ~ThreadStates() override;
    ThreadStates(const ThreadStates&) = delete;
    ThreadStates& operator=(const ThreadStates&) = delete;

    // The calling thread's record and its WH_CBT hook, made once.
    void PrepareThread();
    // Removes the calling thread's hooks and deletes its record.
    void ReleaseThread();
    // The calling thread's record, prepared on first use.
    ThreadMenuState* Current();

    // Static forms over the process's instance; they do nothing (or give
    // null) outside the module's lifetime.
    static ThreadMenuState* CurrentState();
    static void Prepare();
    static void Release();

private:
    DWORD slot_ = TLS_OUT_OF_INDEXES;
    CRITICAL_SECTION lock_;
    std::set<ThreadMenuState*> all_;
};

// WH_CBT hook of every prepared thread: notices top-level popup menu windows
// and whether the shell's BROWSEUI module created them.
LRESULT CALLBACK MenuWindowWatcher(int code, WPARAM wParam, LPARAM lParam) noexcept;

}  // namespace ShellExt
