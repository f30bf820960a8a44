// Message routing of the toolkit's own controls through comctl32 subclassing.
#include "ui/Control.h"

#include <commctrl.h>

#include "win/Boundary.h"
#include "win/Errors.h"

namespace Lumo::WinUi {
namespace {
constexpr UINT_PTR kSubclassId = 0x4C756D6F;  // one subclass of ours per window
}

Control::~Control() {
    if (attached_ && window_ && ::IsWindow(window_))
        ::RemoveWindowSubclass(window_, &SubclassProc, kSubclassId);
}

void Control::Attach(HWND window) {
    window_ = window;
    if (!::SetWindowSubclass(window, &SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        throw Lumo::LastError();
    attached_ = true;
}

LRESULT Control::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefSubclassProc(window_, message, wParam, lParam);
}

LRESULT CALLBACK Control::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR data) noexcept {
    return Win::WindowBoundary(0, [&]() -> LRESULT {
        auto* self = reinterpret_cast<Control*>(data);
        LRESULT result = 0;
        const bool handled = self->OnMessage(message, wParam, lParam, result);
        if (message == WM_NCDESTROY) {
            ::RemoveWindowSubclass(window, &SubclassProc, kSubclassId);
            self->attached_ = false;
            self->window_ = nullptr;
            return ::DefSubclassProc(window, message, wParam, lParam);
        }
        return handled ? result : ::DefSubclassProc(window, message, wParam, lParam);
    });
}

}  // namespace Lumo::WinUi
