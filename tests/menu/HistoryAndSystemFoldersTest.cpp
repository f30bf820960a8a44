// The navigate history and system folders submenus.
#include "MenuTestSupport.h"

#include <shlobj.h>

#include "shellext/GotoFavorite.h"
#include "win/Handle.h"

using namespace ShellExt;
using namespace Menu;

using namespace MenuTest;

namespace {

class HistoryMenuTest : public MenuFixture {};
class SystemFoldersMenuTest : public MenuFixture {};

}  // namespace

TEST_F(HistoryMenuTest, ShowsTheNewestFoldersUpToTheDepthThenClear) {
    StoreHistory({L"C:\\D", L"C:\\C", L"C:\\B", L"C:\\A"});
    ChangeUserSettings([](Data::UserSettings& settings) { settings.historyDepth = 3; });
    HMENU main = OpenMainSubmenu();
    HMENU history = OpenEntry(main, L"Navigate &History");
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\D", L"C:\\C", L"C:\\B", L"-", L"&Clear History"}),
              host->Labels(history));
    auto clear = ItemOf(history, L"&Clear History");
    ASSERT_TRUE(clear);
    EXPECT_EQ(8, clear->iconIndex);
    EXPECT_EQ(L"Clear navigate history", clear->helpText);

    // Clearing empties the stored list; a new menu shows "(Empty)" only.
    clear->Execute(Navigation::Target{host->Window()});
    EXPECT_TRUE(StoredHistory().empty());
    host->CloseAll();
    host = std::make_unique<QuelvarTest::ShellHost>();
    main = OpenMainSubmenu();
    EXPECT_EQ(std::vector<std::wstring>{L"(Empty)"}, host->Labels(OpenEntry(main, L"Navigate &History")));
    host->CloseAll();
}

TEST_F(HistoryMenuTest, DepthZeroOrNoHistoryLeavesThePlaceholder) {
    StoreHistory({L"C:\\Visited"});
    ChangeUserSettings([](Data::UserSettings& settings) { settings.historyDepth = 0; });
    HMENU main = OpenMainSubmenu();
    EXPECT_EQ(std::vector<std::wstring>{L"(Empty)"}, host->Labels(OpenEntry(main, L"Navigate &History")));
    host->CloseAll();
}

TEST_F(HistoryMenuTest, AFolderWithAnAmpersandKeepsItAndChoosingItNavigates) {
    const std::wstring folder = temp.Path() + L"R&D";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    StoreHistory({folder, L"C:\\Older"});
    HMENU main = OpenMainSubmenu();
    HMENU history = OpenEntry(main, L"Navigate &History");
    auto entry = ItemOf(history, folder);
    ASSERT_TRUE(entry) << "the label is the folder exactly as stored";
    EXPECT_EQ(folder, entry->helpText);
    EXPECT_EQ(OddBase::kNoMnemonic, entry->mnemonic);

    // No shell browser above the host window: a new window opens there and the
    // folder moves to the top of the history.
    entry->Execute(Navigation::Target{host->Window()});
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"explore", launches[0].verb);
    EXPECT_EQ(folder, launches[0].file);
    EXPECT_EQ(SW_SHOW, launches[0].show);
    EXPECT_EQ((std::vector<std::wstring>{folder, L"C:\\Older"}), StoredHistory());
    host->CloseAll();
}

TEST_F(SystemFoldersMenuTest, ListsTheResolvedFoldersInOrderWithTheirPaths) {
    HMENU main = OpenMainSubmenu();
    HMENU folders = OpenEntry(main, L"&System Folders");
    const auto entries = host->Entries(folders);
    ASSERT_GE(entries.size(), 8u);
    const std::vector<std::wstring> order = {
        L"My &Documents", L"My &Pictures",   L"My &Music",  L"My &Video",     L"&Windows",
        L"&System",       L"&Program Files", L"&Temporary", L"&Fonts",        L"&Application Data",
        L"IE &Cache",     L"&Desktop",       L"&Profile",   L"IE &Favorites", L"IE Coo&kies"};
    size_t last = 0;
    for (const auto& entry : entries) {
        ASSERT_TRUE(entry.item);
        EXPECT_EQ(15, entry.item->kind);
        auto found = std::find(order.begin(), order.end(), entry.Label());
        ASSERT_NE(order.end(), found) << std::string(entry.Label().begin(), entry.Label().end());
        size_t index = static_cast<size_t>(found - order.begin());
        EXPECT_GE(index, last);  // table order, nothing twice
        last = index + 1;
        const std::wstring& path = entry.item->helpText;
        ASSERT_FALSE(path.empty());
        EXPECT_EQ(L'\\', path.back());
    }
    auto windows = ItemOf(folders, L"&Windows");
    ASSERT_TRUE(windows);
    wchar_t directory[MAX_PATH];
    ::GetWindowsDirectoryW(directory, MAX_PATH);
    EXPECT_EQ(0, ::lstrcmpiW((std::wstring(directory) + L"\\").c_str(), windows->helpText.c_str()));
    auto documents = ItemOf(folders, L"My &Documents");
    ASSERT_TRUE(documents);
    EXPECT_EQ(7, documents->iconIndex);
    EXPECT_EQ('d', documents->mnemonic);
    host->CloseAll();
}

