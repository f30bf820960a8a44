// The item-menu commands shared by the history and system-folder entries:
// open, open in a new window, explore from here, command prompt, cancel.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace Lumo::Menu {

// Shows the five-entry folder menu. `folder` is asked for the path each time a
// command runs (empty: the command does nothing after closing the menus);
// `open` runs "Open Folder" with the window the item menu was opened from.
void ShowFolderItemMenu(HWND window, const std::function<std::wstring()>& folder,
                        const std::function<void(HWND window)>& open);

}  // namespace Lumo::Menu
