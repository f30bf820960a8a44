// The "Navigate &History" submenu: recently visited folders, newest first,
// and the entry that clears them.
#pragma once

#include "shellext/MenuEntry.h"

namespace Menu {

class NavigateHistory : public ShellExt::OddBase {
public:
    NavigateHistory()
        : ShellExt::OddBase(KindNavigateHistory, L"Navigate &History", -1, ItemHasSubmenu | ItemFillOnOpen,
                            'h') {
        helpText = L"Navigate history";
    }
    std::vector<ShellExt::ItemPtr> Children() override;
    void ShowItemMenu(HWND window) override;
};

// A visited folder; its label is the folder exactly as stored.
class OneNaviHistory : public ShellExt::OddBase {
public:
    explicit OneNaviHistory(const std::wstring& folder)
        : ShellExt::OddBase(KindHistoryFolder, folder.c_str(), -1, 0, kNoMnemonic) {
        helpText = folder;
    }
    void Execute(const ShellExt::Navigation::Target& target) override;
    void ShowItemMenu(HWND window) override;
};

class ClearNaviHistory : public ShellExt::OddBase {
public:
    ClearNaviHistory() : ShellExt::OddBase(KindClearHistory, L"&Clear History", 8, 0, 'c') {
        helpText = L"Clear navigate history";
    }
    void Execute(const ShellExt::Navigation::Target& target) override;
};

}  // namespace Menu
