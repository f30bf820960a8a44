// The message window behind CompletionBridge, and the one window class all
// bridges of the process share.
#include "update/CompletionBridge.h"

#include <deque>
#include <mutex>
#include <utility>

#include "win/Boundary.h"
#include "win/Errors.h"
#include "win/ModuleReference.h"

namespace Lumo::Update {
namespace {

constexpr wchar_t kWindowClass[] = L"QuelvarCompletionBridge";
constexpr UINT kRunQueued = WM_APP + 1;
constexpr UINT kStartTimer = WM_APP + 2;
constexpr UINT_PTR kTimerId = 1;

// Bridge windows alive in the process. The class is registered when the first
// one is made and unregistered when the last one is gone: a class left behind
// would keep the address of this module's window procedure after an unload,
// and a load at another address would register a second one beside it.
std::mutex g_classLock;
std::size_t g_windows = 0;

}  // namespace

struct CompletionBridge::State {
    std::mutex lock;
    std::deque<std::function<void()>> queue;
    std::function<void()> delayed;
    HWND window = nullptr;
};

CompletionBridge::CompletionBridge() : state_(std::make_shared<State>()) {
    std::lock_guard<std::mutex> guard(g_classLock);
    if (g_windows == 0) {
        WNDCLASSEXW windowClass{sizeof(windowClass)};
        windowClass.lpfnWndProc = &CompletionBridge::WindowProc;
        windowClass.hInstance = Win::CurrentModule();
        windowClass.lpszClassName = kWindowClass;
        if (!::RegisterClassExW(&windowClass)) {
            // One left by an earlier load of this module at the same address.
            if (::GetLastError() != ERROR_CLASS_ALREADY_EXISTS ||
                !::UnregisterClassW(kWindowClass, Win::CurrentModule()) ||
                !::RegisterClassExW(&windowClass)) {
                throw Lumo::LastError();
            }
        }
    }
    HWND window = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    Win::CurrentModule(), nullptr);
    if (!window) {
        const DWORD error = ::GetLastError();
        if (g_windows == 0) ::UnregisterClassW(kWindowClass, Win::CurrentModule());
        throw Lumo::LastError(error);
    }
    ++g_windows;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state_.get()));
    state_->window = window;
}

CompletionBridge::~CompletionBridge() {
    HWND window;
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        window = std::exchange(state_->window, nullptr);
        state_->queue.clear();
        state_->delayed = nullptr;
    }
    if (!window) return;
    std::lock_guard<std::mutex> guard(g_classLock);
    // Messages still posted to it, and its timer, go with the window.
    ::DestroyWindow(window);
    if (--g_windows == 0) ::UnregisterClassW(kWindowClass, Win::CurrentModule());
}

bool CompletionBridge::ClassRegistered() {
    WNDCLASSEXW windowClass{sizeof(windowClass)};
    return ::GetClassInfoExW(Win::CurrentModule(), kWindowClass, &windowClass) != FALSE;
}

void CompletionBridge::Post(std::function<void()> call) {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (!state_->window) return;
    state_->queue.push_back(std::move(call));
    if (!::PostMessageW(state_->window, kRunQueued, 0, 0)) state_->queue.pop_back();
}

void CompletionBridge::PostDelayed(DWORD delayMs, std::function<void()> call) {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (!state_->window) return;
    state_->delayed = std::move(call);
    // The timer belongs to the window's thread, so that thread starts it.
    if (!::PostMessageW(state_->window, kStartTimer, delayMs, 0)) state_->delayed = nullptr;
}

void CompletionBridge::Discard() {
    std::deque<std::function<void()>> dropped;
    std::function<void()> delayed;
    std::lock_guard<std::mutex> guard(state_->lock);
    dropped.swap(state_->queue);
    delayed.swap(state_->delayed);
}

LRESULT CALLBACK CompletionBridge::WindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) noexcept {
    return Win::WindowBoundary(0, [&]() -> LRESULT {
        auto* state = reinterpret_cast<State*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == kStartTimer) {
            ::SetTimer(window, kTimerId, static_cast<UINT>(wParam), nullptr);
            return 0;
        }
        if (message == WM_TIMER && wParam == kTimerId) {
            ::KillTimer(window, kTimerId);
            if (!state) return 0;
            std::function<void()> call;
            {
                std::lock_guard<std::mutex> guard(state->lock);
                call.swap(state->delayed);
            }
            if (call) call();
            return 0;
        }
        if (message != kRunQueued) return ::DefWindowProcW(window, message, wParam, lParam);
        if (!state) return 0;
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> guard(state->lock);
            if (state->queue.empty()) return 0;  // discarded meanwhile
            call = std::move(state->queue.front());
            state->queue.pop_front();
        }
        if (call) call();
        return 0;
    });
}

}  // namespace Lumo::Update
