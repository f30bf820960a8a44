// Small helpers the Options pages share: the width a control's text needs
// and the save step of a page.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "win/Errors.h"
#include "win/Handle.h"

namespace Lumo::Options {

using Win::WindowDc;

// Pixels that `text` takes in the font of `window`.
inline int TextWidth(HWND window, const std::wstring& text) {
    WindowDc dc(window);
    if (!dc.get()) return 0;
    auto font = reinterpret_cast<HGDIOBJ>(::SendMessageW(window, WM_GETFONT, 0, 0));
    Win::SelectedObject selected(dc.get(), font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
    SIZE size{};
    ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

using Win::WindowText;

// Commits a page's edits through `commit`. A refusal (another process changed
// the record meanwhile) or a file that cannot be written now shows its message
// and keeps the edits for another try.
inline bool CommitEdits(HWND page, const std::function<bool()>& commit, const wchar_t* refused,
                        const wchar_t* cannotSave) {
    bool committed = false;
    try {
        committed = commit();
    } catch (const Lumo::AnyError&) {
        ::MessageBoxW(page, cannotSave, L"Quelvar", MB_OK);
        return false;
    }
    if (!committed) ::MessageBoxW(page, refused, L"Quelvar", MB_OK);
    return committed;
}

}  // namespace Lumo::Options
