// Reading the user's colour mode, and the colours of the dark and
// high-contrast entries.
#include "shellext/MenuTheme.h"

namespace Lumo::ShellExt {

namespace {

bool (*g_highContrastProbe)() = nullptr;

bool HighContrastOn() {
    if (g_highContrastProbe) return g_highContrastProbe();
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof(contrast);
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

// Whether the user's apps use the dark theme; false when the value is absent
// (systems before the dark theme) or unreadable.
bool AppsUseDarkTheme() {
    DWORD light = 1, size = sizeof(light);
    const LSTATUS status = ::RegGetValueW(
        HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
        L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &light, &size);
    return status == ERROR_SUCCESS && light == 0;
}

}  // namespace

MenuMode ReadMenuMode() {
    if (HighContrastOn()) return MenuMode::HighContrast;
    return AppsUseDarkTheme() ? MenuMode::Dark : MenuMode::Light;
}

EntryColors ColorsOf(MenuMode mode, bool selected, bool grayed) {
    if (mode == MenuMode::HighContrast) {
        // A grayed entry keeps the menu colour under its gray text even when
        // highlighted: the schemes pair gray text only with the menu colour.
        if (grayed) return {::GetSysColor(COLOR_MENU), ::GetSysColor(COLOR_GRAYTEXT)};
        if (selected) return {::GetSysColor(COLOR_HIGHLIGHT), ::GetSysColor(COLOR_HIGHLIGHTTEXT)};
        return {::GetSysColor(COLOR_MENU), ::GetSysColor(COLOR_MENUTEXT)};
    }
    return {selected ? kDarkHighlight : kDarkBackground, grayed ? kDarkGrayText : kDarkText};
}

void SetHighContrastProbe(bool (*probe)()) { g_highContrastProbe = probe; }

}  // namespace Lumo::ShellExt
