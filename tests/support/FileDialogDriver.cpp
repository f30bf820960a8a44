// Open-file dialog driver.
#include "support/FileDialogDriver.h"

#include <commdlg.h>

namespace QuelvarTest {
namespace {

constexpr UINT kRunScenario = WM_APP + 1;
constexpr UINT_PTR kGiveUpTimer = 1;

}  // namespace

bool FileDialogDriver::Run(const std::wstring& initialFolder, Scenario scenario) {
    scenario_ = std::move(scenario);
    ran_ = false;
    current_ = this;
    wchar_t file[MAX_PATH] = {};
    OPENFILENAMEW options{};
    options.lStructSize = sizeof(options);
    options.lpstrFile = file;
    options.nMaxFile = MAX_PATH;
    options.lpstrInitialDir = initialFolder.c_str();
    options.Flags = OFN_EXPLORER | OFN_ENABLEHOOK;
    options.lpfnHook = Hook;
    ::GetOpenFileNameW(&options);
    current_ = nullptr;
    return ran_;
}

UINT_PTR CALLBACK FileDialogDriver::Hook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    FileDialogDriver* self = current_;
    if (!self) return 0;
    HWND dialog = ::GetParent(hook);
    switch (message) {
        case WM_INITDIALOG:
            // A dialog that never finishes its set-up must not hang the run.
            ::SetTimer(hook, kGiveUpTimer, 30000, nullptr);
            break;
        case WM_NOTIFY:
            if (reinterpret_cast<NMHDR*>(lParam)->code == CDN_INITDONE)
                ::PostMessageW(hook, kRunScenario, 0, 0);
            break;
        case kRunScenario:
            if (!self->ran_) {
                self->ran_ = true;
                self->scenario_(dialog);
            }
            ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            break;
        case WM_TIMER:
            ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            break;
        default:
            break;
    }
    return 0;
}

std::wstring FileDialogDriver::CurrentFolder(HWND dialog) {
    wchar_t folder[MAX_PATH] = {};
    ::SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
    return folder;
}

HWND FileDialogDriver::ViewWindow(HWND dialog) {
    HWND view = ::FindWindowExW(dialog, nullptr, L"SHELLDLL_DefView", nullptr);
    if (!view) return dialog;
    HWND list = ::GetWindow(view, GW_CHILD);
    return list ? list : view;
}

}  // namespace QuelvarTest
