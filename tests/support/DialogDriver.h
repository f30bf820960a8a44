// Drives the toolkit's dialogs the way a user would: a modal dialog runs on a
// thread of its own (with an owner window made there), and the test finds it
// by owner and caption, reads its controls by id and presses them with the
// messages a click or keystrokes produce.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/MessageBoxDriver.h"
#include "win/Handle.h"

namespace QuelvarTest {

// Runs `show(owner)` on a new thread; `owner` is a plain top-level window
// created on that thread. Message boxes that the dialog shows are answered
// there by a MessageBoxDriver.
class DialogThread {
public:
    explicit DialogThread(std::function<INT_PTR(HWND owner)> show);
    ~DialogThread();
    DialogThread(const DialogThread&) = delete;
    DialogThread& operator=(const DialogThread&) = delete;

    HWND Owner() const { return owner_; }
    // Waits for `show` to return; false on timeout.
    bool Wait(DWORD timeoutMs = 10000);
    bool Finished() const;
    INT_PTR Result() const { return result_; }
    // The message boxes seen so far; read it only after the dialog answered a
    // message of the test (it is written on the dialog's thread).
    const std::vector<SeenMessageBox>& MessageBoxes() const;
    // Queues the button to press on the next message box; call it before the
    // action that shows the box (the action's message orders the two).
    void Answer(int button);

private:
    std::thread thread_;
    HWND owner_ = nullptr;
    DWORD threadId_ = 0;
    Lumo::Win::UniqueHandle ready_;
    Lumo::Win::UniqueHandle done_;
    INT_PTR result_ = -2;
    std::unique_ptr<MessageBoxDriver> boxes_;
    std::vector<SeenMessageBox> none_;
};

class DialogDriver {
public:
    // The first visible dialog owned by `owner` with this caption; waits for
    // it up to `timeoutMs`. Null when none appears.
    static HWND Find(HWND owner, const std::wstring& caption, DWORD timeoutMs = 5000);

    explicit DialogDriver(HWND dialog) : dialog_(dialog) {}
    HWND Dialog() const { return dialog_; }
    HWND Control(int id) const { return ::GetDlgItem(dialog_, id); }
    bool Exists(int id) const { return Control(id) != nullptr; }

    std::wstring Caption() const;
    std::wstring Text(int id) const;
    std::wstring ClassName(int id) const;
    DWORD Style(int id) const;
    bool Enabled(int id) const;
    bool Visible(int id) const;
    bool Checked(int id) const;
    // Rectangle in the dialog's client coordinates.
    RECT Rect(int id) const;
    std::vector<std::wstring> ComboItems(int id) const;
    int ComboSelection(int id) const;
    std::wstring TooltipText(int id) const;
    // The ids of the dialog's children in creation (tab) order.
    std::vector<int> ChildIds() const;

    // Presses an enabled, visible button as a mouse click does (BM_CLICK);
    // false when a user could not press it.
    bool Click(int id) const;
    // Sends the notification a control sends its parent.
    void Notify(int id, int code) const;
    // Chooses a drop-down entry as the user does (selection, then CBN_SELCHANGE).
    void SelectCombo(int id, int index) const;
    // Replaces the edit's text as a paste over everything would.
    void SetEditText(int id, const std::wstring& text) const;
    // Types characters into the control (focus, then one WM_CHAR each).
    void Type(int id, const std::wstring& text) const;
    // Posts a key press to the focused control through the dialog's loop.
    void PostKey(int id, UINT virtualKey) const;
    // Asks the dialog to close as its close box does.
    void Close() const { ::PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0); }
    // Whether the dialog's thread answers within `timeoutMs`.
    bool Responds(DWORD timeoutMs) const;

private:
    HWND dialog_;
};

// Waits (pumping the calling thread's messages) until `condition` holds.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

}  // namespace QuelvarTest
