// Header label and size grip: drawn by hand, so they look the same on every
// theme and never paint over their neighbours.
#include "ui/Bevel.h"

#include <algorithm>

#include "win/Errors.h"
#include "win/Handle.h"
#include "win/ModuleReference.h"

namespace Lumo::WinUi {
namespace {

HWND CreateStatic(HWND parent, int id, const std::wstring& text, DWORD style, int width, int height) {
    HWND window = ::CreateWindowExW(0, L"Static", text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, width,
                                    height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                    Win::CurrentModule(), nullptr);
    if (!window) throw Lumo::LastError();
    return window;
}

}  // namespace

Bevel::Bevel(HWND parent, int id, const std::wstring& text, int width, int height) {
    Attach(CreateStatic(parent, id, text, 0, width, height));
}

bool Bevel::OnMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    switch (message) {
        case WM_ERASEBKGND:
            result = 1;
            return true;
        case WM_PAINT: {
            const Win::PaintDc dc(Window());
            if (dc.get()) Paint(dc.get());
            return true;
        }
        default:
            return false;
    }
}

void Bevel::Paint(HDC dc) {
    RECT client{};
    ::GetClientRect(Window(), &client);
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
    const int middle = (client.top + client.bottom) / 2 - 1;
    RECT line{client.left, middle, client.right, middle + 1};
    ::FillRect(dc, &line, ::GetSysColorBrush(COLOR_BTNSHADOW));
    ::OffsetRect(&line, 0, 1);
    ::FillRect(dc, &line, ::GetSysColorBrush(COLOR_BTNHIGHLIGHT));

    const std::wstring text = Win::WindowText(Window());
    if (text.empty()) return;
    auto font = reinterpret_cast<HGDIOBJ>(::SendMessageW(Window(), WM_GETFONT, 0, 0));
    Win::SelectedObject selected(dc, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
    const UINT format = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
    RECT extent = client;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent, format | DT_CALCRECT);
    // The text sits on a patch of button face that interrupts the line,
    // with a little room after it.
    RECT patch{client.left, client.top, std::min(client.right, extent.right + 4), client.bottom};
    ::FillRect(dc, &patch, ::GetSysColorBrush(COLOR_BTNFACE));
    RECT textRect{client.left, client.top, patch.right, client.bottom};
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect, format);
}

GripBox::GripBox(HWND parent, int size) : size_(size) {
    Attach(CreateStatic(parent, kId, L"", 0, size, size));
    MoveToCorner();
}

void GripBox::MoveToCorner() {
    HWND parent = ::GetParent(Window());
    RECT client{};
    if (!parent || !::GetClientRect(parent, &client)) return;
    ::MoveWindow(Window(), client.right - size_, client.bottom - size_, size_, size_, TRUE);
}

bool GripBox::OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_NCHITTEST:
            result = HTBOTTOMRIGHT;
            return true;
        case WM_NCLBUTTONDOWN:
            // Dragging the grip sizes the dialog, not the grip.
            ::SendMessageW(::GetParent(Window()), WM_SYSCOMMAND, SC_SIZE | WMSZ_BOTTOMRIGHT, lParam);
            result = 0;
            return true;
        case WM_SETCURSOR:
            ::SetCursor(::LoadCursorW(nullptr, IDC_SIZENWSE));
            result = TRUE;
            return true;
        case WM_ERASEBKGND:
            result = 1;
            return true;
        case WM_PAINT: {
            const Win::PaintDc dc(Window());
            if (dc.get()) {
                RECT client{};
                ::GetClientRect(Window(), &client);
                ::FillRect(dc.get(), &client, ::GetSysColorBrush(COLOR_BTNFACE));
                ::DrawFrameControl(dc.get(), &client, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
            }
            return true;
        }
        default:
            return false;
    }
}

}  // namespace Lumo::WinUi
