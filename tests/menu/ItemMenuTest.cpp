// The small menus that open on a right-click inside the main submenu: a
// favorite's (its entries, identifiers, sort mode and every command), the
// navigate history entry's and a visited folder's, and entries that have none;
// in a real menu loop "Cancel" keeps the main menu open while a command ends it.
#include "MenuTestSupport.h"
#include "data/Records.h"
#include "menu/FavoritesMenu.h"
#include "shellext/GotoFavorite.h"
#include "navigation/Navigation.h"
#include "support/FileDialogDriver.h"
#include "support/ShellBrowserDouble.h"
#include "win/Handle.h"

using namespace ShellExt;
using namespace Menu;

using namespace MenuTest;
using QuelvarTest::MessageBoxDriver;
using QuelvarTest::ShellBrowserDouble;
using QuelvarTest::ShellHost;

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The folders a shell browser double was asked to browse to, by parsing name.
std::vector<std::wstring> Browsed(const ShellBrowserDouble& browser) {
    std::vector<std::wstring> names;
    for (const auto& browse : browser.browses) names.push_back(QuelvarTest::ParsingNameOf(browse.list.get()));
    return names;
}

constexpr wchar_t kBrowserProp[] = L"QuelvarTest.Browser";

LRESULT CALLBACK BrowserHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == Navigation::kShellBrowserRequest) {
        return reinterpret_cast<LRESULT>(::GetPropW(window, kBrowserProp));
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// A window hosting `browser` (it answers the shell-browser request) with a
// plain child, where an item menu of a view inside it would come from.
class BrowserHost {
public:
    explicit BrowserHost(ShellBrowserDouble* browser) {
        static const ATOM atom = [] {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = BrowserHostProc;
            windowClass.hInstance = ::GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"QvItemMenuBrowserHost";
            return ::RegisterClassW(&windowClass);
        }();
        (void)atom;
        frame_ = ::CreateWindowExW(0, L"QvItemMenuBrowserHost", L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                                   nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ::SetPropW(frame_, kBrowserProp, static_cast<IShellBrowser*>(browser));
        inner_ = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 50, 50, frame_, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
    }
    ~BrowserHost() {
        ::RemovePropW(frame_, kBrowserProp);
        ::DestroyWindow(frame_);
    }
    BrowserHost(const BrowserHost&) = delete;
    BrowserHost& operator=(const BrowserHost&) = delete;
    HWND Inner() const { return inner_; }

private:
    HWND frame_ = nullptr;
    HWND inner_ = nullptr;
};

std::vector<std::wstring> Texts(const std::vector<ItemMenuEntry>& entries) {
    std::vector<std::wstring> texts;
    for (const auto& entry : entries) texts.push_back(entry.text);
    return texts;
}

FILETIME LastWrite(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes);
    return attributes.ftLastWriteTime;
}

// Sets the file's last write time far into the past, so that any later write shows.
void AgeFile(const std::wstring& path) {
    Lumo::Win::UniqueFile file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(static_cast<bool>(file));
    SYSTEMTIME old{2001, 1, 1, 1, 12, 0, 0, 0};
    FILETIME time{};
    ::SystemTimeToFileTime(&old, &time);
    ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &time));
}

class ItemMenuTest : public MenuFixture {
protected:
    std::wstring MakeFolder(const std::wstring& name) {
        std::wstring path = temp.File(name);
        EXPECT_TRUE(::CreateDirectoryW(path.c_str(), nullptr)) << Narrow(path);
        return path;
    }
    // Runs the item menu of `item` from `window`, choosing the entry whose text is `choose`.
    std::vector<ItemMenuEntry> ShowFrom(const std::shared_ptr<OddBase>& item, HWND window,
                                        const std::wstring& choose) {
        std::vector<ItemMenuEntry> shown;
        Lumo::WinUi::PopupMenu::SetTracker([&](HMENU popup, HWND) -> UINT {
            shown = ReadItemMenu(popup);
            for (const auto& entry : shown) {
                if (entry.text == choose) return entry.id;
            }
            return 0u;
        });
        Lumo::Win::UniqueWindow menuWindow = QuelvarTest::MenuWindowOwnedBy(window);
        EXPECT_TRUE(menuWindow);
        if (item) item->ShowItemMenu(menuWindow.get());
        Lumo::WinUi::PopupMenu::SetTracker(nullptr);
        return shown;
    }

    MessageBoxDriver boxes;
};

}  // namespace

// A favorite's item menu ----------------------------------------------------------------------------

