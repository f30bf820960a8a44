// The favorites section of the main submenu: the top-level limit and
// "&More Favorites", sorting, labels, the add entry for each kind of
// selection, and choosing a favorite (network shares and drives, missing
// folders, no host window, a real common file dialog).
#include "MenuTestSupport.h"
#include "support/FileDialogDriver.h"

#include <commdlg.h>

#include <functional>

#include "data/Records.h"
#include "menu/FavoritesMenu.h"
#include "shellext/GotoFavorite.h"
#include "navigation/Navigation.h"

using namespace ShellExt;
using namespace Menu;

using namespace MenuTest;
using QuelvarTest::MessageBoxDriver;
using QuelvarTest::ShellHost;

namespace {

const std::vector<std::wstring> kOkCancel = {L"OK", L"Cancel"};
const std::vector<std::wstring> kYesNo = {L"Yes", L"No"};
const std::vector<std::wstring> kOkOnly = {L"OK"};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Both name the same folder: case and a trailing backslash do not count.
bool SamePath(std::wstring a, std::wstring b) {
    while (!a.empty() && a.back() == L'\\') a.pop_back();
    while (!b.empty() && b.back() == L'\\') b.pop_back();
    return ::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

std::vector<std::wstring> Numbered(int count) {
    std::vector<std::wstring> folders;
    for (int i = 1; i <= count; ++i) folders.push_back(L"C:\\Fav" + std::to_wstring(100 + i).substr(1));
    return folders;
}

class FavoritesMenuTest : public MenuFixture {
protected:
    std::wstring MakeFolder(const std::wstring& name) {
        std::wstring path = temp.File(name);
        EXPECT_TRUE(::CreateDirectoryW(path.c_str(), nullptr)) << Narrow(path);
        return path;
    }
    std::wstring MakeFile(const std::wstring& name) {
        std::wstring path = temp.File(name);
        QuelvarTest::WriteFileBytes(path, "text");
        return path;
    }
    // The labels of the favorites section: from the first entry after the
    // history separator up to the add entry (which is not included).
    std::vector<std::wstring> Section(HMENU main) {
        std::vector<std::wstring> labels = host->Labels(main);
        std::vector<std::wstring> section;
        EXPECT_GE(labels.size(), 4u);
        EXPECT_EQ(L"-", labels.size() > 2 ? labels[2] : L"") << "the history separator";
        for (size_t i = 3; i < labels.size() && labels[i].rfind(L"&Add Folder", 0) != 0; ++i) {
            section.push_back(labels[i]);
        }
        return section;
    }
    std::shared_ptr<OneFavFolder> Favorite(HMENU menu, const std::wstring& label) {
        auto favorite = std::dynamic_pointer_cast<OneFavFolder>(ItemOf(menu, label));
        EXPECT_TRUE(favorite) << "no favorite " << Narrow(label);
        return favorite;
    }
    // The add entry with whichever of its two labels it carries.
    std::shared_ptr<AddFavFolder> AddEntry(HMENU menu, ShellHost::Entry* where = nullptr) {
        for (const auto& entry : host->Entries(menu)) {
            if (entry.item && entry.item->kind == 12) {
                if (where) *where = entry;
                return std::static_pointer_cast<AddFavFolder>(entry.item);
            }
        }
        ADD_FAILURE() << "no add entry";
        return nullptr;
    }
    // A right-click on the selected items of the temp folder, with the Quelvar submenu opened.
    HMENU OpenForSelection(const std::vector<std::wstring>& names) {
        host->CreateHandler();
        EXPECT_EQ(S_OK, host->InitializeSelection(names));
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), host->QueryContextMenu());
        return host->OpenQuelvarSubmenu();
    }
    // The message box number `index` since the last ClearBoxes.
    void ExpectBox(size_t index, const std::wstring& text, const std::vector<std::wstring>& buttons) {
        ASSERT_LT(index, boxes.Seen().size());
        EXPECT_EQ(L"Quelvar", boxes.Seen()[index].caption);
        EXPECT_EQ(text, boxes.Seen()[index].text);
        EXPECT_EQ(buttons, boxes.Seen()[index].buttons);
        EXPECT_FALSE(boxes.Seen()[index].hasIcon);
    }
    void ClearBoxes() { boxes.Clear(); }
    static std::wstring MissingQuestion(const std::wstring& folder) {
        return L"\"" + folder + L"\" not exists.\nDo you want to remove it from the favorite list?";
    }

