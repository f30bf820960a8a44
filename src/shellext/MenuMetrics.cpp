// The menu font, measuring context and settings of a thread's open menu.
#include "shellext/MenuMetrics.h"

#include <commctrl.h>
#include <uxtheme.h>

#include "system/MenuImages.h"

namespace Lumo::ShellExt {

bool MenuMetrics::Prepare() {
    if (dc_) return true;
    NONCLIENTMETRICSW metrics{};
    // The size without the padded-border field, which every system accepts.
    constexpr UINT kMetricsSize = 500;
    metrics.cbSize = kMetricsSize;
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kMetricsSize, &metrics, 0)) return false;
    Lumo::Win::UniqueGdiObject font(::CreateFontIndirectW(&metrics.lfMenuFont));
    if (!font) return false;
    Lumo::Win::UniqueDc dc(::CreateCompatibleDC(nullptr));
    if (!dc || !::SelectObject(dc.get(), font.get())) return false;
    font_ = std::move(font);
    dc_ = std::move(dc);
    menuHeight_ = metrics.iMenuHeight;
    return true;
}

bool MenuMetrics::Measure(const std::wstring& text, SIZE& size, int& menuHeight) {
    if (!Prepare()) return false;
    SIZE extent{};
    ::GetTextExtentPoint32W(dc_.get(), text.c_str(), static_cast<int>(text.size()), &extent);
    POINT point{extent.cx, extent.cy};
    ::LPtoDP(dc_.get(), &point, 1);
    size = SIZE{point.x, point.y};
    menuHeight = menuHeight_;
    return true;
}

bool MenuMetrics::KeyboardCues() {
    if (keyboardCues_ < 0) {
        BOOL cues = TRUE;
        ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &cues, 0);
        keyboardCues_ = cues ? 1 : 0;
    }
    return keyboardCues_ != 0;
}

MenuMode MenuMetrics::Mode() {
    if (mode_ < 0) mode_ = static_cast<int>(ReadMenuMode());
    return static_cast<MenuMode>(mode_);
}

int MenuMetrics::IconSize() {
    // The small-icon size in the same DPI as the menu font of the metrics.
    if (iconSize_ == 0) iconSize_ = Lumo::System::MenuIconSizeFor(::GetSystemMetrics(SM_CXSMICON));
    return iconSize_;
}

HIMAGELIST MenuMetrics::Images() {
    const int size = IconSize();
    // The light menu at 16 pixels keeps the colour-keyed list it was always drawn with.
    if (size == 16 && Mode() == MenuMode::Light) return Lumo::System::MenuImages();
    return Lumo::System::MenuImagesWithAlpha(size);
}

HTHEME MenuMetrics::DarkMenuTheme() {
    if (!darkThemeTried_) {
        darkThemeTried_ = true;
        // The dark menu classes of the visual styles that have them; a
        // system without them (or without visual styles) gives none.
        for (const wchar_t* name : {L"DarkMode::Menu", L"ImmersiveStart::Menu"}) {
            darkTheme_.reset(::OpenThemeData(nullptr, name));
            if (darkTheme_) break;
        }
    }
    return darkTheme_.get();
}

namespace {

// Bits per pixel of what drawing into `dc` changes; 0 when that cannot be told.
// Metafile and printer contexts are not told: they record or print what is
// drawn rather than keeping pixels.
WORD BitsPerPixel(HDC dc) {
    const DWORD type = ::GetObjectType(dc);
    if (type == OBJ_DC) {
        return ::GetDeviceCaps(dc, TECHNOLOGY) == DT_RASDISPLAY
                   ? static_cast<WORD>(::GetDeviceCaps(dc, BITSPIXEL))
                   : 0;
    }
    if (type != OBJ_MEMDC) return 0;
    BITMAP bitmap{};
    if (!::GetObjectW(::GetCurrentObject(dc, OBJ_BITMAP), sizeof(bitmap), &bitmap)) return 0;
    return bitmap.bmBitsPixel;
}

}  // namespace

