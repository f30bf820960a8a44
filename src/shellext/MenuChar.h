// Which entry a typed character picks among owner-drawn entries.
#pragma once

#include <windows.h>

#include <vector>

namespace Lumo::ShellExt {

struct MenuCharEntry {
    bool own = false;          // an entry of the handler
    BYTE mnemonic = 0xFF;      // its mnemonic, 0xFF for none
    bool highlighted = false;  // its state is exactly MFS_HILITE
};

// The WM_MENUCHAR answer: 0 (ignore), MAKELRESULT(position, MNC_EXECUTE) for
// a single match, MAKELRESULT(position, MNC_SELECT) cycling through several.
LRESULT ChooseMenuChar(const std::vector<MenuCharEntry>& entries, WCHAR character);

}  // namespace Lumo::ShellExt