    MessageBoxDriver boxes;
};

}  // namespace

// Section layout ----------------------------------------------------------------------------------

TEST_F(FavoritesMenuTest, TwentyFavoritesWithLimitFifteenPutTheRestUnderMoreFavoritesInOrder) {
    const auto folders = Numbered(20);
    StoreFavorites(folders);
    ChangeUserSettings([](Data::UserSettings& settings) {
        settings.limitTopFavorites = true;
        settings.topFavoriteLimit = 15;
    });
    HMENU main = OpenMainSubmenu();
    std::vector<std::wstring> expected(folders.begin(), folders.begin() + 15);
    expected.push_back(L"&More Favorites");
    expected.push_back(L"-");
    EXPECT_EQ(expected, Section(main));
    for (int j = 0; j < 15; ++j) EXPECT_EQ(j, Favorite(main, folders[j])->favoriteIndex);

    auto more = ItemOf(main, L"&More Favorites");
    ASSERT_TRUE(more);
    EXPECT_EQ(11, more->kind);
    EXPECT_EQ(L"More favorites", more->helpText);
    EXPECT_EQ(23, more->iconIndex);
    EXPECT_EQ('m', more->mnemonic);
    EXPECT_TRUE(more->Has(OddBase::ItemHasSubmenu));
    EXPECT_FALSE(more->Has(OddBase::ItemFillOnOpen)) << "filled while the main submenu is built";

    HMENU rest = OpenEntry(main, L"&More Favorites");
    EXPECT_EQ(std::vector<std::wstring>(folders.begin() + 15, folders.end()), host->Labels(rest));
    for (int j = 15; j < 20; ++j) EXPECT_EQ(j, Favorite(rest, folders[j])->favoriteIndex);
    host->CloseAll();
}

TEST_F(FavoritesMenuTest, WithoutTheLimitAllTwentyAreAtTopLevel) {
    const auto folders = Numbered(20);
    StoreFavorites(folders);
    ChangeUserSettings([](Data::UserSettings& settings) {
        settings.limitTopFavorites = false;
        settings.topFavoriteLimit = 15;
    });
    HMENU main = OpenMainSubmenu();
    std::vector<std::wstring> expected = folders;
    expected.push_back(L"-");
    EXPECT_EQ(expected, Section(main));
    EXPECT_FALSE(ItemOf(main, L"&More Favorites"));
    host->CloseAll();
}

// A limit of 0, and a negative one that only a damaged or hand-edited file can
// hold, put every favorite under "&More Favorites".
class FavoritesLimitTest : public FavoritesMenuTest, public ::testing::WithParamInterface<int> {};

TEST_P(FavoritesLimitTest, NoFavoriteAtTopLevelAndAllUnderMoreFavorites) {
    const auto folders = Numbered(20);
    StoreFavorites(folders);
    const int limit = GetParam();
    ChangeUserSettings([limit](Data::UserSettings& settings) {
        settings.limitTopFavorites = true;
        settings.topFavoriteLimit = limit;
    });
    HMENU main = OpenMainSubmenu();
    EXPECT_EQ((std::vector<std::wstring>{L"&More Favorites", L"-"}), Section(main));
    HMENU rest = OpenEntry(main, L"&More Favorites");
    ASSERT_NE(nullptr, rest);
    EXPECT_EQ(folders, host->Labels(rest));
    for (int j = 0; j < 20; ++j) EXPECT_EQ(j, Favorite(rest, folders[j])->favoriteIndex);
    host->CloseAll();
}

INSTANTIATE_TEST_SUITE_P(Limits, FavoritesLimitTest, ::testing::Values(0, -3), [](const auto& info) {
    return info.param < 0 ? std::string("Negative") : std::string("Zero");
});

TEST_F(FavoritesMenuTest, NoFavoritesLeaveNoSectionAtAll) {
    HMENU main = OpenMainSubmenu();
    EXPECT_TRUE(Section(main).empty());
    host->CloseAll();
}

