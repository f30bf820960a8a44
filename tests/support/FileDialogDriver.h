// Runs a piece of a test inside a real open-file dialog (Explorer style) of
// the system, once the dialog is fully set up, and cancels the dialog after.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace QuelvarTest {

class FileDialogDriver {
public:
    using Scenario = std::function<void(HWND dialog)>;

    // False when the scenario never ran (the dialog did not come up in 30 s).
    bool Run(const std::wstring& initialFolder, Scenario scenario);

    // The folder the dialog shows.
    static std::wstring CurrentFolder(HWND dialog);
    // The deepest window of the dialog's shell view, where a context menu of
    // the view comes from; the dialog itself when there is no view.
    static HWND ViewWindow(HWND dialog);

private:
    static UINT_PTR CALLBACK Hook(HWND hook, UINT message, WPARAM wParam, LPARAM lParam);

    static inline FileDialogDriver* current_ = nullptr;
    Scenario scenario_;
    bool ran_ = false;
};

}  // namespace QuelvarTest
