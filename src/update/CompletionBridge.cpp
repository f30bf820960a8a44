// The message window behind CompletionBridge.
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

}  // namespace

struct CompletionBridge::State {
    std::mutex lock;
    std::deque<std::function<void()>> queue;
    HWND window = nullptr;
};

CompletionBridge::CompletionBridge() : state_(std::make_shared<State>()) {
    static const ATOM registered = [] {
        WNDCLASSEXW windowClass{sizeof(windowClass)};
        windowClass.lpfnWndProc = &CompletionBridge::WindowProc;
        windowClass.hInstance = Win::CurrentModule();
        windowClass.lpszClassName = kWindowClass;
        return ::RegisterClassExW(&windowClass);
    }();
    if (!registered && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) throw Lumo::LastError();
    HWND window = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    Win::CurrentModule(), nullptr);
    if (!window) throw Lumo::LastError();
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state_.get()));
    state_->window = window;
}

CompletionBridge::~CompletionBridge() {
    HWND window;
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        window = std::exchange(state_->window, nullptr);
        state_->queue.clear();
    }
    // Messages still posted to it are discarded with the window.
    if (window) ::DestroyWindow(window);
}

void CompletionBridge::Post(std::function<void()> call) {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (!state_->window) return;
    state_->queue.push_back(std::move(call));
    if (!::PostMessageW(state_->window, kRunQueued, 0, 0)) state_->queue.pop_back();
}

void CompletionBridge::Discard() {
    std::deque<std::function<void()>> dropped;
    std::lock_guard<std::mutex> guard(state_->lock);
    dropped.swap(state_->queue);
}

LRESULT CALLBACK CompletionBridge::WindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) noexcept {
    return Win::WindowBoundary(0, [&]() -> LRESULT {
        if (message != kRunQueued) return ::DefWindowProcW(window, message, wParam, lParam);
        auto* state = reinterpret_cast<State*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
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
