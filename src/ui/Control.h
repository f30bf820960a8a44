// The wrapper the dialog keeps for each control it creates, and the base of
// the toolkit's own controls, which take over their window's messages.
#pragma once

#include <windows.h>

namespace Lumo::WinUi {

class Control {
public:
    Control() = default;
    explicit Control(HWND window) : window_(window) {}
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    HWND Window() const { return window_; }
    // Receives the owner-draw request the parent got for this control;
    // false when the control does not draw itself.
    virtual bool DrawItem(const DRAWITEMSTRUCT&) { return false; }

protected:
    // Routes the window's messages through OnMessage until it is destroyed.
    void Attach(HWND window);
    // True when the message was handled, with its answer in `result`.
    virtual bool OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self) noexcept;
    HWND window_ = nullptr;
    bool attached_ = false;
};

}  // namespace Lumo::WinUi
