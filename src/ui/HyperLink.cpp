// The hyperlink control: colours from the browser settings, hover underline,
// hand cursor, keyboard activation.
#include "ui/HyperLink.h"

#include <shellapi.h>

#include <algorithm>
#include <cwchar>

#include "win/Errors.h"
#include "win/Handle.h"
#include "win/ModuleReference.h"

namespace Lumo::WinUi {
namespace {

COLORREF ReadAnchorColour(const wchar_t* value, COLORREF fallback) {
    wchar_t text[64] = {};
    DWORD size = sizeof(text);
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Settings", value,
                       RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return fallback;
    return HyperLink::ParseColour(text).value_or(fallback);
}

}  // namespace

HyperLink::HyperLink(HWND parent, int id, const std::wstring& text, unsigned linkStyle, int width, int height)
    : style_(linkStyle),
      link_(ReadAnchorColour(L"Anchor Color", RGB(0, 0, 255))),
      visited_(ReadAnchorColour(L"Anchor Color Visited", RGB(128, 0, 128))) {
    HWND window = ::CreateWindowExW(
        0, L"Static", text.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | SS_NOTIFY, 0, 0, width, height,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Win::CurrentModule(), nullptr);
    if (!window) throw Lumo::LastError();
    Attach(window);
}

std::optional<COLORREF> HyperLink::ParseColour(const std::wstring& text) {
    int r = -1, g = -1, b = -1;
    wchar_t rest = 0;
    if (std::swscanf(text.c_str(), L" %d , %d , %d %lc", &r, &g, &b, &rest) != 3) return std::nullopt;
    if (r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255) return std::nullopt;
    return RGB(r, g, b);
}

void HyperLink::Activate() {
    HWND parent = ::GetParent(Window());
    if (style_ & LinkCommand) {
        ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(Window()), BN_CLICKED),
                       reinterpret_cast<LPARAM>(Window()));
    } else {
        const std::wstring target = target_.empty() ? Win::WindowText(Window()) : target_;
        // A failed launch is not reported: the browser or the shell shows its own errors.
        ::ShellExecuteW(parent, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
    isVisited_ = true;
    ::InvalidateRect(Window(), nullptr, TRUE);
}

HFONT HyperLink::UnderlinedFont() {
    auto font = reinterpret_cast<HFONT>(::SendMessageW(Window(), WM_GETFONT, 0, 0));
    if (!font) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    if (!underlined_ || underlinedFrom_ != font) {
        LOGFONTW lf{};
        if (!::GetObjectW(font, sizeof(lf), &lf)) return font;
        lf.lfUnderline = TRUE;
        underlined_.reset(::CreateFontIndirectW(&lf));
        underlinedFrom_ = font;
    }
    return underlined_ ? static_cast<HFONT>(underlined_.get()) : font;
}

void HyperLink::Paint(HDC dc) {
    RECT client{};
    ::GetClientRect(Window(), &client);
    HWND parent = ::GetParent(Window());
    auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(
        parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(Window())));
    ::FillRect(dc, &client, brush ? brush : ::GetSysColorBrush(COLOR_BTNFACE));
    const bool underline = (style_ & LinkUnderlined) || ((style_ & LinkUnderlineHover) && hovering_);
    auto font =
        underline ? UnderlinedFont() : reinterpret_cast<HFONT>(::SendMessageW(Window(), WM_GETFONT, 0, 0));
    Win::SelectedObject selected(dc, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    // A link that cannot be followed now (an update check running) says so.
    const COLORREF color = !::IsWindowEnabled(Window()) ? ::GetSysColor(COLOR_GRAYTEXT)
                           : isVisited_                 ? visited_
                                                        : link_;
    ::SetTextColor(dc, color);
    const std::wstring text = Win::WindowText(Window());
    RECT textRect = client;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (::GetFocus() == Window()) {
        RECT extent = client;
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent,
                    DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
        extent.bottom = std::min(extent.bottom, client.bottom);
        extent.right = std::min(extent.right, client.right);
        ::DrawFocusRect(dc, &extent);
    }
}

bool HyperLink::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    switch (message) {
        case WM_PAINT: {
            const Win::PaintDc dc(Window());
            if (dc.get()) Paint(dc.get());
            return true;
        }
        case WM_ERASEBKGND:
            result = 1;
            return true;
        case WM_ENABLE:
            ::InvalidateRect(Window(), nullptr, FALSE);
            return false;
        case WM_SETCURSOR:
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            result = TRUE;
            return true;
        case WM_MOUSEMOVE:
            if (!hovering_) {
                hovering_ = true;
                TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, Window(), 0};
                ::TrackMouseEvent(&track);
                ::InvalidateRect(Window(), nullptr, TRUE);
            }
            return false;
        case WM_MOUSELEAVE:
            hovering_ = false;
            ::InvalidateRect(Window(), nullptr, TRUE);
            return false;
        case WM_LBUTTONDOWN:
            ::SetFocus(Window());
            return false;
        case WM_LBUTTONUP:
            Activate();
            result = 0;
            return true;
        case WM_GETDLGCODE:
            // Takes focus by Tab like a button and receives Enter and Space.
            result = DLGC_WANTCHARS | DLGC_UNDEFPUSHBUTTON;
            return true;
        case WM_CHAR:
            if (wParam == VK_SPACE || wParam == VK_RETURN) {
                Activate();
                return true;
            }
            return false;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            ::InvalidateRect(Window(), nullptr, TRUE);
            return false;
        default:
            return false;
    }
}

}  // namespace Lumo::WinUi
