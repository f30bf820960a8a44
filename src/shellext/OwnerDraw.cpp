// Owner drawing of the classic menu's entries: the light, dark and
// high-contrast forms of an entry, its icon, its submenu arrow and a dark
// separator.
#include "shellext/GotoFavorite.h"

#include <uxtheme.h>
#include <vssym32.h>

#include "shellext/MenuEngine.h"
#include "shellext/MenuTheme.h"
#include "shellext/ThreadMenuState.h"
#include "win/Handle.h"

namespace ShellExt {

namespace {

// The state of the visual style's menu item part for an entry.
int PopupItemState(bool selected, bool grayed) {
    if (grayed) return selected ? MPI_DISABLEDHOT : MPI_DISABLED;
    return selected ? MPI_HOT : MPI_NORMAL;
}

// A submenu arrow pointing right, in `color`, at the right end of `item`:
// the system's own arrow keeps the light menu's colours.
void DrawSubmenuArrow(HDC dc, const RECT& item, int side, COLORREF color) {
    const int height = (side / 2) | 1;  // odd, so that the point is one pixel
    const int width = height / 2 + 1;
    const int right = item.right - side / 2;
    const int top = item.top + (item.bottom - item.top - height) / 2;
    const POINT points[3] = {
        {right - width, top}, {right - 1, top + height / 2}, {right - width, top + height - 1}};
    Lumo::Win::UniqueGdiObject brush(::CreateSolidBrush(color));
    Lumo::Win::UniqueGdiObject pen(::CreatePen(PS_SOLID, 1, color));
    if (!brush || !pen) return;
    Lumo::Win::SelectedObject brushSelected(dc, brush.get());
    Lumo::Win::SelectedObject penSelected(dc, pen.get());
    ::Polygon(dc, points, 3);
}

// A dark separator: a line across the middle, clear of the icon column.
void DrawSeparator(HDC dc, const RECT& item, int side) {
    ::SetBkColor(dc, kDarkBackground);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE | ETO_CLIPPED, &item, nullptr, 0, nullptr);
    const int middle = item.top + (item.bottom - item.top) / 2;
    RECT line{item.left + side / 4, middle, item.right - side / 4, middle + 1};
    ::SetBkColor(dc, kDarkSeparator);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE | ETO_CLIPPED, &line, nullptr, 0, nullptr);
}

}  // namespace