TEST_F(ItemMenuTest, AFavoritesMenuHasItsEntriesInOrderWithIdentifiersFrom40000) {
    StoreFavorites({L"C:\\Alpha"});
    HMENU main = OpenMainSubmenu();
    const auto shown = RightClick(main, L"C:\\Alpha", L"");
    ASSERT_EQ((std::vector<std::wstring>{L"Open Folder", L"Open Folder in New Window", L"Explore From Here",
                                         L"-", L"DOS Prompt Here", L"-", L"Remove From Favorites", L"-",
                                         L"Sort by", L"-", L"Cancel"}),
              Texts(shown));
    const std::vector<size_t> commands = {0, 1, 2, 4, 6};
    for (size_t i = 0; i < commands.size(); ++i) {
        EXPECT_EQ(40000u + i, shown[commands[i]].id) << Narrow(shown[commands[i]].text);
    }
    EXPECT_EQ(40007u, shown[10].id);
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(i == 0, shown[i].isDefault) << Narrow(shown[i].text);
        EXPECT_FALSE(shown[i].radio) << Narrow(shown[i].text);
    }
    const auto& sortBy = shown[8].submenu;
    ASSERT_EQ((std::vector<std::wstring>{L"Path Name", L"-", L"No Sort"}), Texts(sortBy));
    EXPECT_EQ(40005u, sortBy[0].id);
    EXPECT_EQ(40006u, sortBy[2].id);
    EXPECT_TRUE(sortBy[0].radio);
    EXPECT_TRUE(sortBy[2].radio);
    // The stored mode is NoSort.
    EXPECT_FALSE(sortBy[0].checked);
    EXPECT_TRUE(sortBy[2].checked);
    // Dismissing runs nothing.
    EXPECT_TRUE(launches.empty());
    EXPECT_TRUE(boxes.Seen().empty());
    host->CloseAll();
}

TEST_F(ItemMenuTest, WithSortingByPathNameThatRadioIsChecked) {
    StoreFavorites({L"C:\\Alpha"});
    ChangeSortMode(Data::SortByPathName);
    HMENU main = OpenMainSubmenu();
    const auto shown = RightClick(main, L"C:\\Alpha", L"");
    ASSERT_EQ(11u, shown.size());
    ASSERT_EQ(3u, shown[8].submenu.size());
    EXPECT_TRUE(shown[8].submenu[0].checked);
    EXPECT_FALSE(shown[8].submenu[2].checked);
    host->CloseAll();
}

TEST_F(ItemMenuTest, ChoosingPathNameWritesTheDataFileOnceAndTheNextMenuIsSorted) {
    StoreFavorites({L"C:\\b", L"C:\\a"});
    HMENU main = OpenMainSubmenu();
    const std::wstring file = Center().GetDataFilePath();
    const std::string before = DataFileBytes();
    RightClick(main, L"C:\\b", L"Path Name");
    const std::string once = DataFileBytes();
    EXPECT_NE(before, once);
    EXPECT_EQ(Data::SortByPathName, Center().Load()->settings->sortMode);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\b", L"C:\\a"}), StoredFavorites());

    // The same choice again changes nothing, so nothing is written.
    AgeFile(file);
    const FILETIME aged = LastWrite(file);
    RightClick(main, L"C:\\b", L"Path Name");
    EXPECT_EQ(once, DataFileBytes());
    const FILETIME after = LastWrite(file);
    EXPECT_EQ(0, ::CompareFileTime(&aged, &after)) << "the data file was written again";
    EndContextMenu();
    main = OpenMainSubmenu();
    const auto labels = host->Labels(main);
    ASSERT_GE(labels.size(), 5u);
    EXPECT_EQ(L"C:\\a", labels[3]);
    EXPECT_EQ(L"C:\\b", labels[4]);
    // And back: "No Sort" is a write again.
    RightClick(main, L"C:\\a", L"No Sort");
    EXPECT_EQ(Data::NoSort, Center().Load()->settings->sortMode);
    host->CloseAll();
}

TEST_F(ItemMenuTest, ExploreFromHereStartsAnExplorerRootedAtTheQuotedFolder) {
    StoreFavorites({L"C:\\Program Files"});
    HMENU main = OpenMainSubmenu();
    RightClick(main, L"C:\\Program Files", L"Explore From Here");
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"open", launches[0].verb);
    EXPECT_EQ(L"explorer.exe", launches[0].file);
    EXPECT_EQ(L"/n, /e, /root,\"C:\\Program Files\"", launches[0].parameters);
    EXPECT_EQ(L"", launches[0].directory);
    EXPECT_EQ(SW_SHOWDEFAULT, launches[0].show);
    EXPECT_TRUE(StoredHistory().empty()) << "exploring from here is not a visit";
    host->CloseAll();
}

