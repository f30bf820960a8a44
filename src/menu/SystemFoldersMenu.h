// The "&System Folders" submenu: the fifteen well-known folders that resolve
// on this system.
#pragma once

#include <array>
#include <string>

#include "shellext/MenuEntry.h"

namespace Menu {

class SystemFolders : public ShellExt::OddBase {
public:
    SystemFolders()
        : ShellExt::OddBase(KindSystemFolders, L"&System Folders", -1, ItemHasSubmenu | ItemFillOnOpen, 's') {
        helpText = L"System folders such as windows, system, my documents, my pictures...";
    }
    std::vector<ShellExt::ItemPtr> Children() override;
};

class OneSysFolder : public ShellExt::OddBase {
public:
    explicit OneSysFolder(unsigned number);
    void Execute(const ShellExt::Navigation::Target& target) override;
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

}  // namespace Menu
