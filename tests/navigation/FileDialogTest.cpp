// Navigation of a real common file dialog (Wine's): the dialog answers the
// shell-browser request, changes its current folder to a chosen folder, to
// the folder of a chosen file, and stays put for a path the shell cannot
// parse; the history records what was chosen.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <functional>

#include "NavigationTestSupport.h"
#include "support/FileDialogDriver.h"

using namespace ShellExt;

namespace NavigationTest {
namespace {

using QuelvarTest::FileDialogDriver;

std::wstring CurrentFolder(HWND dialog) { return FileDialogDriver::CurrentFolder(dialog); }
HWND ViewWindow(HWND dialog) { return FileDialogDriver::ViewWindow(dialog); }

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
        Navigation::NavigateTo(Navigation::Target{view}, alpha);
        afterAlpha = CurrentFolder(dialog);
        // The host window directly, as the favorites item does.
        Navigation::NavigateHostWindow(Navigation::Target{dialog}, note);
        afterNote = CurrentFolder(dialog);
        Navigation::NavigateHostWindow(Navigation::Target{dialog}, Folder() + L"Missing\\Deeper");
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
    EXPECT_EQ(StoredHistory(), (std::vector<std::wstring>{note, alpha}));
}

}  // namespace
}  // namespace NavigationTest
