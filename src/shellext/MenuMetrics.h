// What measuring and drawing the entries of one open menu share: the system's
// menu font selected into a memory device context, the menu height, the
// keyboard-cues setting, the colour mode, the icon size of the display and the
// icons already drawn over each background.
// Made on first use and dropped when the menu closes or the settings, the DPI
// or the display it was made from change.
#pragma once

#include <windows.h>
#include <uxtheme.h>

#include <string>
#include <vector>

#include "shellext/MenuTheme.h"
#include "win/Handle.h"

namespace Lumo::ShellExt {

class MenuMetrics {
public:
    MenuMetrics() = default;
    MenuMetrics(const MenuMetrics&) = delete;
    MenuMetrics& operator=(const MenuMetrics&) = delete;

    // The size of `text` in the menu font, in device pixels, and the system's
    // menu height; false when the settings or the context cannot be had.
    bool Measure(const std::wstring& text, SIZE& size, int& menuHeight);
    // Whether keyboard cues are always shown.
    bool KeyboardCues();
    // Light, dark or high contrast, as the user's settings were when the menu opened.
    MenuMode Mode();
    // Side of the entries' icons: the largest size of the artwork that fits
    // the display's small-icon size (16, 20, 24 or 32 pixels).
    int IconSize();
    // The icons at IconSize() for the mode: the classic colour-keyed list
    // for light menus at 16 pixels, the icons with their alpha channel
    // otherwise; null when they cannot be had.
    HIMAGELIST Images();
    // The visual style's menu parts of dark menus, when the system has them; null otherwise.
    HTHEME DarkMenuTheme();
    // Draws a `side` by `side` icon of `images` at (x, y) as ImageList_DrawEx
    // does (no background or foreground colour, ILD_NORMAL). `onBackground`
    // says that the whole cell has just been filled with `background`: then
    // the icon is drawn once per background and copied afterwards.
    void DrawIcon(HDC dc, HIMAGELIST images, int index, int side, int x, int y, COLORREF background,
                  bool onBackground);

    // Forgets everything: the next use reads the system's settings again.
    void Reset();
    // Drops what the message makes stale (called for every message the
    // thread's windows receive while a menu engine watches it).
    void OnMessage(UINT message);

private:
    bool Prepare();

    // Cells of the icon strip: the icons of a menu over its two backgrounds, and more.
    static constexpr size_t kCells = 64;
    // One icon over one background (with one text colour in the context),
    // drawn into a cell of the icon strip.
    struct DrawnIcon {
        HIMAGELIST images;
        int index;
        COLORREF background;
        COLORREF text;
    };
    // The cell of the strip holding the icon drawn as it would be into `dc`; -1 when there is none.
    int CellFor(HDC dc, HIMAGELIST images, int index, int side, COLORREF background);

    int menuHeight_ = 0;
    int keyboardCues_ = -1;  // -1 not read yet
    int mode_ = -1;          // a MenuMode; -1 not read yet
    int iconSize_ = 0;       // 0 not read yet
    struct ThemeTraits {
        static HTHEME Invalid() { return nullptr; }
        static void Close(HTHEME theme) { ::CloseThemeData(theme); }
    };
    Lumo::Win::UniqueResource<HTHEME, ThemeTraits> darkTheme_;
    bool darkThemeTried_ = false;
    // The font is declared before the context so that the context, which
    // holds it selected, goes first.
    Lumo::Win::UniqueGdiObject font_;
    Lumo::Win::UniqueDc dc_;
    std::vector<DrawnIcon> icons_;  // by cell
    Lumo::Win::UniqueGdiObject strip_;
    WORD stripBits_ = 0;
    int stripSide_ = 0;
    // Holds the strip selected; declared after it so that it goes first.
    Lumo::Win::UniqueDc stripDc_;
};

}  // namespace Lumo::ShellExt
