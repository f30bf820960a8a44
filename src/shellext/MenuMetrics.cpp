// The menu font, measuring context and settings of a thread's open menu.
#include "shellext/MenuMetrics.h"

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

void MenuMetrics::Reset() {
    dc_.reset();
    font_.reset();
    keyboardCues_ = -1;
}

void MenuMetrics::OnMessage(UINT message) {
    switch (message) {
        // A popup opens or closes: the menu may be a new one, and a closed
        // menu must not keep a context and a font of the thread.
        case WM_INITMENUPOPUP:
        case WM_UNINITMENUPOPUP:
        case WM_ENTERMENULOOP:
        case WM_EXITMENULOOP:
        // What the font, the menu height and the cues were read from changed.
        case WM_SETTINGCHANGE:
        case WM_DPICHANGED:
        case WM_DISPLAYCHANGE:
            Reset();
            break;
    }
}
