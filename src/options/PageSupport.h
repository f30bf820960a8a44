// Small helpers the Options pages share: the width a control's text needs,
// the save step of a page and its leave check.
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

enum class SaveOutcome {
    Saved,
    Refused,     // another process changed the record meanwhile
    CannotSave,  // the file is held by another program or cannot be written now
};

// Commits a page's edits through `commit`. A refusal or a file that cannot be
// written now shows its message and keeps the edits for another try.
inline SaveOutcome CommitEdits(HWND page, const std::function<bool()>& commit, const wchar_t* refused,
                               const wchar_t* cannotSave) {
    bool committed = false;
    try {
        committed = commit();
    } catch (const Lumo::AnyError&) {
        ::MessageBoxW(page, cannotSave, L"Quelvar", MB_OK);
        return SaveOutcome::CannotSave;
    }
    if (committed) return SaveOutcome::Saved;
    ::MessageBoxW(page, refused, L"Quelvar", MB_OK);
    return SaveOutcome::Refused;
}

// The leave check of an editing page, before another tab is shown and on OK.
// Unmodified: leave. Otherwise `question` (Yes, No, Cancel): Yes saves, No
// drops the edits through `revert`, Cancel stays. A save that cannot write
// the file now keeps the user on the page: its message said the edits are
// kept, and leaving (OK closes the dialog) would lose them. A refused save
// lets the user go, as its message says to reopen the dialog.
inline bool CanLeaveEditingPage(HWND page, bool modified, const wchar_t* question,
                                const std::function<SaveOutcome()>& save,
                                const std::function<void()>& revert) {
    if (!modified) return true;
    switch (::MessageBoxW(page, question, L"Quelvar", MB_YESNOCANCEL)) {
        case IDYES:
            return save() != SaveOutcome::CannotSave;
        case IDNO:
            revert();
            return true;
        default:
            return false;
    }
}

}  // namespace Lumo::Options
