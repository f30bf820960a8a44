// The "&Options..." entry of the main submenu, the Quelvar entry's own menu
// (Options on a chosen page, the help manual) and the help manual itself.
#pragma once

#include <windows.h>

#include <vector>

#include <memory>

#include "data/Records.h"
#include "options/OptionDlg.h"

#include "shellext/MenuEntry.h"

namespace Menu {

class Options : public ShellExt::OddBase {
public:
    Options() : ShellExt::OddBase(KindOptions, L"&Options...", 16, 0, 'o') {
        helpText = L"Organize favorites, check new version, help, about...";
    }
    void Execute(const ShellExt::Navigation::Target& target) override;
};

// What the Options dialog edits: the menu's snapshot, or, when the file was
// held elsewhere as the menu loaded it, a fresh load; without data, why.
struct OptionsSnapshot {
    std::shared_ptr<Data::AllData> data;
    Lumo::Options::OptionData what = Lumo::Options::OptionData::CannotReadNow;
};
OptionsSnapshot OptionsData(const ShellExt::MenuContext& menu);

// Options with `snapshot` on `page`, modal to the active window (or
// `fallback`); whatever goes wrong inside is dropped.
void OpenOptions(const OptionsSnapshot& snapshot, int page, HWND fallback) noexcept;

// Opens "Quelvar.chm" beside the module; nothing when the install folder is
// unknown.
void OpenHelpManual() noexcept;

// The right-click menu of the Quelvar entry.
void ShowQuelvarItemMenu(ShellExt::Quelvar& item, HWND window);

}  // namespace Menu
