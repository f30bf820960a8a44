// Fixture and doubles of the folder-menu tests.
#include "MenuTestSupport.h"

#include "shellext/GotoFavorite.h"
#include "navigation/Navigation.h"
#include "win/Errors.h"
#include "win/Handle.h"

using namespace ShellExt;
using namespace Menu;

namespace MenuTest {

std::vector<ItemMenuEntry> ReadItemMenu(HMENU menu) {
    std::vector<ItemMenuEntry> entries;
    const UINT defaultId = ::GetMenuDefaultItem(menu, FALSE, 0);
    for (int position = 0; position < ::GetMenuItemCount(menu); ++position) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 255;
        ::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info);
        ItemMenuEntry entry;
        entry.id = info.wID;
        entry.text = (info.fType & MFT_SEPARATOR) ? L"-" : text;
        entry.isDefault = info.wID == defaultId && !(info.fType & MFT_SEPARATOR) && !info.hSubMenu;
        entry.checked = (info.fState & MFS_CHECKED) != 0;
        entry.radio = (info.fType & MFT_RADIOCHECK) != 0;
        if (info.hSubMenu) entry.submenu = ReadItemMenu(info.hSubMenu);
        entries.push_back(entry);
    }
    return entries;
}

void MenuFixture::SetUp() {
    engine = std::make_unique<QuelvarTest::EngineScope>();
    host = std::make_unique<QuelvarTest::ShellHost>();
    Navigation::SetShellLauncher([this](HWND, const wchar_t* verb, const wchar_t* file,
                                        const wchar_t* parameters, const wchar_t* directory, int show) {
        launches.push_back(Launch{verb ? verb : L"", file ? file : L"", parameters ? parameters : L"",
                                  directory ? directory : L"", show});
        return reinterpret_cast<HINSTANCE>(42);
    });
    Menu::NetworkConnections::SetCurrent(&network);
}

void MenuFixture::TearDown() {
    Lumo::WinUi::PopupMenu::SetTracker(nullptr);
    Menu::NetworkConnections::SetCurrent(nullptr);
    Navigation::SetShellLauncher(nullptr);
    host.reset();
    engine.reset();
}

void MenuFixture::StoreFavorites(const std::vector<std::wstring>& folders) {
    auto data = Center().Load();
    data->favorites->folders = Data::FolderList(folders.begin(), folders.end());
    Center().Save(*data);
}

void MenuFixture::StoreHistory(const std::vector<std::wstring>& newestFirst) {
    auto data = Center().Load();
    data->navigateHistory->items.assign(newestFirst.begin(), newestFirst.end());
    Center().Save(*data);
}

void MenuFixture::ChangeUserSettings(const std::function<void(Data::UserSettings&)>& change) {
    auto data = Center().Load();
    change(*data->userSettings);
    Center().Save(*data);
}

void MenuFixture::ChangeSortMode(Data::FavoriteSortMode mode) {
    auto data = Center().Load();
    data->settings->sortMode = mode;
    Center().Save(*data);
}

std::vector<std::wstring> MenuFixture::StoredFavorites() {
    const auto data = Center().Load();
    return {data->favorites->folders.begin(), data->favorites->folders.end()};
}

std::vector<std::wstring> MenuFixture::StoredHistory() {
    auto data = Center().Load();
    const auto& items = data->navigateHistory->items;
    return std::vector<std::wstring>(items.begin(), items.end());
}

std::string MenuFixture::DataFileBytes() { return QuelvarTest::ReadFileBytes(Center().GetDataFilePath()); }

HMENU MenuFixture::OpenMainSubmenu(const std::wstring& folder) {
    host->CreateHandler();
    std::wstring where = folder.empty() ? temp.Path() : folder;
    if (where.size() > 3 && where.back() == L'\\') where.pop_back();
    EXPECT_EQ(S_OK, host->InitializeBackground(where));
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), host->QueryContextMenu());
    return host->OpenQuelvarSubmenu();
}

void MenuFixture::EndContextMenu() {
    host->CloseAll();
    host->ResetMenu();
    host->ReleaseHandler();
}

int MenuFixture::PositionOf(HMENU menu, const std::wstring& label) {
    for (const auto& entry : host->Entries(menu)) {
        if (entry.Label() == label) return static_cast<int>(entry.position);
    }
    return -1;
}

HMENU MenuFixture::OpenEntry(HMENU menu, const std::wstring& label) {
    int position = PositionOf(menu, label);
    EXPECT_GE(position, 0) << "no entry " << std::string(label.begin(), label.end());
    return position < 0 ? nullptr : host->OpenSubmenu(menu, static_cast<UINT>(position));
}

std::shared_ptr<OddBase> MenuFixture::ItemOf(HMENU menu, const std::wstring& label) {
    for (const auto& entry : host->Entries(menu)) {
        if (entry.Label() == label) return entry.item;
    }
    return nullptr;
}

std::vector<ItemMenuEntry> MenuFixture::RightClick(HMENU menu, const std::wstring& label,
                                                   const std::wstring& choose) {
    std::vector<ItemMenuEntry> shown;
    Lumo::WinUi::PopupMenu::SetTracker([&](HMENU popup, HWND) -> UINT {
        shown = ReadItemMenu(popup);
        std::function<UINT(const std::vector<ItemMenuEntry>&)> find =
            [&](const std::vector<ItemMenuEntry>& list) {
                for (const auto& entry : list) {
                    if (!choose.empty() && entry.text == choose) return entry.id;
                    if (UINT id = find(entry.submenu)) return id;
                }
                return 0u;
            };
        return find(shown);
    });
    std::shared_ptr<OddBase> item = ItemOf(menu, label);
    EXPECT_TRUE(item) << "no entry " << std::string(label.begin(), label.end());
    Lumo::Win::UniqueWindow menuWindow = QuelvarTest::MenuWindowOwnedBy(host->Window());
    EXPECT_TRUE(menuWindow);
    if (item) item->ShowItemMenu(menuWindow.get());
    Lumo::WinUi::PopupMenu::SetTracker(nullptr);
    return shown;
}

}  // namespace MenuTest