TEST_F(FavoritesMenuTest, SortingByPathNameUsesCodeUnitOrderAndKeepsTheStoredOrder) {
    const std::vector<std::wstring> stored = {L"b", L"C:\\x", L"a"};
    StoreFavorites(stored);
    ChangeSortMode(Data::SortByPathName);
    HMENU main = OpenMainSubmenu();
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\x", L"a", L"b", L"-"}), Section(main));
    EXPECT_EQ(0, Favorite(main, L"C:\\x")->favoriteIndex);
    EXPECT_EQ(1, Favorite(main, L"a")->favoriteIndex);
    EXPECT_EQ(2, Favorite(main, L"b")->favoriteIndex);
    EXPECT_EQ(stored, StoredFavorites());
    host->CloseAll();
}

TEST_F(FavoritesMenuTest, WithoutSortingTheStoredOrderIsShown) {
    const std::vector<std::wstring> stored = {L"b", L"C:\\x", L"a"};
    StoreFavorites(stored);
    HMENU main = OpenMainSubmenu();
    EXPECT_EQ((std::vector<std::wstring>{L"b", L"C:\\x", L"a", L"-"}), Section(main));
    host->CloseAll();
}

TEST_F(FavoritesMenuTest, AnAmpersandIsDoubledInTheLabelOnlyAndGivesNoMnemonic) {
    StoreFavorites({L"C:\\R&D"});
    HMENU main = OpenMainSubmenu();
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\R&&D", L"-"}), Section(main));
    auto favorite = Favorite(main, L"C:\\R&&D");
    ASSERT_TRUE(favorite);
    EXPECT_EQ(10, favorite->kind);
    EXPECT_EQ(L"C:\\R&D", favorite->helpText);
    EXPECT_EQ(L"C:\\R&D", favorite->Folder());
    EXPECT_EQ(-1, favorite->iconIndex);
    EXPECT_EQ(0, favorite->flags);
    EXPECT_EQ(OddBase::kNoMnemonic, favorite->mnemonic);
    // The status text is the folder as stored.
    host->Draw(main, static_cast<UINT>(PositionOf(main, L"C:\\R&&D")), ODS_SELECTED, 200, 20);
    EXPECT_EQ(L"C:\\R&D", host->HelpText());
    host->CloseAll();
}

// The add entry -----------------------------------------------------------------------------------

TEST_F(FavoritesMenuTest, TwoFoldersAndAFileAskFirstThenAddBoth) {
    const std::wstring alpha = MakeFolder(L"Alpha");
    const std::wstring beta = MakeFolder(L"Beta");
    const std::wstring note = MakeFile(L"note.txt");
    HMENU main = OpenForSelection({alpha, note, beta});
    ShellHost::Entry where;
    auto add = AddEntry(main, &where);
    ASSERT_TRUE(add);
    EXPECT_EQ(L"&Add Folders to Favorites", add->label);
    EXPECT_EQ(L"Add 2 selected folders to favorites", add->helpText);
    EXPECT_EQ(2, add->iconIndex);
    EXPECT_EQ('a', add->mnemonic);
    EXPECT_FALSE(add->Has(OddBase::ItemDisabled));
    EXPECT_FALSE(where.state & MFS_DISABLED);
    EXPECT_EQ((std::vector<std::wstring>{alpha, beta}), add->folders);
    host->CloseAll();

    // Cancel adds nothing and says nothing more.
    boxes.Answer(IDCANCEL);
    add->Execute(Navigation::Target{host->Window()});
    ASSERT_EQ(1u, boxes.Seen().size());
    ExpectBox(0, L"More than one folders are selected, do you want to add them all to favorite list?",
              kOkCancel);
    EXPECT_EQ(nullptr, boxes.Seen()[0].owner);
    EXPECT_TRUE(StoredFavorites().empty());

    // OK adds both, in selection order.
    ClearBoxes();
    boxes.Answer(IDOK);
    boxes.Answer(IDOK);
    add->Execute(Navigation::Target{host->Window()});
    ASSERT_EQ(2u, boxes.Seen().size());
    ExpectBox(1, L"Folders added successfully", kOkOnly);
    EXPECT_EQ(nullptr, boxes.Seen()[1].owner);
    EXPECT_EQ((std::vector<std::wstring>{alpha, beta}), StoredFavorites());

    // Again: nothing new to add.
    ClearBoxes();
    boxes.Answer(IDOK);
    boxes.Answer(IDOK);
    add->Execute(Navigation::Target{host->Window()});
    ASSERT_EQ(2u, boxes.Seen().size());
    ExpectBox(1, L"These folders had already been added", kOkOnly);
    EXPECT_EQ((std::vector<std::wstring>{alpha, beta}), StoredFavorites());
}

