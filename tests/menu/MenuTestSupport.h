// Fixture and test doubles of the folder-menu tests: a private data file, the
// shell host, a recorder standing in for the shell launcher, a double of the
// network-connection services, and an answer for item menus.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/DataCenter.h"
#include "menu/NetworkConnections.h"
#include "ui/PopupMenu.h"
#include "support/MessageBoxDriver.h"
#include "support/ShellHost.h"
#include "support/TestSupport.h"

using namespace Lumo::ShellExt;
using namespace Lumo::Menu;

namespace MenuTest {

// One program launch the menus asked for.
struct Launch {
    std::wstring verb, file, parameters, directory;
    int show = 0;
};

// Network services of our own: answers set by the test, calls recorded.
class NetworkDouble : public Lumo::Menu::NetworkConnections {
public:
    DWORD useResult = NO_ERROR;
    std::map<std::wstring, DWORD> connectionStatus;  // drive -> status (default ERROR_NOT_CONNECTED)
    bool rememberedOk = true;
    std::map<std::wstring, std::wstring> remembered;
    std::vector<std::wstring> used;  // "local|remote"

    DWORD UseConnection(HWND, const std::wstring& local, const std::wstring& remote) override {
        used.push_back(local + L"|" + remote);
        return useResult;
    }
    DWORD GetConnection(const std::wstring& local, std::wstring&) override {
        auto found = connectionStatus.find(local);
        return found == connectionStatus.end() ? static_cast<DWORD>(ERROR_NOT_CONNECTED) : found->second;
    }
    bool RememberedConnections(std::map<std::wstring, std::wstring>& out) override {
        out = remembered;
        return rememberedOk;
    }
};

// What an item menu showed.
struct ItemMenuEntry {
    UINT id = 0;
    std::wstring text;  // "-" for a separator
    bool isDefault = false;
    bool checked = false;
    bool radio = false;
    std::vector<ItemMenuEntry> submenu;
};
std::vector<ItemMenuEntry> ReadItemMenu(HMENU menu);

class MenuFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    Lumo::Data::DataCenter& Center() { return *Lumo::Data::DataCenter::Instance(); }
    // Writes the data file: favorites, history (newest first) and settings.
    void StoreFavorites(const std::vector<std::wstring>& folders);
    void StoreHistory(const std::vector<std::wstring>& newestFirst);
    void ChangeUserSettings(const std::function<void(Lumo::Data::UserSettings&)>& change);
    void ChangeSortMode(Lumo::Data::FavoriteSortMode mode);
    std::vector<std::wstring> StoredFavorites();
    std::vector<std::wstring> StoredHistory();
    std::string DataFileBytes();

    // A right-click on the background of `folder` (the temp folder by default),
    // with the Quelvar submenu opened; returns it.
    HMENU OpenMainSubmenu(const std::wstring& folder = std::wstring());
    // Ends the current context menu as a shell does (popups closed, menu
    // destroyed, handler released), so that the next one starts afresh.
    void EndContextMenu();
    // Opens the submenu of the entry labelled `label` in `menu`.
    HMENU OpenEntry(HMENU menu, const std::wstring& label);
    int PositionOf(HMENU menu, const std::wstring& label);
    std::shared_ptr<OddBase> ItemOf(HMENU menu, const std::wstring& label);

    // Right-clicks the entry: runs its item menu, records what it showed, and
    // chooses the command whose text is `choose` ("" dismisses the menu).
    std::vector<ItemMenuEntry> RightClick(HMENU menu, const std::wstring& label, const std::wstring& choose);

    QuelvarTest::TempFolder temp;
    std::unique_ptr<QuelvarTest::EngineScope> engine;
    std::unique_ptr<QuelvarTest::ShellHost> host;
    std::vector<Launch> launches;
    NetworkDouble network;
    int endMenuCalls = 0;
};

}  // namespace MenuTest
