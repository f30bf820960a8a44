// Windows 11's first-level context menu: the Quelvar entry as an
// IExplorerCommand whose subcommands are the entries of the classic main
// submenu. One description of what the menu holds (the menu items and their
// builders), two ways of showing it: the classic handler draws the entries into
// a Win32 menu; here the same builders fill a menu that is never shown, and each
// of its entries becomes a command that Explorer draws itself. The commands
// carry no owner drawing and no item menus: those stay with the classic menu.
#pragma once

#include <windows.h>

#include <string>

namespace Menu {

// Creates the root command and asks it for `iid` (the class factory's creator).
HRESULT CreateExplorerCommand(REFIID iid, void** result) noexcept;

// What Explorer shows of a classic label: "&" marks no mnemonic there, "&&"
// stands for one "&".
std::wstring CommandTitle(const std::wstring& label);

}  // namespace Menu
