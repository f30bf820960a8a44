// The "&System Folders" submenu: the fifteen well-known folders that resolve
// on this system.
#pragma once

#include <array>
#include <string>

#include "shellext/MenuEntry.h"

namespace Lumo::Menu {

class SystemFolders : public Lumo::ShellExt::OddBase {
public:
    SystemFolders()
        : Lumo::ShellExt::OddBase(KindSystemFolders, L"&System Folders", -1, ItemHasSubmenu | ItemFillOnOpen,
                                  's') {
        helpText = L"System folders such as windows, system, my documents, my pictures...";
    }
    std::vector<Lumo::ShellExt::ItemPtr> Children() override;
};

class OneSysFolder : public Lumo::ShellExt::OddBase {
public:
    explicit OneSysFolder(unsigned number);
    void Execute(const Lumo::ShellExt::Navigation::Target& target) override;
    void ShowItemMenu(HWND window) override;
    unsigned folderNumber;
};

struct ResolvedSystemFolders {
    std::array<std::wstring, 15> paths;
    unsigned resolved = 0;  // bit n: folder n resolved
    bool any = false;
};
ResolvedSystemFolders ResolveSystemFolders();

// The path of one system folder, or an empty string when it cannot be had.
std::wstring LookUpSystemFolder(unsigned number);

}  // namespace Lumo::Menu