TEST_F(ItemMenuTest, OpenFolderInNewWindowPutsTheFolderAtTheTopOfTheHistory) {
    StoreFavorites({L"C:\\Alpha"});
    StoreHistory({L"C:\\Newer", L"C:\\Alpha", L"C:\\Oldest"});
    HMENU main = OpenMainSubmenu();
    RightClick(main, L"C:\\Alpha", L"Open Folder in New Window");
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"explore", launches[0].verb);
    EXPECT_EQ(L"C:\\Alpha", launches[0].file);
    EXPECT_EQ(SW_SHOW, launches[0].show);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\Alpha", L"C:\\Newer", L"C:\\Oldest"}), StoredHistory());
    host->CloseAll();
}

TEST_F(ItemMenuTest, DosPromptHereStartsACommandPromptInTheFolder) {
    StoreFavorites({L"C:\\Alpha"});
    HMENU main = OpenMainSubmenu();
    RightClick(main, L"C:\\Alpha", L"DOS Prompt Here");
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"open", launches[0].verb);
    EXPECT_EQ(L"cmd.exe", launches[0].file);
    EXPECT_EQ(L"", launches[0].parameters);
    EXPECT_EQ(L"C:\\Alpha", launches[0].directory);
    EXPECT_EQ(SW_SHOWNORMAL, launches[0].show);
    EXPECT_TRUE(StoredHistory().empty());
    host->CloseAll();
}

TEST_F(ItemMenuTest, CancelRunsNothing) {
    StoreFavorites({L"C:\\Alpha"});
    StoreHistory({L"C:\\Visited"});
    HMENU main = OpenMainSubmenu();
    const std::string before = DataFileBytes();
    const auto shown = RightClick(main, L"C:\\Alpha", L"Cancel");
    EXPECT_EQ(11u, shown.size());
    EXPECT_TRUE(launches.empty());
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(before, DataFileBytes());
    host->CloseAll();
}

TEST_F(ItemMenuTest, RemoveFromFavoritesAsksAndRemovesTheStoredEntry) {
    StoreFavorites({L"C:\\Zulu", L"C:\\Alpha"});
    ChangeSortMode(Data::SortByPathName);
    HMENU main = OpenMainSubmenu();
    boxes.Answer(IDOK);
    RightClick(main, L"C:\\Zulu", L"Remove From Favorites");
    ASSERT_EQ(1u, boxes.Seen().size());
    EXPECT_EQ(L"Quelvar", boxes.Seen()[0].caption);
    EXPECT_EQ(L"Do you want to remove \"C:\\Zulu\" from the list?", boxes.Seen()[0].text);
    EXPECT_EQ((std::vector<std::wstring>{L"OK", L"Cancel"}), boxes.Seen()[0].buttons);
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\Alpha"}, StoredFavorites());
    host->CloseAll();
}

TEST_F(ItemMenuTest, OpenFolderWithoutABrowserOpensANewWindowWithoutChecks) {
    // Not even a missing folder is questioned: a new window is asked for.
    const std::wstring gone = temp.File(L"gone");
    StoreFavorites({gone});
    HMENU main = OpenMainSubmenu();
    RightClick(main, gone, L"Open Folder");
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"explore", launches[0].verb);
    EXPECT_EQ(gone, launches[0].file);
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(std::vector<std::wstring>{gone}, StoredHistory());
    host->CloseAll();
}

TEST_F(ItemMenuTest, OpenFolderWithABrowserAboveGoesThroughTheFavoriteChecks) {
    const std::wstring alpha = MakeFolder(L"Alpha");
    const std::wstring gone = temp.File(L"gone");
    StoreFavorites({alpha, gone});
    HMENU main = OpenMainSubmenu();
    ShellBrowserDouble browser;
    BrowserHost frame(&browser);

    ShowFrom(ItemOf(main, alpha), frame.Inner(), L"Open Folder");
    ASSERT_EQ(1u, Browsed(browser).size());
    EXPECT_EQ(0, ::lstrcmpiW(alpha.c_str(), Browsed(browser)[0].c_str())) << Narrow(Browsed(browser)[0]);
    EXPECT_TRUE(launches.empty());
    EXPECT_EQ(std::vector<std::wstring>{alpha}, StoredHistory());

    // A missing folder is questioned before the browser is touched.
    boxes.Answer(IDNO);
    ShowFrom(ItemOf(main, gone), frame.Inner(), L"Open Folder");
    ASSERT_EQ(1u, boxes.Seen().size());
    EXPECT_EQ(L"\"" + gone + L"\" not exists.\nDo you want to remove it from the favorite list?",
              boxes.Seen()[0].text);
    EXPECT_EQ(1u, Browsed(browser).size());
    EXPECT_TRUE(launches.empty());
    EXPECT_EQ((std::vector<std::wstring>{alpha, gone}), StoredFavorites());
    host->CloseAll();
}

