// The main submenu behind "Quelvar": its layout on a fresh install, the
// favorites section in place, and the reduced form for a newer data file.
#include "MenuTestSupport.h"

#include <atomic>
#include <thread>

#include "data/DataFile.h"
#include "data/Records.h"
#include "shellext/GotoFavorite.h"

using namespace Lumo::ShellExt;
using namespace Lumo::Menu;

using namespace MenuTest;

namespace {

class MainMenuTest : public MenuFixture {};

// Writes a data file of data version 4: the current layout with a newer
// release number, which this release must not touch.
std::string NewerReleaseFile(Lumo::Data::DataCenter& center) {
    auto data = center.Load();
    data->favorites->folders = {L"C:\\Kept"};
    data->dataVersion = 4;
    center.Save(*data);
    return QuelvarTest::ReadFileBytes(center.GetDataFilePath());
}

}  // namespace

TEST_F(MainMenuTest, FreshInstallShowsTheFixedEntriesInOrder) {
    HMENU main = OpenMainSubmenu();
    ASSERT_NE(nullptr, main);
    EXPECT_EQ((std::vector<std::wstring>{L"", L"Navigate &History", L"-", L"&Add Folder to Favorites",
                                         L"Shell &Tools", L"-", L"&System Folders", L"-", L"&Options..."}),
              host->Labels(main));
    // The first entry takes no space; history and system folders fill on opening.
    MEASUREITEMSTRUCT top = host->Measure(main, 0);
    EXPECT_EQ(0u, top.itemWidth);
    EXPECT_EQ(0u, top.itemHeight);
    HMENU history = OpenEntry(main, L"Navigate &History");
    EXPECT_EQ(std::vector<std::wstring>{L"(Empty)"}, host->Labels(history));
    const auto entries = host->Entries(main);
    EXPECT_TRUE(entries[1].submenu && entries[4].submenu && entries[6].submenu);
    EXPECT_FALSE(entries[3].submenu);
    // The Quelvar entry shows its name; its status text carries the version.
    auto quelvar = ItemOf(host->Menu(), L"Quelvar");
    ASSERT_TRUE(quelvar);
    EXPECT_EQ(L"Quelvar v1.5.1.3", quelvar->helpText);
    EXPECT_EQ(1, quelvar->iconIndex);
    host->CloseAll();
}

TEST_F(MainMenuTest, FavoritesSitBetweenTheHistoryAndTheAddEntry) {
    StoreFavorites({L"C:\\One", L"C:\\Two"});
    HMENU main = OpenMainSubmenu();
    EXPECT_EQ((std::vector<std::wstring>{L"", L"Navigate &History", L"-", L"C:\\One", L"C:\\Two", L"-",
                                         L"&Add Folder to Favorites", L"Shell &Tools", L"-",
                                         L"&System Folders", L"-", L"&Options..."}),
              host->Labels(main));
    // A second opening of the same handler's submenu after closing shows the
    // same entries once.
    host->CloseAll();
    main = host->OpenQuelvarSubmenu();
    EXPECT_EQ(12u, host->Labels(main).size());
    host->CloseAll();
}

TEST_F(MainMenuTest, ADataFileOfANewerReleaseGivesTheReducedSubmenuAndStaysUntouched) {
    const std::string before = NewerReleaseFile(Center());
    HMENU main = OpenMainSubmenu();
    EXPECT_EQ((std::vector<std::wstring>{L"This version is too old, please update to latest version", L"-",
                                         L"&Options..."}),
              host->Labels(main));
    auto item = ItemOf(main, L"This version is too old, please update to latest version");
    ASSERT_TRUE(item);
    EXPECT_EQ(18, item->kind);
    EXPECT_EQ(
        L"This version is too old, please update to latest version, left click to goto Tarvolin Software "
        L"website",
        item->helpText);
    host->CloseAll();
    EXPECT_EQ(before, DataFileBytes());
}

// A damaged data file gives the menu of a fresh install and a copy of its
// bytes beside it; a file another process holds gives the menu without the
// entries that need data, and is left as it is.
TEST_F(MainMenuTest, ADamagedFileStartsAfreshAndAHeldFileLeavesOutTheDataEntries) {
    const std::vector<std::wstring> fresh{L"",
                                          L"Navigate &History",
                                          L"-",
                                          L"&Add Folder to Favorites",
                                          L"Shell &Tools",
                                          L"-",
                                          L"&System Folders",
                                          L"-",
                                          L"&Options..."};
    const std::wstring path = Center().GetDataFilePath();
    QuelvarTest::WriteFileBytes(path, "not a data file");
    HMENU main = OpenMainSubmenu();
    EXPECT_EQ(fresh, host->Labels(main));
    EndContextMenu();
    EXPECT_EQ("not a data file", QuelvarTest::ReadFileBytes(path + L".damaged"));

    const std::wstring folder = path.substr(0, path.size() - std::wstring(L"Data.qvd").size());
    Lumo::Data::DataCenter impatient(folder, 50);
    Lumo::Data::DataCenter* original = Lumo::Data::DataCenter::Instance();
    Lumo::Data::DataCenter::SetInstance(&impatient);
    const std::string before = QuelvarTest::ReadFileBytes(path);
    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        Lumo::Data::DataFileLock lock(path);
        held = true;
        while (!release) ::Sleep(1);
    });
    while (!held) ::Sleep(1);
    main = OpenMainSubmenu();
    EXPECT_EQ(
        (std::vector<std::wstring>{L"", L"Shell &Tools", L"-", L"&System Folders", L"-", L"&Options..."}),
        host->Labels(main));
    EndContextMenu();
    release = true;
    holder.join();
    Lumo::Data::DataCenter::SetInstance(original);
    EXPECT_EQ(before, QuelvarTest::ReadFileBytes(path));
}