TEST_F(FavoritesMenuTest, OneSelectedFolderIsNamedInTheHelpTextAndAddedWithoutAQuestion) {
    const std::wstring alpha = MakeFolder(L"Alpha");
    const std::wstring note = MakeFile(L"note.txt");
    HMENU main = OpenForSelection({note, alpha});
    auto add = AddEntry(main);
    ASSERT_TRUE(add);
    EXPECT_EQ(L"&Add Folder to Favorites", add->label);
    EXPECT_EQ(L"Add \"" + alpha + L"\" to favorites", add->helpText);
    EXPECT_FALSE(add->Has(OddBase::ItemDisabled));
    host->CloseAll();
    add->Execute(Navigation::Target{host->Window()});
    ASSERT_EQ(1u, boxes.Seen().size());
    ExpectBox(0, L"Folder added successfully", kOkOnly);
    EXPECT_EQ(std::vector<std::wstring>{alpha}, StoredFavorites());
}

TEST_F(FavoritesMenuTest, AShortcutToAFolderIsNotAFolderToAdd) {
    const std::wstring alpha = MakeFolder(L"Alpha");
    const std::wstring beta = MakeFolder(L"Beta");
    const std::wstring link = temp.File(L"Alpha.lnk");
    QuelvarTest::CreateShortcut(link, alpha);

    HMENU main = OpenForSelection({link});
    ShellHost::Entry where;
    auto add = AddEntry(main, &where);
    ASSERT_TRUE(add);
    EXPECT_EQ(L"&Add Folder to Favorites", add->label);
    EXPECT_EQ(L"", add->helpText);
    EXPECT_TRUE(add->Has(OddBase::ItemDisabled));
    EXPECT_TRUE(where.state & MFS_DISABLED);
    EXPECT_TRUE(add->folders.empty());
    EndContextMenu();

    // Beside a real folder the shortcut is skipped and the folder counts alone.
    main = OpenForSelection({link, beta});
    add = AddEntry(main);
    ASSERT_TRUE(add);
    EXPECT_EQ(L"&Add Folder to Favorites", add->label);
    EXPECT_EQ(L"Add \"" + beta + L"\" to favorites", add->helpText);
    EXPECT_FALSE(add->Has(OddBase::ItemDisabled));
    EXPECT_EQ(std::vector<std::wstring>{beta}, add->folders);
    host->CloseAll();
}

TEST_F(FavoritesMenuTest, OnlyFilesSelectedDisableTheAddEntry) {
    const std::wstring note = MakeFile(L"note.txt");
    const std::wstring other = MakeFile(L"other.txt");
    HMENU main = OpenForSelection({note, other});
    ShellHost::Entry where;
    auto add = AddEntry(main, &where);
    ASSERT_TRUE(add);
    EXPECT_EQ(L"&Add Folder to Favorites", add->label);
    EXPECT_EQ(L"", add->helpText);
    EXPECT_TRUE(add->Has(OddBase::ItemDisabled));
    EXPECT_TRUE(where.state & MFS_DISABLED);
    host->CloseAll();
}

TEST_F(FavoritesMenuTest, ABackgroundClickAddsTheFolderOnceAndThenSaysSo) {
    std::wstring folder = temp.Path();
    folder.pop_back();
    HMENU main = OpenMainSubmenu(folder);
    auto add = AddEntry(main);
    ASSERT_TRUE(add);
    EXPECT_EQ(L"&Add Folder to Favorites", add->label);
    EXPECT_EQ(L"Add \"" + folder + L"\" to favorites", add->helpText);
    EXPECT_FALSE(add->Has(OddBase::ItemDisabled));
    EXPECT_EQ(folder, host->Object()->Context()->FolderPath());
    EXPECT_TRUE(add->folders.empty());
    host->CloseAll();

    add->Execute(Navigation::Target{host->Window()});
    add->Execute(Navigation::Target{host->Window()});
    ASSERT_EQ(2u, boxes.Seen().size());
    ExpectBox(0, L"Folder added successfully", kOkOnly);
    ExpectBox(1, L"This folder had already been added", kOkOnly);
    EXPECT_EQ(nullptr, boxes.Seen()[0].owner);
    EXPECT_EQ(std::vector<std::wstring>{folder}, StoredFavorites());
}

// Choosing a favorite -----------------------------------------------------------------------------