// In a real menu loop --------------------------------------------------------------------------------

class ItemMenuInMenuLoopTest : public ItemMenuTest {
protected:
    // Shows the shell's menu for a background click in the temp folder with
    // one favorite, right-clicks the favorite and answers its item menu with
    // `choose`; `after` runs as the step after the right-click.
    UINT RightClickInLoop(const std::wstring& choose, std::function<void(HMENU main)> after) {
        std::wstring folder = temp.Path();
        folder.pop_back();
        host->CreateHandler();
        EXPECT_EQ(S_OK, host->InitializeBackground(folder));
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), host->QueryContextMenu());
        HMENU main = host->QuelvarSubmenu();
        const UINT quelvar = static_cast<UINT>(host->QuelvarPosition());
        const UINT favorite = 3;  // after the invisible entry, the history and its separator
        Lumo::WinUi::PopupMenu::SetTracker([this, choose](HMENU popup, HWND) -> UINT {
            shown = ReadItemMenu(popup);
            for (const auto& entry : shown) {
                if (entry.text == choose) return entry.id;
            }
            return 0u;
        });
        return host->TrackMenu({
            host->Hover(host->Menu(), quelvar),
            host->Key(VK_RIGHT),
            host->Hover(main, favorite),
            host->RightClick(main, favorite),
            ShellHost::Do([main, after] { after(main); }),
            host->Key(VK_ESCAPE),
            host->Key(VK_ESCAPE),
        });
    }

    std::vector<ItemMenuEntry> shown;
};

TEST_F(ItemMenuInMenuLoopTest, CancelLeavesTheMainMenuOpenWithTheEntryHighlighted) {
    StoreFavorites({L"C:\\Alpha"});
    bool ranAfter = false;
    bool highlighted = false;
    std::wstring label;
    UINT result = RightClickInLoop(L"Cancel", [&](HMENU main) {
        ranAfter = true;
        highlighted = (::GetMenuState(main, 3, MF_BYPOSITION) & MF_HILITE) != 0;
        auto entries = host->Entries(main);
        if (entries.size() > 3) label = entries[3].Label();
    });
    EXPECT_FALSE(host->LoopForcedToEnd());
    EXPECT_EQ(0u, result);
    ASSERT_EQ(11u, shown.size()) << "the favorite's item menu did not open";
    EXPECT_EQ(L"C:\\Alpha", label);
    EXPECT_TRUE(ranAfter) << "the main menu closed";
    EXPECT_TRUE(highlighted);
    EXPECT_EQ(7u, host->StepsRun());
    EXPECT_TRUE(launches.empty());
}

// The menu loop belongs to a real file dialog, which answers the shell-browser
// request: a favorite's "Open Folder" moves that very dialog, while the
// new-window command still opens a window of its own.
TEST_F(ItemMenuInMenuLoopTest, OpenFolderFromAFileDialogsMenuMovesThatDialog) {
    const std::wstring alpha = MakeFolder(L"Alpha");
    const std::wstring start = MakeFolder(L"Start");
    StoreFavorites({alpha});
    struct Case {
        const wchar_t* choose;
        bool movesDialog;
    };
    for (const Case& c : {Case{L"Open Folder", true}, Case{L"Open Folder in New Window", false}}) {
        SCOPED_TRACE(Narrow(c.choose));
        launches.clear();
        LRESULT answer = 0;
        std::wstring after;
        QuelvarTest::FileDialogDriver driver;
        ASSERT_TRUE(driver.Run(start, [&](HWND dialog) {
            answer = ::SendMessageW(dialog, Navigation::kShellBrowserRequest, 0, 0);
            if (!answer) return;
            host->SetMenuOwner(dialog);
            RightClickInLoop(c.choose, [](HMENU) {});
            host->SetMenuOwner(nullptr);
            after = QuelvarTest::FileDialogDriver::CurrentFolder(dialog);
            host->ResetMenu();
            host->ReleaseHandler();
        }));
        if (!answer) GTEST_SKIP() << "this platform's file dialog does not answer the shell-browser request";
        ASSERT_EQ(11u, shown.size()) << "the favorite's item menu did not open";
        if (c.movesDialog) {
            EXPECT_EQ(0, ::lstrcmpiW(alpha.c_str(), after.c_str())) << Narrow(after);
            EXPECT_TRUE(launches.empty()) << "a new window was opened instead";
        } else {
            EXPECT_EQ(0, ::lstrcmpiW(start.c_str(), after.c_str())) << Narrow(after);
            ASSERT_EQ(1u, launches.size());
            EXPECT_EQ(alpha, launches[0].file);
        }
        ASSERT_FALSE(StoredHistory().empty());
        EXPECT_EQ(alpha, StoredHistory().front());
    }
}

