// Brings calls made on other threads (WinINet's) back to the thread that
// created the bridge: Post queues the call and posts a message to a hidden
// window of that thread, whose procedure runs it. Calls still queued when the
// bridge goes are dropped, so nothing runs against a caller that is gone.
// The window class lives exactly as long as some bridge's window does, so no
// registration outlives the module that holds its procedure.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

namespace Lumo::Update {

class CompletionBridge {
public:
    // Creates the message window on the calling thread; throws Lumo::LastError
    // when it cannot.
    CompletionBridge();
    // Must run on the creating thread.
    ~CompletionBridge();
    CompletionBridge(const CompletionBridge&) = delete;
    CompletionBridge& operator=(const CompletionBridge&) = delete;

    // Any thread: runs `call` later on the creating thread.
    void Post(std::function<void()> call);
    // Any thread: runs `call` on the creating thread once `delayMs` have
    // passed. One delayed call at a time: a new one replaces the old.
    void PostDelayed(DWORD delayMs, std::function<void()> call);
    // Drops the calls queued so far, the delayed one too.
    void Discard();

    // Whether the window class is registered now (for tests).
    static bool ClassRegistered();

private:
    struct State;
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    std::shared_ptr<State> state_;
};

}  // namespace Lumo::Update