TEST_F(FavoritesMenuTest, AMissingFolderAnsweredYesIsRemovedEvenWhenShownSorted) {
    const std::wstring bravo = MakeFolder(L"bravo");
    const std::wstring charlie = MakeFolder(L"charlie");
    const std::wstring alpha = temp.File(L"alpha");  // never created
    // Stored position 1, shown first.
    StoreFavorites({bravo, alpha, charlie});
    ChangeSortMode(Data::SortByPathName);
    HMENU main = OpenMainSubmenu();
    EXPECT_EQ((std::vector<std::wstring>{alpha, bravo, charlie, L"-"}), Section(main));
    auto missing = Favorite(main, alpha);
    ASSERT_TRUE(missing);
    host->CloseAll();

    boxes.Answer(IDYES);
    missing->Execute(Navigation::Target{host->Window()});
    ASSERT_EQ(1u, boxes.Seen().size());
    ExpectBox(0, MissingQuestion(alpha), kYesNo);
    EXPECT_EQ((std::vector<std::wstring>{bravo, charlie}), StoredFavorites());
    EXPECT_TRUE(launches.empty());
    EXPECT_TRUE(StoredHistory().empty());
}

TEST_F(FavoritesMenuTest, AMissingFolderAnsweredNoStays) {
    const std::wstring gone = temp.File(L"gone");
    StoreFavorites({L"C:\\Other", gone});
    HMENU main = OpenMainSubmenu();
    auto missing = Favorite(main, gone);
    ASSERT_TRUE(missing);
    host->CloseAll();
    const std::string before = DataFileBytes();
    boxes.Answer(IDNO);
    missing->Execute(Navigation::Target{host->Window()});
    ASSERT_EQ(1u, boxes.Seen().size());
    ExpectBox(0, MissingQuestion(gone), kYesNo);
    EXPECT_EQ(before, DataFileBytes());
    EXPECT_TRUE(launches.empty());
}

TEST_F(FavoritesMenuTest, AnExistingFolderWithoutAHostBrowserOpensANewWindowAndIsRemembered) {
    const std::wstring alpha = MakeFolder(L"Alpha");
    StoreFavorites({alpha});
    StoreHistory({L"C:\\Earlier"});
    HMENU main = OpenMainSubmenu();
    auto favorite = Favorite(main, alpha);
    ASSERT_TRUE(favorite);
    // Chosen as the shell does it: highlighted, menu closed, then invoked.
    host->Draw(main, static_cast<UINT>(PositionOf(main, alpha)), ODS_SELECTED, 200, 20);
    host->CloseAll();
    ASSERT_EQ(S_OK, host->Invoke(0));
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"explore", launches[0].verb);
    EXPECT_EQ(alpha, launches[0].file);
    EXPECT_EQ(L"", launches[0].parameters);
    EXPECT_EQ(SW_SHOW, launches[0].show);
    EXPECT_EQ((std::vector<std::wstring>{alpha, L"C:\\Earlier"}), StoredHistory());
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_TRUE(network.used.empty()) << "a local drive needs no connection";
}

TEST_F(FavoritesMenuTest, AShareWhoseConnectionFailsDoesNothingAtAll) {
    const std::wstring share = L"\\\\qv-nowhere\\share\\Folder";
    StoreFavorites({share});
    network.useResult = ERROR_CANCELLED;
    HMENU main = OpenMainSubmenu();
    auto favorite = Favorite(main, share);
    ASSERT_TRUE(favorite);
    host->CloseAll();
    const std::string before = DataFileBytes();
    favorite->Execute(Navigation::Target{host->Window()});
    EXPECT_EQ(std::vector<std::wstring>{L"|" + share}, network.used) << "connected without a drive letter";
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_TRUE(launches.empty());
    EXPECT_EQ(before, DataFileBytes());
}

