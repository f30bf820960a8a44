// The "&Options..." entry and the Quelvar entry's own menu: which entries it
// offers with and without data, the page each one opens, and the help manual
// beside the module.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <thread>

#include "MenuTestSupport.h"
#include "data/DataFile.h"
#include "shellext/GotoFavorite.h"
#include "shellext/MenuItem.h"

using namespace MenuTest;

namespace {

// Watches for the Options dialog on another thread, notes its title and the
// tab it shows, and closes it with Cancel.
class OptionsWatcher {
public:
    OptionsWatcher()
        : thread_([this] {
              const ULONGLONG end = ::GetTickCount64() + 10000;
              while (::GetTickCount64() < end && !stop_) {
                  HWND dialog = ::FindWindowW(L"#32770", L"Options");
                  if (!dialog) dialog = ::FindWindowW(L"#32770", L"Options [Version Too Old]");
                  if (dialog && ::IsWindowVisible(dialog)) {
                      wchar_t title[64] = {};
                      ::GetWindowTextW(dialog, title, 64);
                      HWND tab = ::GetDlgItem(dialog, 1000);
                      const int selected = static_cast<int>(::SendMessageW(tab, TCM_GETCURSEL, 0, 0));
                      wchar_t text[64] = {};
                      TCITEMW item{};
                      item.mask = TCIF_TEXT;
                      item.pszText = text;
                      item.cchTextMax = 64;
                      ::SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(selected),
                                     reinterpret_cast<LPARAM>(&item));
                      seen = std::wstring(title) + L"|" + text;
                      ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                      return;
                  }
                  ::Sleep(20);
              }
          }) {}
    ~OptionsWatcher() {
        stop_ = true;
        thread_.join();
    }
    std::wstring seen;  // read after the dialog closed

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class OptionsMenuTest : public MenuFixture {
protected:
    // A data file of a newer release: no data for the menu.
    void StoreNewerRelease() {
        auto data = Center().Load();
        data->dataVersion = 4;
        Center().Save(*data);
    }
};

std::vector<std::wstring> Texts(const std::vector<ItemMenuEntry>& entries) {
    std::vector<std::wstring> texts;
    for (const auto& entry : entries) texts.push_back(entry.text);
    return texts;
}

struct PageCase {
    bool withData;
    const wchar_t* choose;
    const wchar_t* shown;  // title|tab
};

class QuelvarItemMenu : public OptionsMenuTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(QuelvarItemMenu, EachEntryOpensItsPage) {
    const PageCase& c = GetParam();
    if (!c.withData) StoreNewerRelease();
    OpenMainSubmenu();
    std::vector<ItemMenuEntry> shown;
    std::wstring seen;
    {
        OptionsWatcher watcher;
        shown = RightClick(host->Menu(), L"Quelvar", c.choose);
        seen = watcher.seen;
    }
    EXPECT_EQ(c.shown, seen);
    const std::vector<std::wstring> full{L"Organize Favorites...",
                                         L"User Settings...",
                                         L"Check for Update...",
                                         L"About...",
                                         L"-",
                                         L"Help Manual",
                                         L"-",
                                         L"Cancel"};
    const std::vector<std::wstring> reduced{L"Check for Update...", L"About...", L"-",
                                            L"Help Manual",         L"-",        L"Cancel"};
    EXPECT_EQ(c.withData ? full : reduced, Texts(shown));
    for (const auto& entry : shown)
        EXPECT_FALSE(entry.isDefault) << std::string(entry.text.begin(), entry.text.end());
    host->CloseAll();
}

INSTANTIATE_TEST_SUITE_P(Menu, QuelvarItemMenu,
                         ::testing::Values(PageCase{true, L"Organize Favorites...", L"Options|Favorites"},
                                           PageCase{true, L"User Settings...", L"Options|Settings"},
                                           PageCase{true, L"Check for Update...", L"Options|Update"},
                                           PageCase{true, L"About...", L"Options|About"},
                                           PageCase{false, L"Check for Update...",
                                                    L"Options [Version Too Old]|Update"},
                                           PageCase{false, L"About...", L"Options [Version Too Old]|About"}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(OptionsMenuTest, OptionsEntryOpensTheFirstPage) {
    for (bool withData : {true, false}) {
        if (!withData) StoreNewerRelease();
        HMENU main = OpenMainSubmenu();
        auto options = ItemOf(main, L"&Options...");
        ASSERT_TRUE(options);
        EXPECT_EQ(17, options->kind);
        EXPECT_EQ(16, options->iconIndex);
        EXPECT_EQ(L"Organize favorites, check new version, help, about...", options->helpText);
        std::wstring seen;
        {
            OptionsWatcher watcher;
            options->Execute(host->Window());
            seen = watcher.seen;
        }
        EXPECT_EQ(withData ? L"Options|Favorites" : L"Options [Version Too Old]|Update", seen);
        EndContextMenu();
    }
}

// A menu built while another program held the data file still offers
// Options, which loads the data afresh once the file is free.
TEST_F(OptionsMenuTest, AMenuWithoutDataFromAHeldFileOpensOptionsWithTheData) {
    const std::wstring path = Center().GetDataFilePath();
    Center().Load();
    DataCenter impatient(path.substr(0, path.size() - std::wstring(L"Data.qvd").size()), 50);
    DataCenter* original = DataCenter::Instance();
    DataCenter::SetInstance(&impatient);
    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        Data::DataFileLock lock(path);
        held = true;
        while (!release) ::Sleep(1);
    });
    while (!held) ::Sleep(1);
    HMENU main = OpenMainSubmenu();
    release = true;
    holder.join();
    EXPECT_EQ(-1, PositionOf(main, L"Navigate &History")) << "the menu was built without the data";
    auto options = ItemOf(main, L"&Options...");
    std::wstring seen;
    if (options) {
        OptionsWatcher watcher;
        options->Execute(host->Window());
        seen = watcher.seen;
    }
    DataCenter::SetInstance(original);
    ASSERT_TRUE(options);
    EXPECT_EQ(L"Options|Favorites", seen);
    host->CloseAll();
}

// The right-click reaches the Quelvar entry inside the shell's own menu loop;
// a page command closes every menu before the dialog opens.
TEST_F(OptionsMenuTest, RightClickOnTheEntryInAMenuLoopOpensThePage) {
    std::wstring folder = temp.Path();
    folder.pop_back();
    host->CreateHandler();
    ASSERT_EQ(S_OK, host->InitializeBackground(folder));
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), host->QueryContextMenu());
    const UINT quelvar = static_cast<UINT>(host->QuelvarPosition());
    std::vector<ItemMenuEntry> shown;
    Lumo::WinUi::PopupMenu::SetTracker([&shown](HMENU popup, HWND) -> UINT {
        shown = ReadItemMenu(popup);
        for (const auto& entry : shown) {
            if (entry.text == L"About...") return entry.id;
        }
        return 0u;
    });
    std::wstring seen;
    UINT result = 0;
    {
        OptionsWatcher watcher;
        result = host->TrackMenu({
            host->Hover(host->Menu(), quelvar),
            host->RightClick(host->Menu(), quelvar),
            host->Key(VK_ESCAPE),
            host->Key(VK_ESCAPE),
        });
        seen = watcher.seen;
    }
    EXPECT_EQ(0u, result);
    EXPECT_EQ(8u, shown.size());
    EXPECT_EQ(L"Options|About", seen);
    EXPECT_FALSE(host->LoopForcedToEnd());
}

TEST_F(OptionsMenuTest, HelpManualOpensTheFileBesideTheModule) {
    Center().SetInstallFolder(L"C:\\Tools\\Quelvar.dll");
    OpenMainSubmenu();
    launches.clear();
    RightClick(host->Menu(), L"Quelvar", L"Help Manual");
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"open", launches[0].verb);
    EXPECT_EQ(L"C:\\Tools\\Quelvar.chm", launches[0].file);
    EXPECT_EQ(L"", launches[0].parameters);
    EXPECT_EQ(L"", launches[0].directory);
    EXPECT_EQ(SW_SHOW, launches[0].show);
    host->CloseAll();
}

}  // namespace
