// Navigation of a real common file dialog (Wine's): the dialog answers the
// shell-browser request, changes its current folder to a chosen folder, to
// the folder of a chosen file, and stays put for a path the shell cannot
// parse; the history records what was chosen.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <functional>

#include "NavigationTestSupport.h"

namespace NavigationTest {
namespace {

constexpr UINT kRunScenario = WM_APP + 1;
constexpr UINT_PTR kGiveUpTimer = 1;

// Runs `scenario` inside a real open-file dialog, once it is fully set up,
// then cancels the dialog. Returns false when the scenario never ran.
class FileDialogDriver {
public:
    using Scenario = std::function<void(HWND dialog)>;

    bool Run(const std::wstring& initialFolder, Scenario scenario) {
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

private:
    static UINT_PTR CALLBACK Hook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
        FileDialogDriver* self = current_;
        if (!self) return 0;
        HWND dialog = ::GetParent(hook);
        switch (message) {
            case WM_INITDIALOG:
                // A dialog that never finishes its set-up must not hang the run.
                ::SetTimer(hook, kGiveUpTimer, 30000, nullptr);
                break;
            case WM_NOTIFY:
                if (reinterpret_cast<NMHDR*>(lParam)->code == CDN_INITDONE) {
                    ::PostMessageW(hook, kRunScenario, 0, 0);
                }
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

    static inline FileDialogDriver* current_ = nullptr;
    Scenario scenario_;
    bool ran_ = false;
};

std::wstring CurrentFolder(HWND dialog) {
    wchar_t folder[MAX_PATH] = {};
    ::SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
    return folder;
}

// The deepest window of the dialog's shell view, where a context menu of the
// view would come from; the dialog itself when the view is not found.
HWND ViewWindow(HWND dialog) {
    HWND view = ::FindWindowExW(dialog, nullptr, L"SHELLDLL_DefView", nullptr);
    if (!view) return dialog;
    HWND list = ::GetWindow(view, GW_CHILD);
    return list ? list : view;
}

class FileDialogTest : public NavigationFixture {};

TEST_F(FileDialogTest, TheDialogMovesToTheChosenFolderOrTheFolderOfAChosenFile) {
    const std::wstring alpha = MakeFolder(L"Alpha");
    const std::wstring beta = MakeFolder(L"Beta");
    const std::wstring note = MakeFile(L"Beta\\note.txt");

    std::wstring initial, afterAlpha, afterNote, afterUnparsable;
    LRESULT answer = 0;
    HWND view = nullptr, found = nullptr, dialogWindow = nullptr;
    FileDialogDriver driver;
    ASSERT_TRUE(driver.Run(Folder(), [&](HWND dialog) {
        dialogWindow = dialog;
        answer = ::SendMessageW(dialog, Navigation::kShellBrowserRequest, 0, 0);
        if (!answer) return;
        initial = CurrentFolder(dialog);
        view = ViewWindow(dialog);
        found = Navigation::FindBrowserWindow(view);
        // From inside the view, as a menu item does.
        Navigation::NavigateTo(view, alpha, Owner());
        afterAlpha = CurrentFolder(dialog);
        // The host window directly, as the favorites item does.
        Navigation::NavigateHostWindow(note, dialog, Owner());
        afterNote = CurrentFolder(dialog);
        Navigation::NavigateHostWindow(Folder() + L"Missing\\Deeper", dialog, Owner());
        afterUnparsable = CurrentFolder(dialog);
    })) << "the dialog never finished its set-up";
    if (!answer) GTEST_SKIP() << "this platform's file dialog does not answer the shell-browser request";

    EXPECT_TRUE(SamePath(initial, Folder())) << initial;
    EXPECT_NE(view, dialogWindow) << "the dialog's shell view was not found";
    EXPECT_EQ(found, dialogWindow);
    EXPECT_TRUE(SamePath(afterAlpha, alpha)) << afterAlpha;
    EXPECT_TRUE(SamePath(afterNote, beta)) << afterNote;
    EXPECT_TRUE(SamePath(afterUnparsable, beta)) << afterUnparsable;
    EXPECT_TRUE(launches_.empty()) << "a new window was opened instead: " << launches_.size();
    EXPECT_TRUE(Owner().dialogPath.empty());
    EXPECT_EQ(StoredHistory(), (std::vector<std::wstring>{note, alpha}));
}

}  // namespace
}  // namespace NavigationTest
