// The per-thread menu records, their release, and the menu-window watcher.
#include "shellext/ThreadMenuState.h"

#include <shlwapi.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "win/Boundary.h"
#include "win/Errors.h"
#include "win/Lock.h"

namespace ShellExt {

ThreadMenuState::~ThreadMenuState() {
    // Hooks go first, in the order they were put in; items after them.
    cbtHook.reset();
    callWndProcHook.reset();
    msgFilterHook.reset();
}

void ThreadMenuState::AbandonHooks() {
    cbtHook.release();
    callWndProcHook.release();
    msgFilterHook.release();
}

void ThreadMenuState::ResetMenuWindowFlags() {
    outsideBrowseUiMenu = true;
    browseUiMenuWindow = nullptr;
    noMenuWindowYet = true;
}

ThreadStates::ThreadStates() {
    slot_ = ::TlsAlloc();
    if (slot_ == TLS_OUT_OF_INDEXES) throw Lumo::LastError();
}

ThreadStates::~ThreadStates() {
    if (slot_ == TLS_OUT_OF_INDEXES) return;  // abandoned at unload
    HMODULE pin = UnhookAll();
    // Records still held by a handler stay with it; the others go now,
    // outside lock_, which nothing but the list may need.
    std::map<ThreadMenuState*, std::shared_ptr<ThreadMenuState>> records;
    {
        Lumo::Win::ScopedLock guard(lock_);
        records.swap(all_);
    }
    records.clear();
    ::TlsFree(slot_);
    if (pin) ::FreeLibrary(pin);
}

void ThreadStates::Abandon() {
    {
        Lumo::Win::ScopedLock guard(lock_);
        for (auto& entry : all_) entry.second->AbandonHooks();
        all_.clear();
    }
    ::TlsFree(slot_);
    slot_ = TLS_OUT_OF_INDEXES;
}

std::shared_ptr<ThreadMenuState> ThreadStates::CurrentShared() {
    ThreadMenuState* state = Current();
    Lumo::Win::ScopedLock guard(lock_);
    auto found = all_.find(state);
    if (found == all_.end()) throw Lumo::AnyError();
    return found->second;
}

ThreadMenuState* ThreadStates::Current() {
    if (auto* state = static_cast<ThreadMenuState*>(::TlsGetValue(slot_))) return state;
    auto state = std::make_shared<ThreadMenuState>();
    Lumo::Win::ScopedLock guard(lock_);
    if (!::TlsSetValue(slot_, state.get())) throw Lumo::LastError();
    all_.emplace(state.get(), state);
    return state.get();
}

ThreadMenuState* ThreadStates::Find() const { return static_cast<ThreadMenuState*>(::TlsGetValue(slot_)); }

std::shared_ptr<ThreadMenuState> ThreadStates::DetachThread() {
    auto* state = static_cast<ThreadMenuState*>(::TlsGetValue(slot_));
    if (!state) return nullptr;
    std::shared_ptr<ThreadMenuState> record;
    Lumo::Win::ScopedLock guard(lock_);
    auto found = all_.find(state);
    if (found != all_.end()) {
        record = std::move(found->second);
        all_.erase(found);
    }
    ::TlsSetValue(slot_, nullptr);
    return record;
}

void ThreadStates::ReleaseThread() {
    std::shared_ptr<ThreadMenuState> record = DetachThread();
    if (!record) return;
    Lumo::Win::UniqueHook hooks[3];
    Lumo::Win::ScopedLock guard(record->lock);
    hooks[0] = std::move(record->cbtHook);
    hooks[1] = std::move(record->callWndProcHook);
    hooks[2] = std::move(record->msgFilterHook);
}

void ThreadStates::ForgetThread() {
    // The thread ends: the system removes its hooks with it. A handler that
    // outlives the thread keeps the record, now without hooks to remove.
    if (std::shared_ptr<ThreadMenuState> record = DetachThread()) record->AbandonHooks();
}

HHOOK ThreadStates::SetHook(int id, HOOKPROC proc) {
    bool pinned = false;
    {
        Lumo::Win::ScopedLock guard(lock_);
        pinned = pin_ != nullptr;
    }
    if (!pinned) {
        // Taking the reference takes the loader lock, which an ending
        // thread holds while it waits for lock_: it is taken outside lock_.
        HMODULE self = nullptr;
        if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                  reinterpret_cast<LPCWSTR>(&MenuWindowWatcher), &self)) {
            return nullptr;  // no hook the module could not outlast
        }
        {
            Lumo::Win::ScopedLock guard(lock_);
            if (!pin_) std::swap(pin_, self);
        }
        if (self) ::FreeLibrary(self);  // another thread's first hook took it meanwhile
    }
    return ::SetWindowsHookExW(id, proc, nullptr, ::GetCurrentThreadId());
}