int MenuMetrics::CellFor(HDC dc, HIMAGELIST images, int index, int side, COLORREF background) {
    const COLORREF text = ::GetTextColor(dc);
    // Only where a pixel holds the colour itself is a copy exactly what
    // drawing over that colour gives.
    const WORD bits = BitsPerPixel(dc);
    if (bits < 24) return -1;
    if (!stripDc_) {
        // Compatible with the target, so that icons are blended in its format.
        Lumo::Win::UniqueGdiObject strip(::CreateCompatibleBitmap(dc, side * kCells, side));
        Lumo::Win::UniqueDc stripDc(::CreateCompatibleDC(dc));
        if (!strip || !stripDc || !::SelectObject(stripDc.get(), strip.get())) return -1;
        strip_ = std::move(strip);
        stripDc_ = std::move(stripDc);
        stripBits_ = bits;
        stripSide_ = side;
    }
    if (bits != stripBits_ || side != stripSide_) return -1;
    for (size_t cell = 0; cell < icons_.size(); ++cell) {
        const DrawnIcon& icon = icons_[cell];
        if (icon.images == images && icon.index == index && icon.background == background &&
            icon.text == text) {
            return static_cast<int>(cell);
        }
    }
    if (icons_.size() == kCells) return -1;
    const int x = side * static_cast<int>(icons_.size());
    RECT cell{x, 0, x + side, side};
    // The context's colours as the target has them, should the image list
    // turn a monochrome mask into colour with them.
    ::SetBkColor(stripDc_.get(), background);
    ::SetTextColor(stripDc_.get(), text);
    ::ExtTextOutW(stripDc_.get(), 0, 0, ETO_OPAQUE | ETO_CLIPPED, &cell, nullptr, 0, nullptr);
    if (!::ImageList_DrawEx(images, index, stripDc_.get(), x, 0, side, side, CLR_NONE, CLR_NONE,
                            ILD_NORMAL)) {
        return -1;
    }
    icons_.push_back(DrawnIcon{images, index, background, text});
    return static_cast<int>(icons_.size() - 1);
}

void MenuMetrics::DrawIcon(HDC dc, HIMAGELIST images, int index, int side, int x, int y, COLORREF background,
                           bool onBackground) {
    // A copy is placed as drawing places it only without scaling, world
    // transform or mirroring.
    if (onBackground && ::GetMapMode(dc) == MM_TEXT && ::GetGraphicsMode(dc) == GM_COMPATIBLE &&
        ::GetLayout(dc) == 0) {
        const int cell = CellFor(dc, images, index, side, background);
        if (cell >= 0 && ::BitBlt(dc, x, y, side, side, stripDc_.get(), side * cell, 0, SRCCOPY)) return;
    }
    ::ImageList_DrawEx(images, index, dc, x, y, side, side, CLR_NONE, CLR_NONE, ILD_NORMAL);
}

void MenuMetrics::Reset() {
    icons_.clear();
    stripDc_.reset();
    strip_.reset();
    stripSide_ = 0;
    dc_.reset();
    font_.reset();
    keyboardCues_ = -1;
    mode_ = -1;
    iconSize_ = 0;
    darkTheme_.reset();
    darkThemeTried_ = false;
}

void MenuMetrics::OnMessage(UINT message) {
    switch (message) {
        // A popup opens or closes: the menu may be a new one, and a closed
        // menu must not keep a context and a font of the thread.
        case WM_INITMENUPOPUP:
        case WM_UNINITMENUPOPUP:
        case WM_ENTERMENULOOP:
        case WM_EXITMENULOOP:
        // What the font, the menu height, the cues, the colour mode or the
        // visual style were read from changed ("ImmersiveColorSet" comes
        // as a setting change).
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
        case WM_THEMECHANGED:
        case WM_DPICHANGED:
        case WM_DISPLAYCHANGE:
            Reset();
            break;
    }
}

}  // namespace Lumo::ShellExt
