// The per-thread menu records, their release, and the menu-window watcher.
#include "shellext/ThreadMenuState.h"

#include <shlwapi.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "win/Boundary.h"
#include "win/Errors.h"

namespace ShellExt {

ThreadMenuState::~ThreadMenuState() {
    // Hooks go first, in the order they were put in; items after them.
    cbtHook.reset();
    callWndProcHook.reset();
    msgFilterHook.reset();
}

ThreadStates::ThreadStates() {
    slot_ = ::TlsAlloc();
    if (slot_ == TLS_OUT_OF_INDEXES) throw Lumo::LastError();
    ::InitializeCriticalSection(&lock_);
}

ThreadStates::~ThreadStates() {
    {
        Lumo::Win::CriticalSectionLock guard(lock_);
        // Unhooking works from any thread of the process; the records of
        // other threads go with their hooks, as nothing of ours will run there again.
        for (ThreadMenuState* state : all_) delete state;
        all_.clear();
    }
    ::DeleteCriticalSection(&lock_);
    ::TlsFree(slot_);
}

void ThreadStates::PrepareThread() {
    if (::TlsGetValue(slot_)) return;
    auto state = std::make_unique<ThreadMenuState>();
    // A failed hook leaves the record without one; the handler still works in
    // hosts that forward menu messages.
    state->cbtHook.reset(::SetWindowsHookExW(WH_CBT, MenuWindowWatcher, nullptr, ::GetCurrentThreadId()));
    Lumo::Win::CriticalSectionLock guard(lock_);
    if (!::TlsSetValue(slot_, state.get())) throw Lumo::LastError();
    all_.insert(state.get());
    state.release();
}

void ThreadStates::ReleaseThread() {
    auto* state = static_cast<ThreadMenuState*>(::TlsGetValue(slot_));
    if (!state) return;
    {
        Lumo::Win::CriticalSectionLock guard(lock_);
        all_.erase(state);
        ::TlsSetValue(slot_, nullptr);
    }
    delete state;
}

ThreadMenuState* ThreadStates::Current() {
    auto* state = static_cast<ThreadMenuState*>(::TlsGetValue(slot_));
    if (state) return state;
    PrepareThread();
    return static_cast<ThreadMenuState*>(::TlsGetValue(slot_));
}

ThreadMenuState* ThreadStates::CurrentState() {
    ThreadStates* states = Instance();
    return states ? states->Current() : nullptr;
}

void ThreadStates::Prepare() {
    if (ThreadStates* states = Instance()) states->PrepareThread();
}

void ThreadStates::Release() {
    if (ThreadStates* states = Instance()) states->ReleaseThread();
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
    ThreadMenuState* state = ThreadStates::CurrentState();
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
