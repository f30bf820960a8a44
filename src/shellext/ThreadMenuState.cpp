// The menu-window watcher and the release of a thread's menu state.
#include "shellext/ThreadMenuState.h"

#include <shlwapi.h>

#include <string>
#include <vector>

#include "system/GlobalImpl.h"

ThreadMenuState::~ThreadMenuState() {
    // Hooks go first, in the order they were put in; items after them.
    cbtHook.reset();
    callWndProcHook.reset();
    msgFilterHook.reset();
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
    ThreadMenuState* state = GlobalImpl::CurrentThreadState();
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

LRESULT CALLBACK MenuWindowWatcher(int code, WPARAM wParam, LPARAM lParam) {
    try {
        if (code == HCBT_CREATEWND || code == HCBT_DESTROYWND) OnMenuWindowEvent(code, wParam, lParam);
    } catch (...) {
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
