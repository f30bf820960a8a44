// The "Shell &Tools" submenu: a command prompt in the selected or current
// folder, the selected names or paths copied to the clipboard, Advanced Copy
// Name, for one selected file its MD5 or SHA-1 and the Checksum Calculator,
// and checksum lists verified or created. Which entries appear depends on the
// selection.
#pragma once

#include <windows.h>

#include <vector>

#include <memory>
#include <string>

#include "system/Selection.h"
#include "shellext/MenuEntry.h"
#include "tools/HashCalculator.h"

namespace Lumo::Menu {

using SelectionPtr = std::shared_ptr<Lumo::Data::SelectedItemsInfo>;

class ShellTools : public Lumo::ShellExt::OddBase {
public:
    ShellTools()
        : Lumo::ShellExt::OddBase(KindShellTools, L"Shell &Tools", 21, ItemHasSubmenu | ItemFillOnOpen, 't') {
        helpText = L"Shell tools";
    }
    std::vector<Lumo::ShellExt::ItemPtr> Children() override;
};

class DosPromptHere : public Lumo::ShellExt::OddBase {
public:
    explicit DosPromptHere(SelectionPtr selection);
    void Execute(const Lumo::ShellExt::Navigation::Target& target) override;
    SelectionPtr selection;
};

class CopyPathName : public Lumo::ShellExt::OddBase {
public:
    explicit CopyPathName(SelectionPtr selection);
    void Execute(const Lumo::ShellExt::Navigation::Target& target) override;
    SelectionPtr selection;
};

class CopyFileName : public Lumo::ShellExt::OddBase {
public:
    explicit CopyFileName(SelectionPtr selection);
    void Execute(const Lumo::ShellExt::Navigation::Target& target) override;
    SelectionPtr selection;
};

class AdvCopyPath : public Lumo::ShellExt::OddBase {
public:
    explicit AdvCopyPath(SelectionPtr selection);
    void Execute(const Lumo::ShellExt::Navigation::Target& target) override;
    SelectionPtr selection;
};

class CalculateMD5 : public Lumo::ShellExt::OddBase {
public:
    explicit CalculateMD5(std::wstring path);
    void Execute(const Lumo::ShellExt::Navigation::Target& target) override;
    std::wstring filePath;
};

class CalculateSHA1 : public Lumo::ShellExt::OddBase {
public:
    explicit CalculateSHA1(std::wstring path);
    void Execute(const Lumo::ShellExt::Navigation::Target& target) override;
    std::wstring filePath;
};

class MoreHashAlgo : public Lumo::ShellExt::OddBase {
public:
    explicit MoreHashAlgo(std::wstring path);
    void Execute(const Lumo::ShellExt::Navigation::Target& target) override;
    std::wstring filePath;
};

// Verifies the files named in the selected checksum lists, in a window of its own.
class VerifyChecksums : public Lumo::ShellExt::OddBase {
public:
    explicit VerifyChecksums(SelectionPtr selection);
    void Execute(const Lumo::ShellExt::Navigation::Target& target) override;
    SelectionPtr selection;
};

// Creates a checksum list of the selected files and folders, in a window of its own.
class CreateChecksumFile : public Lumo::ShellExt::OddBase {
public:
    explicit CreateChecksumFile(SelectionPtr selection);
    void Execute(const Lumo::ShellExt::Navigation::Target& target) override;
    SelectionPtr selection;
};

// Whether an item's name names a checksum list (".sha256", ".md5", ".sfv", ...), from the name alone.
bool NamesChecksumList(const std::wstring& path);

}  // namespace Lumo::Menu
