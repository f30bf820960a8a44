// How the handler's owner-drawn entries are painted so that they match the
// menu around them: the classic light colours, a dark menu when the user's
// apps use the dark theme, or the high-contrast system colours. The mode is
// read when a menu opens, so a change shows in the next menu.
#pragma once

#include <windows.h>

namespace Lumo::ShellExt {

enum class MenuMode { Light, Dark, HighContrast };

// Colours of one state of an entry: the fill behind it and its text.
struct EntryColors {
    COLORREF background;
    COLORREF text;
};

// The dark palette, close to the dark menus of the system. Contrast of the
// text against its background (WCAG relative luminance): normal 14.2:1,
// highlighted 10.9:1, disabled 6.1:1, disabled and highlighted 4.7:1.
inline constexpr COLORREF kDarkBackground = RGB(0x2B, 0x2B, 0x2B);
inline constexpr COLORREF kDarkHighlight = RGB(0x3D, 0x3D, 0x3D);
inline constexpr COLORREF kDarkText = RGB(0xFF, 0xFF, 0xFF);
inline constexpr COLORREF kDarkGrayText = RGB(0xAA, 0xAA, 0xAA);
inline constexpr COLORREF kDarkSeparator = RGB(0x55, 0x55, 0x55);

// What the user's settings ask for: high contrast when it is on (whatever the
// theme says), dark when apps use the dark theme, light otherwise.
MenuMode ReadMenuMode();

// The colours of a dark or high-contrast entry in the given state. (Light
// entries keep the system's classic drawing and do not use this.)
EntryColors ColorsOf(MenuMode mode, bool selected, bool grayed);

// Replaces how high contrast is read (null: the system's setting again). For
// test programs, since a test cannot switch the system's high contrast.
void SetHighContrastProbe(bool (*probe)());

}  // namespace Lumo::ShellExt