LRESULT CGotoFavorite::OnDrawItem(const DRAWITEMSTRUCT& draw, int index) {
    ThreadMenuState& state = MenuEngine::CurrentState();
    ItemPtr item = MenuEngine::GetItem(state, index);
    if (!item) return 0;
    MenuMetrics& metrics = state.menuMetrics;
    HDC dc = draw.hDC;
    const int margin = item->kind == OddBase::KindQuelvar ? 1 : 3;
    const bool selected = (draw.itemState & ODS_SELECTED) != 0;
    const bool grayed = (draw.itemState & ODS_GRAYED) != 0;
    const MenuMode mode = metrics.Mode();
    const int side = metrics.IconSize();
    if (item->kind == OddBase::KindSeparator) {
        DrawSeparator(dc, draw.rcItem, side);
        return 0;
    }
    // The visual style paints the dark background when it has dark menu parts.
    HTHEME theme = mode == MenuMode::Dark ? metrics.DarkMenuTheme() : nullptr;
    if (selected) state.currentItem = index;
    COLORREF background;
    if (mode == MenuMode::Light) {
        if (selected) {
            ::SetTextColor(dc, ::GetSysColor(grayed ? COLOR_GRAYTEXT : COLOR_HIGHLIGHTTEXT));
            background = ::GetSysColor(COLOR_HIGHLIGHT);
        } else {
            background = ::GetSysColor(COLOR_MENU);
        }
    } else {
        EntryColors colors = ColorsOf(mode, selected, grayed);
        COLORREF themed;
        if (theme && SUCCEEDED(::GetThemeColor(theme, MENU_POPUPITEM, PopupItemState(selected, grayed),
                                               TMT_TEXTCOLOR, &themed))) {
            colors.text = themed;
        }
        ::SetTextColor(dc, colors.text);
        background = colors.background;
    }
    ::SetBkColor(dc, background);
    // Fills `area` with the background, or leaves the visual style's painting be.
    auto fill = [&](int x, int y, const RECT& area) {
        if (!theme) ::ExtTextOutW(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &area, nullptr, 0, nullptr);
    };
    if (theme) {
        ::DrawThemeBackground(theme, dc, MENU_POPUPBACKGROUND, 0, &draw.rcItem, nullptr);
        if (selected) {
            ::DrawThemeBackground(theme, dc, MENU_POPUPITEM, PopupItemState(selected, grayed), &draw.rcItem,
                                  nullptr);
        }
    }

    RECT r = draw.rcItem;
    const int x = r.left + margin;
    if (item->iconIndex != -1) {
        const int y = r.top + (r.bottom - r.top - side) / 2;
        fill(0, 0, r);
        const bool onBackground = !theme && y >= r.top && y + side <= r.bottom && x + side <= r.right;
        metrics.DrawIcon(dc, metrics.Images(), item->iconIndex, side, x, y, background, onBackground);
        r.left = x + side;
    }

    SIZE text{};
    ::GetTextExtentPoint32W(dc, item->label.c_str(), static_cast<int>(item->label.size()), &text);
    RECT box;
    box.left = x + side + margin;
    const int half = (draw.rcItem.bottom - draw.rcItem.top - text.cy) / 2;
    box.top = half < 0 ? draw.rcItem.top : draw.rcItem.top + half;
    box.right = draw.rcItem.right - 4;
    if (const int limit = context_ ? context_->MenuWidthLimit() : 0; limit && limit < box.right)
        box.right = limit;
    box.bottom = draw.rcItem.bottom;

    fill(box.left, box.top, r);

    UINT format = DT_EXPANDTABS | DT_PATH_ELLIPSIS;
    if ((draw.itemState & ODS_NOACCEL) && !metrics.KeyboardCues()) format |= DT_HIDEPREFIX;

    std::wstring label = item->label;  // DrawTextW may not change the item's own text
    if (grayed && mode == MenuMode::Light) {
        int oldMode = ::SetBkMode(dc, TRANSPARENT);
        if (!selected) {
            RECT shadow = box;
            ::OffsetRect(&shadow, 1, 1);
            COLORREF old = ::SetTextColor(dc, RGB(255, 255, 255));
            ::DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &shadow, format);
            ::SetTextColor(dc, old);
        }
        COLORREF old = ::SetTextColor(dc, RGB(128, 128, 128));
        ::DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &box, format);
        ::SetTextColor(dc, old);
        ::SetBkMode(dc, oldMode);
    } else if (mode == MenuMode::Light) {
        ::DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &box, format);
    } else {
        // One colour in every state: a white shadow would glare on a dark
        // menu and is no system colour of high contrast.
        int oldMode = ::SetBkMode(dc, TRANSPARENT);
        ::DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &box, format);
        ::SetBkMode(dc, oldMode);
        if (mode == MenuMode::HighContrast && grayed && selected) {
            // The highlight as a frame, around the menu colour that the gray text needs.
            ::FrameRect(dc, &draw.rcItem, ::GetSysColorBrush(COLOR_HIGHLIGHT));
        }
    }
    if (mode == MenuMode::Dark && item->Has(OddBase::ItemHasSubmenu)) {
        DrawSubmenuArrow(dc, draw.rcItem, side, ::GetTextColor(dc));
        // What the system draws after this (its own arrow) stays outside the entry.
        ::ExcludeClipRect(dc, draw.rcItem.left, draw.rcItem.top, draw.rcItem.right, draw.rcItem.bottom);
    }
    return 0;
}

}  // namespace ShellExt