TEST_F(ItemMenuInMenuLoopTest, AnyOtherCommandClosesEveryMenuFirst) {
    StoreFavorites({L"C:\\Alpha"});
    bool ranAfter = false;
    UINT result = RightClickInLoop(L"Open Folder in New Window", [&](HMENU) { ranAfter = true; });
    EXPECT_FALSE(host->LoopForcedToEnd());
    EXPECT_EQ(0u, result) << "the right-click must not choose an entry of the shell's menu";
    ASSERT_EQ(11u, shown.size()) << "the favorite's item menu did not open";
    EXPECT_FALSE(ranAfter) << "the main menu stayed open";
    EXPECT_EQ(4u, host->StepsRun());
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"C:\\Alpha", launches[0].file);
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\Alpha"}, StoredHistory());
}

// The history's item menus and entries without one ----------------------------------------------------

TEST_F(ItemMenuTest, NavigateHistoryOpensNothingWithoutHistory) {
    HMENU main = OpenMainSubmenu();
    EXPECT_TRUE(RightClick(main, L"Navigate &History", L"").empty());
    host->CloseAll();
}

TEST_F(ItemMenuTest, NavigateHistoryOpensNothingWithDepthZero) {
    StoreHistory({L"C:\\Visited"});
    ChangeUserSettings([](Data::UserSettings& settings) { settings.historyDepth = 0; });
    HMENU main = OpenMainSubmenu();
    EXPECT_TRUE(RightClick(main, L"Navigate &History", L"Clear History").empty());
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\Visited"}, StoredHistory());
    host->CloseAll();
}

TEST_F(ItemMenuTest, NavigateHistoryOffersClearHistoryWhichEmptiesItWithoutAQuestion) {
    StoreHistory({L"C:\\Newer", L"C:\\Older"});
    HMENU main = OpenMainSubmenu();
    auto shown = RightClick(main, L"Navigate &History", L"Cancel");
    ASSERT_EQ((std::vector<std::wstring>{L"Clear History", L"-", L"Cancel"}), Texts(shown));
    EXPECT_EQ(40000u, shown[0].id);
    EXPECT_EQ(40001u, shown[2].id);
    for (const auto& entry : shown) EXPECT_FALSE(entry.isDefault) << Narrow(entry.text);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\Newer", L"C:\\Older"}), StoredHistory());

    shown = RightClick(main, L"Navigate &History", L"Clear History");
    EXPECT_EQ(3u, shown.size());
    EXPECT_TRUE(StoredHistory().empty());
    EXPECT_TRUE(boxes.Seen().empty());
    host->CloseAll();
}

TEST_F(ItemMenuTest, AVisitedFolderHasTheFiveFolderCommands) {
    StoreHistory({L"C:\\Visited"});
    HMENU main = OpenMainSubmenu();
    HMENU history = OpenEntry(main, L"Navigate &History");
    auto shown = RightClick(history, L"C:\\Visited", L"Explore From Here");
    ASSERT_EQ((std::vector<std::wstring>{L"Open Folder", L"Open Folder in New Window", L"Explore From Here",
                                         L"-", L"DOS Prompt Here", L"-", L"Cancel"}),
              Texts(shown));
    EXPECT_TRUE(shown[0].isDefault);
    EXPECT_EQ(40000u, shown[0].id);
    EXPECT_EQ(40004u, shown[6].id);
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"/n, /e, /root,\"C:\\Visited\"", launches[0].parameters);
    host->CloseAll();
}

TEST_F(ItemMenuTest, TheAddEntryHasNoItemMenu) {
    StoreFavorites({L"C:\\Alpha"});
    HMENU main = OpenMainSubmenu();
    const std::string before = DataFileBytes();
    EXPECT_TRUE(RightClick(main, L"&Add Folder to Favorites", L"Cancel").empty());
    EXPECT_TRUE(launches.empty());
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(before, DataFileBytes());
    host->CloseAll();
}
