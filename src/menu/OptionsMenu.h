// The "&Options..." entry of the main submenu, the Quelvar entry's own menu
// (Options on a chosen page, the help manual) and the help manual itself.
#pragma once

#include <windows.h>

#include <memory>

#include "data/Records.h"

#include "shellext/MenuItem.h"

class Options : public OddBase {
public:
    Options() : OddBase(17, L"&Options...", 16, 0, 'o') {
        helpText = L"Organize favorites, check new version, help, about...";
    }
    void Execute(HWND host) override;
};

// Options with `data` (null: no data pages) on `page`, modal to the active
// window (or `fallback`); whatever goes wrong inside is dropped.
void OpenOptions(std::shared_ptr<Data::AllData> data, int page, HWND fallback) noexcept;

// The data the Options dialog edits: the menu's snapshot, or, when the file
// was held elsewhere as the menu loaded it, a fresh load (null when that
// fails too or the file belongs to a newer release).
std::shared_ptr<Data::AllData> OptionsData(CGotoFavorite& owner);

// Opens "Quelvar.chm" beside the module; nothing when the install folder is
// unknown.
void OpenHelpManual() noexcept;

// The right-click menu of the Quelvar entry.
void ShowQuelvarItemMenu(Quelvar& item, HWND window);
