// The folder item menu of history and system-folder entries.
#include "menu/FolderCommands.h"

#include "ui/PopupMenu.h"
#include "navigation/Navigation.h"

namespace Menu {

using namespace ShellExt;

void ShowFolderItemMenu(HWND window, const std::function<std::wstring()>& folder,
                        const std::function<void(HWND window)>& open) {
    using Lumo::WinUi::PopupMenu;
    // Every command but Cancel closes the whole menu first, then looks the
    // folder up; the folder forms of the commands do nothing for an empty path.
    auto command = [&folder](void (*action)(const std::wstring&) noexcept) {
        return [folder, action] {
            ::EndMenu();
            action(folder());
        };
    };
    PopupMenu menu;
    menu.AppendCommand(
        L"Open Folder",
        [open, window] {
            ::EndMenu();
            open(window);
        },
        true);
    menu.AppendCommand(L"Open Folder in New Window", command(&Navigation::ExploreSystemFolder));
    menu.AppendCommand(L"Explore From Here", command(&Navigation::ExploreSystemFolderFromHere));
    menu.AppendSeparator();
    menu.AppendCommand(L"DOS Prompt Here", command(&Navigation::OpenCommandPromptAtSystemFolder));
    menu.AppendSeparator();
    menu.AppendCommand(L"Cancel", [] {});
    menu.Track(window);
}

}  // namespace Menu
