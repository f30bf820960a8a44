// Per-thread menu state: the thread's hooks, the popups of the current menu
// loop, the live handlers, the item table and the menu-window watcher flags.
#pragma once

#include <windows.h>

#include <list>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "shellext/MenuMetrics.h"
#include "system/Singleton.h"
#include "win/Handle.h"
#include "win/Lock.h"

namespace ShellExt {

class CGotoFavorite;
class OddBase;

// A slot of the item table: an entry shown in a classic menu and the handler
// whose menu shows it (the engine routes drawing and commands through it).
struct TableEntry {
    std::shared_ptr<OddBase> item;
    CGotoFavorite* handler = nullptr;
};

struct OpenPopup {
    HMENU menu = nullptr;
    int kind = 0;  // 0 foreign, 1 the handler's fixed popup, 2 a popup filled on opening
};

// Touched by its own thread (hooks, the handler's methods) and, when a host
// releases a handler on another thread or the module is asked whether it may
// go, by that other thread too: `lock` serialises the two. It is never taken
// by the module entry point, so code holding it may load libraries.
struct ThreadMenuState {
    ThreadMenuState() = default;
    ThreadMenuState(const ThreadMenuState&) = delete;
    ThreadMenuState& operator=(const ThreadMenuState&) = delete;

    Lumo::Win::CriticalSection lock;
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
    std::vector<TableEntry> itemTable;
    std::list<unsigned> freeSlots;
    int currentItem = -1;
    bool outsideBrowseUiMenu = true;
    HWND browseUiMenuWindow = nullptr;
    bool noMenuWindowYet = true;
    MenuMetrics menuMetrics;

    ~ThreadMenuState();
    // Lets go of the hook handles without removing the hooks: for a thread
    // that is ending, whose hooks the system removes with it.
    void AbandonHooks();
    // Back to what a thread knows before the watcher saw any menu window:
    // without its hook the watcher cannot see the windows go.
    void ResetMenuWindowFlags();
    // Counts the top-level popup menu windows the calling thread shows now,
    // as the watcher would have when they were made: for a thread whose
    // watcher is put in after its menu opened.
    void NoteOpenMenuWindows();
};

// The menu state of every thread of the process: one record per thread in a
// thread-local slot, and a list of all of them so that the module can take
// every hook out before it goes, whichever thread put it in. A hook left
// behind after the module is gone would call freed code the next time its
// thread creates a window.
//
// A thread gets its record when it first needs one and its hooks only when it
// makes a handler (SetHook). While any hook of the module exists, the module
// holds a loader reference on itself, so that even a host that frees it
// without asking DllCanUnloadNow cannot unmap code a hook still points to;
// UnhookAll hands that reference back.
//
// The module entry point takes `lock_` at every thread's end, under the
// loader lock: nothing that may take the loader lock (GetModuleHandleEx,
// LoadLibrary, FreeLibrary, SetWindowsHookEx, UnhookWindowsHookEx) and no
// record's own lock is ever taken while `lock_` is held.
//
// Records are shared: a handler keeps the record of the thread that made it,
// so that releasing the handler on another thread (or after its thread
// ended) still empties that record.
class ThreadStates : public Lumo::Global::Singleton<ThreadStates> {
public:
    // Allocates the thread-local slot; throws Lumo::LastError when none is left.
    ThreadStates();
    // Removes the hooks of every thread and deletes every record, then frees the slot.
    ~ThreadStates() override;
    ThreadStates(const ThreadStates&) = delete;
    ThreadStates& operator=(const ThreadStates&) = delete;

    // The calling thread's record, made on first use (without any hook).
    ThreadMenuState* Current();
    std::shared_ptr<ThreadMenuState> CurrentShared();
    // The calling thread's record, or null; never makes one (for hook procedures).
    ThreadMenuState* Find() const;
    // Removes the calling thread's hooks and forgets its record.
    void ReleaseThread();
    // Forgets the calling thread's record without removing its hooks: at
    // thread detach, where the system removes them with the thread.
    void ForgetThread();
    // Puts `proc` as a hook of kind `id` into the calling thread; null when
    // the system refuses.
    HHOOK SetHook(int id, HOOKPROC proc);
    // Removes the hooks of every thread (records stay, their menu-window
    // flags back to the start, since no watcher sees the windows now) and
    // returns the module's own loader reference taken with the first hook,
    // which the caller hands back with FreeLibrary as its very last step; null
    // when none was held.
    HMODULE UnhookAll();
    // Whether any thread's record holds a hook of the module.
    bool AnyHook();
    // Deletes every record without removing hooks, then frees the slot: at
    // module unload under the loader lock, when no hook can be left.
    void Abandon();

    // Static forms over the process's instance; they do nothing (or give
    // null) outside the module's lifetime.
    static ThreadMenuState* CurrentState();
    static ThreadMenuState* FindState();
    static void Release();
    static void Forget();

private:
    // Takes the calling thread's record off its slot and the list, hooks untouched.
    std::shared_ptr<ThreadMenuState> DetachThread();
    // A copy of the list of records, taken under lock_.
    std::vector<std::shared_ptr<ThreadMenuState>> Records();

    DWORD slot_ = TLS_OUT_OF_INDEXES;
    Lumo::Win::CriticalSection lock_;
    std::map<ThreadMenuState*, std::shared_ptr<ThreadMenuState>> all_;
    HMODULE pin_ = nullptr;
};

// WH_CBT hook of every prepared thread: notices top-level popup menu windows
// and whether the shell's BROWSEUI module created them.
LRESULT CALLBACK MenuWindowWatcher(int code, WPARAM wParam, LPARAM lParam) noexcept;

}  // namespace ShellExt
