// The main submenu behind the "Quelvar" entry, and its reduced form for a data
// file written by a newer release.
#pragma once

#include "shellext/MenuEntry.h"

namespace Menu {

class VersionTooHigh : public ShellExt::OddBase {
public:
    VersionTooHigh()
        : ShellExt::OddBase(KindVersionTooHigh, L"This version is too old, please update to latest version",
                            -1, 0, kNoMnemonic) {
        helpText =
            L"This version is too old, please update to latest version, left click to goto Tarvolin Software "
            L"website";
    }
    void Execute(const ShellExt::Navigation::Target& target) override;
};

// The entries of the main submenu, its invisible first entry included.
void BuildMainSubmenu(ShellExt::EntryList& entries);

// What Quelvar's menus hold: the main submenu and the Quelvar entry's own
// menu, for the classic handler and the Windows 11 command.
ShellExt::MenuDefinition MainMenuDefinition();

}  // namespace Menu