TEST_F(SystemFoldersMenuTest, AVideoFolderThatCannotBeResolvedIsLeftOut) {
    // Make the video folder lookup fail for this profile.
    QuelvarTest::ScopedUserShellFolder video(L"My Video", temp.Path() + L"NoVideos");
    if (QuelvarTest::ShellFindsMissingFolders(CSIDL_MYVIDEO)) {
        GTEST_SKIP()
            << "this system's SHGetSpecialFolderPathW reports the missing folder as found (Wine does; "
               "Windows fails the call when the folder does not exist and creation is not asked for)";
    }
    HMENU main = OpenMainSubmenu();
    HMENU folders = OpenEntry(main, L"&System Folders");
    const auto labels = host->Labels(folders);
    EXPECT_EQ(labels.end(), std::find(labels.begin(), labels.end(), L"My &Video"));
    EXPECT_NE(labels.end(), std::find(labels.begin(), labels.end(), L"&Windows"));
    host->CloseAll();
}

TEST_F(SystemFoldersMenuTest, TheKeyDCyclesBetweenDocumentsAndDesktop) {
    HMENU main = OpenMainSubmenu();
    HMENU folders = OpenEntry(main, L"&System Folders");
    const int documents = PositionOf(folders, L"My &Documents");
    const int desktop = PositionOf(folders, L"&Desktop");
    ASSERT_GE(documents, 0);
    ASSERT_GE(desktop, 0);
    // The highlight as the menu keeps it in the entries' states.
    auto setState = [folders](int position, UINT state) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_STATE;
        info.fState = state;
        ::SetMenuItemInfoW(folders, static_cast<UINT>(position), TRUE, &info);
    };
    for (int position = 0; position < ::GetMenuItemCount(folders); ++position) setState(position, 0);
    LRESULT result = 0;
    ASSERT_EQ(S_OK, host->Handler()->HandleMenuMsg2(WM_MENUCHAR, MAKEWPARAM(L'D', MF_POPUP),
                                                    reinterpret_cast<LPARAM>(folders), &result));
    EXPECT_EQ(MAKELRESULT(documents, MNC_SELECT), result);
    setState(documents, MFS_HILITE);
    ASSERT_EQ(S_OK, host->Handler()->HandleMenuMsg2(WM_MENUCHAR, MAKEWPARAM(L'd', MF_POPUP),
                                                    reinterpret_cast<LPARAM>(folders), &result));
    EXPECT_EQ(MAKELRESULT(desktop, MNC_SELECT), result);
    host->CloseAll();
}

TEST_F(SystemFoldersMenuTest, ChoosingAFolderWithoutABrowserDoesNothingButTheItemMenuOpensANewWindow) {
    HMENU main = OpenMainSubmenu();
    HMENU folders = OpenEntry(main, L"&System Folders");
    auto windows = ItemOf(folders, L"&Windows");
    ASSERT_TRUE(windows);
    // Choosing navigates the host only; with no browser there is a new window.
    windows->Execute(Navigation::Target{host->Window()});
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"explore", launches[0].verb);
    launches.clear();

    auto shown = RightClick(folders, L"&Windows", L"DOS Prompt Here");
    ASSERT_EQ(7u, shown.size());
    EXPECT_EQ(L"Open Folder", shown[0].text);
    EXPECT_TRUE(shown[0].isDefault);
    EXPECT_EQ(L"Cancel", shown[6].text);
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"cmd.exe", launches[0].file);
    EXPECT_EQ(windows->helpText, launches[0].directory);
    host->CloseAll();
}
