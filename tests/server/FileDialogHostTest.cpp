// The registered module in a real host of its own bitness: a common file dialog of this test program (a
// 32-bit one in the 32-bit build) asks the class registered with regsvr32 for its context menu, finds the
// Quelvar entry, and choosing a favorite there moves that very dialog.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "data/DataCenter.h"
#include "navigation/Navigation.h"
#include "support/FileDialogDriver.h"
#include "support/ShellHost.h"
#include "support/TestSupport.h"

using namespace QuelvarTest;

namespace {

bool SamePath(std::wstring a, std::wstring b) {
    while (!a.empty() && a.back() == L'\\') a.pop_back();
    while (!b.empty() && b.back() == L'\\') b.pop_back();
    return ::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// The handler's entry with a submenu among the host's own string entries.
int QuelvarEntry(const ShellHost& host) {
    for (const ShellHost::Entry& entry : host.Entries(host.Menu())) {
        if (entry.submenu && (entry.type & MFT_OWNERDRAW)) return static_cast<int>(entry.position);
    }
    return -1;
}

}  // namespace

TEST(FileDialogHost, TheRegisteredModuleOffersQuelvarAndAFavoriteMovesTheDialog) {
    TempFolder temp;
    const std::wstring alpha = temp.File(L"Alpha");
    ASSERT_TRUE(::CreateDirectoryW(alpha.c_str(), nullptr));
    // The module reads the data file of the user's application data, which points here while the test runs.
    const std::wstring appData = temp.File(L"AppData");
    ASSERT_TRUE(::CreateDirectoryW(appData.c_str(), nullptr));
    ScopedUserShellFolder scopedAppData(L"AppData", appData);
    Data::DataCenter(appData + L"\\" + Data::DataCenter::kDataFolderName).AddFavorites({alpha});
    const std::wstring module = L"\"" + BuiltModulePath() + L"\"";
    ASSERT_EQ(0u, RunProcess(L"regsvr32.exe /s " + module));
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    std::wstring start = temp.Path();
    start.pop_back();
    LRESULT answer = 0;
    HRESULT created = E_FAIL, invoked = E_FAIL;
    int quelvar = -1, favorite = -1;
    std::wstring before, after;
    FileDialogDriver run;
    ASSERT_TRUE(run.Run(start, [&](HWND dialog) {
        answer = ::SendMessageW(dialog, ShellExt::Navigation::kShellBrowserRequest, 0, 0);
        if (!answer) return;
        before = FileDialogDriver::CurrentFolder(dialog);
        ShellHost host;
        created = host.CreateHandlerThroughCom();
        if (FAILED(created) || FAILED(host.InitializeBackground(start)) || FAILED(host.QueryContextMenu()))
            return;
        quelvar = QuelvarEntry(host);
        if (quelvar < 0) return;
        host.SendInitMenuPopup(host.Menu(), 0);
        HMENU main = host.OpenSubmenu(host.Menu(), static_cast<UINT>(quelvar));
        // The one favorite stands right after the first separator, above "Add Folder to Favorites".
        const std::vector<ShellHost::Entry> entries = host.Entries(main);
        for (size_t i = 0; i + 1 < entries.size() && favorite < 0; ++i) {
            if (entries[i].Separator() && !entries[i + 1].Separator() && !entries[i + 1].submenu) {
                favorite = static_cast<int>(i + 1);
            }
        }
        if (favorite < 0) return;
        host.Draw(main, static_cast<UINT>(favorite), ODS_SELECTED, 200, 20);
        host.CloseAll();
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof(info);
        info.hwnd = dialog;
        info.lpVerb = MAKEINTRESOURCEA(0);
        info.nShow = SW_SHOWNORMAL;
        invoked = host.Handler()->InvokeCommand(&info);
        after = FileDialogDriver::CurrentFolder(dialog);
    })) << "the dialog never finished its set-up";
    ::CoUninitialize();
    RunProcess(L"regsvr32.exe /s /u " + module);
    if (!answer) GTEST_SKIP() << "this platform's file dialog does not answer the shell-browser request";

    EXPECT_EQ(S_OK, created);
    EXPECT_GE(quelvar, 0) << "no Quelvar entry in the dialog's context menu";
    EXPECT_GE(favorite, 0) << "the favorite is missing from the Quelvar menu";
    EXPECT_EQ(S_OK, invoked);
    EXPECT_TRUE(SamePath(before, start));
    EXPECT_TRUE(SamePath(after, alpha)) << std::string(after.begin(), after.end());
}
