// The per-thread menu records, their release, and the menu-window watcher.
#include "shellext/ThreadMenuState.h"

#include <shlwapi.h>

#include <memory>
#include <optional>
#include <string>
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

ThreadStates::ThreadStates() {
    slot_ = ::TlsAlloc();
    if (slot_ == TLS_OUT_OF_INDEXES) throw Lumo::LastError();
    ::InitializeCriticalSection(&lock_);
}

ThreadStates::~ThreadStates() {
    if (slot_ == TLS_OUT_OF_INDEXES) return;  // abandoned at unload
    HMODULE pin = UnhookAll();
    {
        Lumo::Win::ScopedLock guard(lock_);
        // Records still held by a handler stay with it; the others go now.
        all_.clear();
    }
    ::DeleteCriticalSection(&lock_);
    ::TlsFree(slot_);
    if (pin) ::FreeLibrary(pin);
}

void ThreadStates::Abandon() {
    {
        Lumo::Win::ScopedLock guard(lock_);
        for (auto& entry : all_) entry.second->AbandonHooks();
        all_.clear();
    }
    ::DeleteCriticalSection(&lock_);
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
    record->cbtHook.reset();
    record->callWndProcHook.reset();
    record->msgFilterHook.reset();
}

void ThreadStates::ForgetThread() {
    // The thread ends: the system removes its hooks with it. A handler that
    // outlives the thread keeps the record, now without hooks to remove.
    if (std::shared_ptr<ThreadMenuState> record = DetachThread()) record->AbandonHooks();
}

HHOOK ThreadStates::SetHook(int id, HOOKPROC proc) {
    Lumo::Win::ScopedLock guard(lock_);
    if (!pin_) {
        HMODULE self = nullptr;
        if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                  reinterpret_cast<LPCWSTR>(&MenuWindowWatcher), &self)) {
            return nullptr;  // no hook the module could not outlast
        }
        pin_ = self;
    }
    return ::SetWindowsHookExW(id, proc, nullptr, ::GetCurrentThreadId());
}

HMODULE ThreadStates::UnhookAll() {
    Lumo::Win::ScopedLock guard(lock_);
    // Unhooking works from any thread of the process.
    for (auto& entry : all_) {
        entry.second->cbtHook.reset();
        entry.second->callWndProcHook.reset();
        entry.second->msgFilterHook.reset();
    }
    HMODULE pin = pin_;
    pin_ = nullptr;
    return pin;
}

bool ThreadStates::AnyHook() {
    Lumo::Win::ScopedLock guard(lock_);
    for (auto& entry : all_) {
        if (entry.second->cbtHook || entry.second->callWndProcHook || entry.second->msgFilterHook)
            return true;
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

bool CreatedByBrowseUi(const CREATESTRUCTW* create) {
    if (!create || !create->hInstance) return false;
    std::vector<wchar_t> name(MAX_PATH + 1, L'\0');
    DWORD length = ::GetModuleFileNameW(create->hInstance, name.data(), MAX_PATH);
    if (length == 0) return false;
    return ::lstrcmpiW(::PathFindFileNameW(name.data()), L"BROWSEUI.dll") == 0;
}

void OnMenuWindowEvent(int code, WPARAM wParam, LPARAM lParam) {
    ThreadMenuState* state = ThreadStates::FindState();
    if (!state) return;
    HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND) {
        auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        wchar_t className[128] = {};
        if (!::GetClassNameW(window, className, 128) || std::wstring(className) != L"#32768") return;
        if (!create || !create->lpcs || create->lpcs->hwndParent) return;
        state->outsideBrowseUiMenu = true;
        state->browseUiMenuWindow = nullptr;
        state->noMenuWindowYet = false;
        if (CreatedByBrowseUi(create->lpcs)) {
            state->outsideBrowseUiMenu = false;
            state->browseUiMenuWindow = window;
        }
    } else if (code == HCBT_DESTROYWND && window && window == state->browseUiMenuWindow) {
        state->outsideBrowseUiMenu = true;
        state->browseUiMenuWindow = nullptr;
    }
}

}  // namespace

LRESULT CALLBACK MenuWindowWatcher(int code, WPARAM wParam, LPARAM lParam) noexcept {
    return Lumo::Win::HookBoundary(code, wParam, lParam, [&]() -> std::optional<LRESULT> {
        if (code == HCBT_CREATEWND || code == HCBT_DESTROYWND) OnMenuWindowEvent(code, wParam, lParam);
        return std::nullopt;
    });
}

}  // namespace ShellExt