std::vector<std::shared_ptr<ThreadMenuState>> ThreadStates::Records() {
    std::vector<std::shared_ptr<ThreadMenuState>> records;
    Lumo::Win::ScopedLock guard(lock_);
    records.reserve(all_.size());
    for (auto& entry : all_) records.push_back(entry.second);
    return records;
}

HMODULE ThreadStates::UnhookAll() {
    HMODULE pin = nullptr;
    {
        Lumo::Win::ScopedLock guard(lock_);
        pin = std::exchange(pin_, nullptr);
    }
    // Unhooking works from any thread of the process. Each record's lock is
    // taken on its own, never under lock_, and the hooks go outside it.
    for (const std::shared_ptr<ThreadMenuState>& record : Records()) {
        Lumo::Win::UniqueHook hooks[3];
        {
            Lumo::Win::ScopedLock guard(record->lock);
            hooks[0] = std::move(record->cbtHook);
            hooks[1] = std::move(record->callWndProcHook);
            hooks[2] = std::move(record->msgFilterHook);
            record->ResetMenuWindowFlags();
        }
    }
    return pin;
}

bool ThreadStates::AnyHook() {
    for (const std::shared_ptr<ThreadMenuState>& record : Records()) {
        Lumo::Win::ScopedLock guard(record->lock);
        if (record->cbtHook || record->callWndProcHook || record->msgFilterHook) return true;
    }
    return false;
}

ThreadMenuState* ThreadStates::CurrentState() {
    ThreadStates* states = Instance();
    return states ? states->Current() : nullptr;
}

ThreadMenuState* ThreadStates::FindState() {
    ThreadStates* states = Instance();
    return states ? states->Find() : nullptr;
}

void ThreadStates::Release() {
    if (ThreadStates* states = Instance()) states->ReleaseThread();
}

void ThreadStates::Forget() {
    if (ThreadStates* states = Instance()) states->ForgetThread();
}

namespace {

bool CreatedByBrowseUi(HINSTANCE instance) {
    if (!instance) return false;
    std::vector<wchar_t> name(MAX_PATH + 1, L'\0');
    DWORD length = ::GetModuleFileNameW(instance, name.data(), MAX_PATH);
    if (length == 0) return false;
    return ::lstrcmpiW(::PathFindFileNameW(name.data()), L"BROWSEUI.dll") == 0;
}

bool IsMenuWindowClass(HWND window) {
    wchar_t className[128] = {};
    return ::GetClassNameW(window, className, 128) && std::wstring(className) == L"#32768";
}

// A top-level popup menu window (no parent or owner) made by `instance`.
void NoteMenuWindow(ThreadMenuState& state, HWND window, HINSTANCE instance) {
    state.outsideBrowseUiMenu = true;
    state.browseUiMenuWindow = nullptr;
    state.noMenuWindowYet = false;
    if (CreatedByBrowseUi(instance)) {
        state.outsideBrowseUiMenu = false;
        state.browseUiMenuWindow = window;
    }
}

void OnMenuWindowEvent(int code, WPARAM wParam, LPARAM lParam) {
    ThreadMenuState* state = ThreadStates::FindState();
    if (!state) return;
    HWND window = reinterpret_cast<HWND>(wParam);
    Lumo::Win::ScopedLock guard(state->lock);
    if (code == HCBT_CREATEWND) {
        auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        if (!IsMenuWindowClass(window)) return;
        if (!create || !create->lpcs || create->lpcs->hwndParent) return;
        NoteMenuWindow(*state, window, create->lpcs->hInstance);
    } else if (code == HCBT_DESTROYWND && window && window == state->browseUiMenuWindow) {
        state->outsideBrowseUiMenu = true;
        state->browseUiMenuWindow = nullptr;
    }
}

BOOL CALLBACK NoteIfMenuWindow(HWND window, LPARAM state) noexcept {
    return Lumo::Win::Boundary<BOOL>(FALSE, [&]() -> BOOL {
        if (IsMenuWindowClass(window) && !::GetWindow(window, GW_OWNER)) {
            NoteMenuWindow(*reinterpret_cast<ThreadMenuState*>(state), window,
                           reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE)));
        }
        return TRUE;
    });
}

}  // namespace

void ThreadMenuState::NoteOpenMenuWindows() {
    Lumo::Win::ScopedLock guard(lock);
    ::EnumThreadWindows(::GetCurrentThreadId(), NoteIfMenuWindow, reinterpret_cast<LPARAM>(this));
}

LRESULT CALLBACK MenuWindowWatcher(int code, WPARAM wParam, LPARAM lParam) noexcept {
    return Lumo::Win::HookBoundary(code, wParam, lParam, [&]() -> std::optional<LRESULT> {
        if (code == HCBT_CREATEWND || code == HCBT_DESTROYWND) OnMenuWindowEvent(code, wParam, lParam);
        return std::nullopt;
    });
}

}  // namespace ShellExt
