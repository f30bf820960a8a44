// The "Shell &Tools" submenu: a command prompt in the selected or current
// folder, the selected names or paths copied to the clipboard, Advanced Copy
// Name, and for one selected file its MD5 or SHA-1 and the Checksum
// Calculator. Which entries appear depends on the selection.
#pragma once

#include <windows.h>

#include <vector>

#include <memory>
#include <string>

#include "system/Selection.h"
#include "shellext/MenuEntry.h"
#include "tools/HashCalculator.h"

namespace Menu {

using SelectionPtr = std::shared_ptr<Data::SelectedItemsInfo>;

class ShellTools : public ShellExt::OddBase {
public:
    ShellTools()
        : ShellExt::OddBase(KindShellTools, L"Shell &Tools", 21, ItemHasSubmenu | ItemFillOnOpen, 't') {
        helpText = L"Shell tools";
    }
    std::vector<ShellExt::ItemPtr> Children() override;
};

class DosPromptHere : public ShellExt::OddBase {
public:
    explicit DosPromptHere(SelectionPtr selection);
    void Execute(const ShellExt::Navigation::Target& target) override;
    SelectionPtr selection;
};

class CopyPathName : public ShellExt::OddBase {
public:
    explicit CopyPathName(SelectionPtr selection);
    void Execute(const ShellExt::Navigation::Target& target) override;
    SelectionPtr selection;
};

class CopyFileName : public ShellExt::OddBase {
public:
    explicit CopyFileName(SelectionPtr selection);
    void Execute(const ShellExt::Navigation::Target& target) override;
    SelectionPtr selection;
};

class AdvCopyPath : public ShellExt::OddBase {
public:
    explicit AdvCopyPath(SelectionPtr selection);
    void Execute(const ShellExt::Navigation::Target& target) override;
    SelectionPtr selection;
};

class CalculateMD5 : public ShellExt::OddBase {
public:
    explicit CalculateMD5(std::wstring path);
    void Execute(const ShellExt::Navigation::Target& target) override;
    std::wstring filePath;
};

class CalculateSHA1 : public ShellExt::OddBase {
public:
    explicit CalculateSHA1(std::wstring path);
    void Execute(const ShellExt::Navigation::Target& target) override;
    std::wstring filePath;
};

class MoreHashAlgo : public ShellExt::OddBase {
public:
    explicit MoreHashAlgo(std::wstring path);
    void Execute(const ShellExt::Navigation::Target& target) override;
    std::wstring filePath;
};

}  // namespace Menu
