// Drawing and hover tracking of the icon buttons.
#include "ui/ButtonST.h"

#include <algorithm>
#include <vector>

#include "system/MenuImages.h"
#include "win/Errors.h"
#include "win/Handle.h"
#include "win/ModuleReference.h"

namespace Lumo::WinUi {
namespace {

struct IconTraits {
    static HICON Invalid() { return nullptr; }
    static void Close(HICON icon) { ::DestroyIcon(icon); }
};
using UniqueIcon = Win::UniqueResource<HICON, IconTraits>;

}  // namespace

CButtonST::CButtonST(HWND parent, int id, const std::wstring& text, int width, int height, double scale)
    : scale_(scale) {
    for (int i = 0; i < ColourCount; ++i)
        colours_[i] = ::GetSysColor((i % 2 == 0) ? COLOR_BTNFACE : COLOR_BTNTEXT);
    HWND window = ::CreateWindowExW(
        0, L"Button", text.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 0, width, height,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Win::CurrentModule(), nullptr);
    if (!window) throw Lumo::LastError();
    Attach(window);
}

void CButtonST::SetIcon(HIMAGELIST images, int hoverIndex, int normalIndex) {
    images_ = images;
    hoverIcon_ = hoverIndex;
    normalIcon_ = normalIndex;
    ::InvalidateRect(Window(), nullptr, TRUE);
}

void CButtonST::SetFlat(bool flat) {
    flat_ = flat;
    ::InvalidateRect(Window(), nullptr, TRUE);
}

void CButtonST::SetFocusRectInFlat(bool draw) { focusInFlat_ = draw; }

void CButtonST::SetPressedOffset(int dx, int dy) {
    offsetX_ = dx;
    offsetY_ = dy;
}

void CButtonST::SetColour(ColourIndex which, COLORREF colour) {
    colours_[which] = colour;
    ::InvalidateRect(Window(), nullptr, TRUE);
}

void CButtonST::SetTooltipText(const std::wstring& text) {
    HWND parent = ::GetParent(Window());
    if (!tooltip_) {
        tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent,
                                     nullptr, Win::CurrentModule(), nullptr);
        if (!tooltip_) throw Lumo::LastError();
    }
    std::wstring buffer = text;
    TOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = parent;
    info.uId = reinterpret_cast<UINT_PTR>(Window());
    info.lpszText = buffer.data();
    ::SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    if (!::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info))) throw Lumo::AnyError();
}

bool CButtonST::OnMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    switch (message) {
        case WM_MOUSEMOVE:
            if (!hovering_) {
                hovering_ = true;
                TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, Window(), 0};
                ::TrackMouseEvent(&track);
                ::InvalidateRect(Window(), nullptr, FALSE);
            }
            return false;
        case WM_MOUSELEAVE:
            hovering_ = false;
            ::InvalidateRect(Window(), nullptr, FALSE);
            return false;
        case WM_ERASEBKGND:
            // DrawItem paints every pixel.
            result = 1;
            return true;
        case WM_NCDESTROY:
            if (tooltip_) ::DestroyWindow(tooltip_);
            tooltip_ = nullptr;
            return false;
        default:
            return false;
    }
}

void CButtonST::DrawIcon(HDC dc, int index, int x, int y, bool disabled) const {
    int side = static_cast<int>(iconSide_ * scale_ + 0.5);
    // The menu icons come in the sizes of the usual DPIs: take the one that
    // fits, drawn at its own size in the middle of the square, never stretched.
    HIMAGELIST images = System::MenuImagesForSide(images_, side);
    if (images != images_) {
        int width = side, height = side;
        ::ImageList_GetIconSize(images, &width, &height);
        x += (side - width) / 2;
        y += (side - height) / 2;
        side = width;
    }
    UniqueIcon icon(::ImageList_GetIcon(images, index, ILD_NORMAL));
    if (!icon) return;
    if (disabled)
        ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon.get()), 0, x, y, side, side,
                     DST_ICON | DSS_DISABLED);
    else
        ::DrawIconEx(dc, x, y, icon.get(), side, side, 0, nullptr, DI_NORMAL);
}

bool CButtonST::DrawItem(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pressed = item.itemState & ODS_SELECTED;
    const bool focused = item.itemState & ODS_FOCUS;
    const bool disabled = item.itemState & ODS_DISABLED;

    const int state = hovering_ ? BackHover : focused ? BackFocus : BackNormal;
    HBRUSH back = ::CreateSolidBrush(colours_[state]);
    Win::UniqueGdiObject backOwner(back);
    ::FillRect(dc, &r, back ? back : ::GetSysColorBrush(COLOR_BTNFACE));

    if (!flat_) {
        ::DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    } else if (pressed) {
        ::DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
    } else if (hovering_) {
        ::DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
    }

    // Icon and text form one block centred in the button.
    const std::wstring text = Win::WindowText(Window());
    auto font = reinterpret_cast<HGDIOBJ>(::SendMessageW(Window(), WM_GETFONT, 0, 0));
    Win::SelectedObject selected(dc, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
    const UINT prefix = (item.itemState & ODS_NOACCEL) ? DT_HIDEPREFIX : 0;
    RECT textSize{0, 0, 0, 0};
    if (!text.empty())
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textSize, DT_SINGLELINE | DT_CALCRECT);
    const int icon = hovering_ && hoverIcon_ >= 0 ? hoverIcon_ : normalIcon_;
    const bool hasIcon = images_ && icon >= 0;
    const int side = hasIcon ? static_cast<int>(iconSide_ * scale_ + 0.5) : 0;
    const int spacing = hasIcon && !text.empty() ? static_cast<int>(4 * scale_ + 0.5) : 0;
    const int blockWidth = side + spacing + (textSize.right - textSize.left);
    int x = r.left + std::max(0, static_cast<int>(r.right - r.left - blockWidth) / 2);
    int offsetX = pressed ? offsetX_ : 0;
    int offsetY = pressed ? offsetY_ : 0;
    if (hasIcon) {
        DrawIcon(dc, icon, x + offsetX, r.top + (r.bottom - r.top - side) / 2 + offsetY, disabled);
        x += side + spacing;
    }
    if (!text.empty()) {
        RECT textRect{x + offsetX, r.top + offsetY, r.right - 2 + offsetX, r.bottom + offsetY};
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, disabled ? ::GetSysColor(COLOR_GRAYTEXT) : colours_[state + 1]);
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                    DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS | prefix);
    }

    if (focused && !(item.itemState & ODS_NOFOCUSRECT) && (!flat_ || focusInFlat_)) {
        RECT focus = r;
        ::InflateRect(&focus, -3, -3);
        ::DrawFocusRect(dc, &focus);
    }
    return true;
}

}  // namespace Lumo::WinUi
