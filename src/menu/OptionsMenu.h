// The "&Options..." entry of the main submenu, the Quelvar entry's own menu
// (Options on a chosen page, the help manual) and the help manual itself.
#pragma once

#include <windows.h>

#include "shellext/MenuItem.h"

class Options : public OddBase {
public:
    Options() : OddBase(17, L"&Options...", 16, 0, 'o') {
        helpText = L"Organize favorites, check new version, help, about...";
    }
    void Execute(HWND host) override;
};

// Options with the owner's data on `page`, modal to the active window (or
// `fallback`); whatever goes wrong inside is dropped.
void OpenOptions(CGotoFavorite& owner, int page, HWND fallback) noexcept;

// Opens "Quelvar.chm" beside the module; nothing when the install folder is
// unknown.
void OpenHelpManual() noexcept;

// The right-click menu of the Quelvar entry.
void ShowQuelvarItemMenu(Quelvar& item, HWND window);
