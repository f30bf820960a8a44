// What measuring and drawing the entries of one open menu share: the system's
// menu font selected into a memory device context, the menu height and the
// keyboard-cues setting. Made on first use and dropped when the menu closes or
// the settings, the DPI or the display it was made from change.
#pragma once

#include <windows.h>

#include <string>

#include "win/Handle.h"

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

    // Forgets everything: the next use reads the system's settings again.
    void Reset();
    // Drops what the message makes stale (called for every message the
    // thread's windows receive while a menu engine watches it).
    void OnMessage(UINT message);

private:
    bool Prepare();

    int menuHeight_ = 0;
    int keyboardCues_ = -1;  // -1 not read yet
    // The font is declared before the context so that the context, which
    // holds it selected, goes first.
    Lumo::Win::UniqueGdiObject font_;
    Lumo::Win::UniqueDc dc_;
};