TEST_F(FavoritesMenuTest, AConnectedServerShareIsOpened) {
    // A server share counts as reachable once connected, whether or not the
    // file system can see it.
    const std::wstring share = L"\\\\qv-server\\share";
    StoreFavorites({share});
    network.useResult = NO_ERROR;
    HMENU main = OpenMainSubmenu();
    auto favorite = Favorite(main, share);
    ASSERT_TRUE(favorite);
    host->CloseAll();
    favorite->Execute(Navigation::Target{host->Window()});
    EXPECT_EQ(std::vector<std::wstring>{L"|" + share}, network.used);
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(share, launches[0].file);
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(FavoritesMenuTest, ARememberedDriveIsReconnectedBeforeItIsOpened) {
    // Lower case on purpose: the drive is looked up upper-cased.
    const std::wstring folder = L"q:\\Projects";
    StoreFavorites({folder});
    network.connectionStatus[L"Q:"] = ERROR_CONNECTION_UNAVAIL;
    network.remembered = {{L"P:", L"\\\\qv-server\\other"}, {L"Q:", L"\\\\qv-server\\projects"}};
    HMENU main = OpenMainSubmenu();
    auto favorite = Favorite(main, folder);
    ASSERT_TRUE(favorite);
    host->CloseAll();
    favorite->Execute(Navigation::Target{host->Window()});
    EXPECT_EQ(std::vector<std::wstring>{L"Q:|\\\\qv-server\\projects"}, network.used);
    // No existence test after the reconnection: the folder is opened.
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"explore", launches[0].verb);
    EXPECT_EQ(folder, launches[0].file);
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(FavoritesMenuTest, AnUnavailableDriveThatIsNotRememberedIsAMissingFolder) {
    const std::wstring folder = L"Q:\\Projects";
    StoreFavorites({folder});
    network.connectionStatus[L"Q:"] = ERROR_CONNECTION_UNAVAIL;
    network.remembered = {{L"P:", L"\\\\qv-server\\other"}};
    HMENU main = OpenMainSubmenu();
    auto favorite = Favorite(main, folder);
    ASSERT_TRUE(favorite);
    host->CloseAll();
    boxes.Answer(IDNO);
    favorite->Execute(Navigation::Target{host->Window()});
    EXPECT_TRUE(network.used.empty());
    ASSERT_EQ(1u, boxes.Seen().size());
    ExpectBox(0, MissingQuestion(folder), kYesNo);
    EXPECT_TRUE(launches.empty());
    EXPECT_EQ(std::vector<std::wstring>{folder}, StoredFavorites());
}

TEST_F(FavoritesMenuTest, NetworkTroubleOnADriveEndsSilently) {
    const std::wstring folder = L"Q:\\Projects";
    StoreFavorites({folder});
    HMENU main = OpenMainSubmenu();
    auto favorite = Favorite(main, folder);
    ASSERT_TRUE(favorite);
    host->CloseAll();

    // The reconnection fails or is cancelled.
    network.connectionStatus[L"Q:"] = ERROR_CONNECTION_UNAVAIL;
    network.remembered = {{L"Q:", L"\\\\qv-server\\projects"}};
    network.useResult = ERROR_CANCELLED;
    favorite->Execute(Navigation::Target{host->Window()});
    EXPECT_EQ(1u, network.used.size());
    // The remembered connections cannot be read.
    network.rememberedOk = false;
    network.useResult = NO_ERROR;
    favorite->Execute(Navigation::Target{host->Window()});
    EXPECT_EQ(1u, network.used.size());
    // An answer the favorites do not expect.
    network.connectionStatus[L"Q:"] = ERROR_NO_NETWORK;
    favorite->Execute(Navigation::Target{host->Window()});

    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_TRUE(launches.empty());
    EXPECT_EQ(std::vector<std::wstring>{folder}, StoredFavorites());
}

TEST_F(FavoritesMenuTest, AConnectedNetworkDriveStillChecksTheFolder) {
    const std::wstring folder = L"Q:\\Projects";
    StoreFavorites({folder});
    network.connectionStatus[L"Q:"] = NO_ERROR;
    HMENU main = OpenMainSubmenu();
    auto favorite = Favorite(main, folder);
    ASSERT_TRUE(favorite);
    host->CloseAll();
    boxes.Answer(IDNO);
    favorite->Execute(Navigation::Target{host->Window()});
    ASSERT_EQ(1u, boxes.Seen().size());
    EXPECT_EQ(MissingQuestion(folder), boxes.Seen()[0].text);
    EXPECT_TRUE(launches.empty());
    EXPECT_TRUE(network.used.empty());
}

TEST_F(FavoritesMenuTest, RemovingAFavoriteAsksFirst) {
    const std::wstring alpha = MakeFolder(L"Alpha");
    StoreFavorites({L"C:\\Before", alpha, L"C:\\After"});
    ChangeSortMode(Data::SortByPathName);
    HMENU main = OpenMainSubmenu();
    auto favorite = Favorite(main, alpha);
    ASSERT_TRUE(favorite);
    host->CloseAll();
    const std::wstring question = L"Do you want to remove \"" + alpha + L"\" from the list?";

    boxes.Answer(IDCANCEL);
    favorite->RemoveFavorite();
    ASSERT_EQ(1u, boxes.Seen().size());
    ExpectBox(0, question, kOkCancel);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\Before", alpha, L"C:\\After"}), StoredFavorites());

    boxes.Answer(IDOK);
    favorite->RemoveFavorite();
    ASSERT_EQ(2u, boxes.Seen().size());
    ExpectBox(1, question, kOkCancel);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\Before", L"C:\\After"}), StoredFavorites());
    // The entry goes away the next time the menu is built.
    EndContextMenu();
    main = OpenMainSubmenu();
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\After", L"C:\\Before", L"-"}), Section(main));
    host->CloseAll();
}

// A real common file dialog ------------------------------------------------------------------------

namespace {

std::wstring DialogFolder(HWND dialog) { return QuelvarTest::FileDialogDriver::CurrentFolder(dialog); }

// Counts the background erasures of one window while it lives.
class EraseCounter {
public:
    explicit EraseCounter(HWND window) : window_(window) {
        current_ = this;
        previous_ = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
    }
    ~EraseCounter() {
        ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        current_ = nullptr;
    }
    EraseCounter(const EraseCounter&) = delete;
    EraseCounter& operator=(const EraseCounter&) = delete;
    int erased = 0;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        EraseCounter* self = current_;
        if (self && message == WM_ERASEBKGND) ++self->erased;
        return ::CallWindowProcW(self ? self->previous_ : ::DefWindowProcW, window, message, wParam, lParam);
    }
    static inline EraseCounter* current_ = nullptr;
    HWND window_;
    WNDPROC previous_ = nullptr;
};

// No message-box driver here: the dialog is a "#32770" window too.
class FavoritesInFileDialogTest : public MenuFixture {};

}  // namespace

