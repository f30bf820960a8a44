// SysTabControl32 wrapper.
#include "ui/TabCtrl.h"

#include <commctrl.h>

#include "win/Errors.h"
#include "win/ModuleReference.h"

namespace Lumo::WinUi {

TabCtrl::TabCtrl(HWND parent, int id, int width, int height, DWORD extraStyle) {
    HWND window = ::CreateWindowExW(0, WC_TABCONTROLW, L"",
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | extraStyle, 0, 0,
                                    width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                    Win::CurrentModule(), nullptr);
    if (!window) throw Lumo::LastError();
    Attach(window);
}

int TabCtrl::AddTab(const std::wstring& text) {
    std::wstring buffer = text;
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buffer.data();
    const int index = static_cast<int>(::SendMessageW(Window(), TCM_INSERTITEMW, static_cast<WPARAM>(Count()),
                                                      reinterpret_cast<LPARAM>(&item)));
    if (index < 0) throw Lumo::AnyError();
    return index;
}

int TabCtrl::Count() const { return static_cast<int>(::SendMessageW(Window(), TCM_GETITEMCOUNT, 0, 0)); }
int TabCtrl::Selected() const { return static_cast<int>(::SendMessageW(Window(), TCM_GETCURSEL, 0, 0)); }
void TabCtrl::Select(int index) { ::SendMessageW(Window(), TCM_SETCURSEL, static_cast<WPARAM>(index), 0); }

RECT TabCtrl::DisplayArea() const {
    RECT r{};
    ::GetWindowRect(Window(), &r);
    ::SendMessageW(Window(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    ::MapWindowPoints(nullptr, ::GetParent(Window()), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool TabCtrl::OnMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message != WM_GETFONT) return false;
    result = ::SendMessageW(::GetParent(Window()), WM_GETFONT, 0, 0);
    return true;
}

}  // namespace Lumo::WinUi
