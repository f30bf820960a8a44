// Answers the message boxes a test provokes on its thread: records each box's
// caption, text and buttons, and presses the answer queued for it.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "win/Handle.h"

namespace QuelvarTest {

struct SeenMessageBox {
    std::wstring caption;
    std::wstring text;
    std::vector<std::wstring> buttons;  // in tab order, '&' removed
    bool hasIcon = false;
    HWND owner = nullptr;
};

class MessageBoxDriver {
public:
    MessageBoxDriver();
    ~MessageBoxDriver();
    MessageBoxDriver(const MessageBoxDriver&) = delete;
    MessageBoxDriver& operator=(const MessageBoxDriver&) = delete;

    // The button (IDOK, IDCANCEL, IDYES, IDNO, ...) to press on the next box;
    // boxes without a queued answer are closed with their default button.
    void Answer(int button) { answers_.push_back(button); }
    const std::vector<SeenMessageBox>& Seen() const { return seen_; }
    void Clear() { seen_.clear(); }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    void OnActivate(HWND box);

    Lumo::Win::UniqueHook hook_;
    std::deque<int> answers_;
    std::vector<SeenMessageBox> seen_;
};

}  // namespace QuelvarTest