TEST_F(FavoritesInFileDialogTest, ChoosingAFavoriteMovesTheDialogRepaintsItAndRecordsTheFolder) {
    const std::wstring alpha = temp.File(L"Alpha");
    ASSERT_TRUE(::CreateDirectoryW(alpha.c_str(), nullptr));
    StoreFavorites({alpha});
    std::wstring start = temp.Path();
    start.pop_back();

    LRESULT answer = 0;
    std::wstring before, after;
    HRESULT invoked = E_FAIL;
    int erased = 0, plainErased = 0;
    QuelvarTest::FileDialogDriver run;
    ASSERT_TRUE(run.Run(start, [&](HWND dialog) {
        answer = ::SendMessageW(dialog, Navigation::kShellBrowserRequest, 0, 0);
        if (!answer) return;
        before = DialogFolder(dialog);
        // The dialog's shell view asks for a context menu of its background.
        HMENU main = OpenMainSubmenu(start);
        const int position = PositionOf(main, alpha);
        if (position < 0) return;
        host->Draw(main, static_cast<UINT>(position), ODS_SELECTED, 200, 20);
        host->CloseAll();
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof(info);
        info.hwnd = dialog;
        info.lpVerb = MAKEINTRESOURCEA(0);
        info.nShow = SW_SHOWNORMAL;
        {
            EraseCounter counter(dialog);
            invoked = host->Handler()->InvokeCommand(&info);
            erased = counter.erased;
        }
        after = DialogFolder(dialog);
        // For comparison: a browse of the dialog alone, back to where it came
        // from, repaints only what the dialog itself invalidates.
        auto* browser = reinterpret_cast<IShellBrowser*>(answer);
        Lumo::Win::UniqueIdList back = QuelvarTest::ParseName(start);
        EraseCounter control(dialog);
        browser->BrowseObject(back.get(), 0);
        plainErased = control.erased;
    })) << "the dialog never finished its set-up";
    if (!answer) GTEST_SKIP() << "this platform's file dialog does not answer the shell-browser request";

    EXPECT_TRUE(SamePath(before, start)) << Narrow(before);
    EXPECT_EQ(S_OK, invoked);
    EXPECT_TRUE(SamePath(after, alpha)) << Narrow(after);
    EXPECT_GT(erased, plainErased) << "the dialog was not repainted";
    EXPECT_TRUE(launches.empty()) << "a new window was opened instead";
    EXPECT_EQ(std::vector<std::wstring>{alpha}, StoredHistory());
}
