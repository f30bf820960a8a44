// The main submenu behind the "Quelvar" entry, and its reduced form for a data
// file written by a newer release.
#pragma once

#include "shellext/MenuItem.h"

class VersionTooHigh : public OddBase {
public:
    VersionTooHigh()
        : OddBase(18, L"This version is too old, please update to latest version", -1, 0, kNoMnemonic) {
        helpText =
            L"This version is too old, please update to latest version, left click to goto Tarvolin Software "
            L"website";
    }
    void Execute(HWND host) override;
};

// Fills the main submenu after its invisible first entry; the builder stands
// right after the "(Empty)" placeholder was removed.
void BuildMainSubmenu(SubmenuBuilder& builder);
