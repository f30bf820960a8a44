// Windows 11's first-level context menu: the Quelvar entry as an
// IExplorerCommand whose subcommands are the entries of the main submenu. The
// same menu model the classic handler renders into an owner-drawn menu is
// rendered here as a tree of commands that Explorer draws itself: no hidden
// handler, no menu and no hooks on Explorer's thread. The commands carry no
// owner drawing and no item menus: those stay with the classic menu.
#pragma once

#include <windows.h>

#include <string>

#include "shellext/MenuEntry.h"

namespace ShellExt {

// Creates the root command showing `definition`'s menus and asks it for
// `iid` (the class factory's creator).
HRESULT CreateExplorerCommand(REFIID iid, void** result, MenuDefinition definition) noexcept;

// What Explorer shows of a classic label: "&" marks no mnemonic there, "&&"
// stands for one "&".
std::wstring CommandTitle(const std::wstring& label);

}  // namespace ShellExt
