// The folder item menu of history and system-folder entries.
#include "menu/FolderCommands.h"

#include "menu/PopupMenu.h"
#include "shellext/Navigation.h"

void ShowFolderItemMenu(HWND window, const std::function<std::wstring()>& folder,
                        const std::function<void(HWND window)>& open) {
    using Lumo::WinUi::PopupMenu;
    // Every command but Cancel closes the whole menu first, then looks the folder up.
    auto command = [&folder](void (*action)(const std::wstring&)) {
        return [folder, action] {
            ::EndMenu();
            std::wstring path = folder();
            if (!path.empty()) action(path);
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
    menu.AppendCommand(L"Open Folder in New Window", command(&Navigation::ExploreFolder));
    menu.AppendCommand(L"Explore From Here", command(&Navigation::ExploreFromHere));
    menu.AppendSeparator();
    menu.AppendCommand(L"DOS Prompt Here", command(&Navigation::OpenCommandPrompt));
    menu.AppendSeparator();
    menu.AppendCommand(L"Cancel", [] {});
    menu.Track(window);
}
