// The "&Options..." entry and the Quelvar entry's own menu: the entries it
// offers with and without data, the page each opens (right-clicked in a real
// menu loop), and the help manual beside the module.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <thread>

#include "MenuTestSupport.h"
#include "data/DataFile.h"
#include "shellext/GotoFavorite.h"

using namespace ShellExt;
using namespace Menu;

using namespace MenuTest;

namespace {

// Runs `open` while another thread waits for the Options dialog, notes its
// title and shown tab as "title|tab", and cancels it.
std::wstring OptionsShownBy(const std::function<void()>& open) {
    std::wstring seen;
    std::atomic<bool> stop{false};
    std::thread watcher([&] {
        for (int i = 0; i < 500 && !stop; ++i, ::Sleep(20)) {
            HWND dialog = ::FindWindowW(L"#32770", L"Options");
            if (!dialog) dialog = ::FindWindowW(L"#32770", L"Options [Version Too Old]");
            if (!dialog || !::IsWindowVisible(dialog)) continue;
            wchar_t title[64] = {}, tab[64] = {};
            ::GetWindowTextW(dialog, title, 64);
            TCITEMW item{TCIF_TEXT, 0, 0, tab, 64};
            HWND tabs = ::GetDlgItem(dialog, 1000);
            ::SendMessageW(tabs, TCM_GETITEMW, ::SendMessageW(tabs, TCM_GETCURSEL, 0, 0),
                           reinterpret_cast<LPARAM>(&item));
            seen = std::wstring(title) + L"|" + tab;
            ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            return;
        }
    });
    open();
    stop = true;
    watcher.join();
    return seen;
}

struct PageCase {
    bool withData;
    const wchar_t* choose;
    const wchar_t* shown;  // title|tab
};

class QuelvarItemMenu : public MenuFixture, public ::testing::WithParamInterface<PageCase> {};

TEST_P(QuelvarItemMenu, RightClickedInAMenuLoopEachEntryOpensItsPage) {
    const PageCase& c = GetParam();
    if (!c.withData) {
        auto data = Center().Load();
        data->dataVersion = 4;  // a newer release's file: no data for this one
        Center().Save(*data);
    }
    std::wstring folder = temp.Path();
    folder.pop_back();
    host->CreateHandler();
    ASSERT_EQ(S_OK, host->InitializeBackground(folder));
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), host->QueryContextMenu());
    const UINT quelvar = static_cast<UINT>(host->QuelvarPosition());
    std::vector<ItemMenuEntry> shown;
    Lumo::WinUi::PopupMenu::SetTracker([&](HMENU popup, HWND) -> UINT {
        shown = ReadItemMenu(popup);
        for (const auto& entry : shown) {
            if (entry.text == c.choose) return entry.id;
        }
        return 0u;
    });
    UINT result = 1;
    const std::wstring seen = OptionsShownBy([&] {
        result = host->TrackMenu({host->Hover(host->Menu(), quelvar), host->RightClick(host->Menu(), quelvar),
                                  host->Key(VK_ESCAPE), host->Key(VK_ESCAPE)});
    });
    EXPECT_EQ(0u, result);
    EXPECT_EQ(c.shown, seen);
    std::vector<std::wstring> texts{L"Check for Update...", L"About...", L"-",
                                    L"Help Manual",         L"-",        L"Cancel"};
    if (c.withData) texts.insert(texts.begin(), {L"Organize Favorites...", L"User Settings..."});
    ASSERT_EQ(texts.size(), shown.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(texts[i], shown[i].text);
        EXPECT_FALSE(shown[i].isDefault);
    }
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

class OptionsMenuTest : public MenuFixture {};

// "&Options..." opens on Favorites, also from a menu built while another
// program held the data file (the data is loaded afresh once it is free), and
// while it is still held: then too "Options" on Favorites (whose page says the
// data cannot be read now), never the newer-release title.
TEST_F(OptionsMenuTest, OptionsEntryOpensTheFavoritesPage) {
    const std::wstring path = Center().GetDataFilePath();
    Center().Load();
    for (int hold : {0, 1, 2}) {  // not held, held while the menu loads, held throughout
        const bool held = hold > 0;
        Data::DataCenter impatient(path.substr(0, path.size() - 8), 50);  // without "Data.qvd"
        Data::DataCenter* original = Data::DataCenter::Instance();
        Data::DataCenter::SetInstance(&impatient);
        std::atomic<bool> locked{false}, release{!held};
        std::thread holder([&] {
            Data::DataFileLock lock(path);
            locked = true;
            while (!release) ::Sleep(1);
        });
        while (!locked) ::Sleep(1);
        HMENU main = OpenMainSubmenu();
        if (hold < 2) {
            release = true;
            holder.join();
        }
        EXPECT_EQ(held ? -1 : 1, PositionOf(main, L"Navigate &History"));
        auto options = ItemOf(main, L"&Options...");
        EXPECT_TRUE(options && options->kind == 17 && options->iconIndex == 16 &&
                    options->helpText == L"Organize favorites, check new version, help, about...");
        const std::wstring seen = OptionsShownBy([&] {
            if (options) options->Execute(Navigation::Target{host->Window()});
        });
        if (hold == 2) {
            release = true;
            holder.join();
        }
        Data::DataCenter::SetInstance(original);
        EXPECT_EQ(L"Options|Favorites", seen) << hold;
        EndContextMenu();
    }
}

TEST_F(OptionsMenuTest, HelpManualOpensTheFileBesideTheModule) {
    Center().SetInstallFolder(L"C:\\Tools\\Quelvar.dll");
    OpenMainSubmenu();
    RightClick(host->Menu(), L"Quelvar", L"Help Manual");
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"open|C:\\Tools\\Quelvar.chm||", launches[0].verb + L"|" + launches[0].file + L"|" +
                                                    launches[0].parameters + L"|" + launches[0].directory);
    EXPECT_EQ(SW_SHOW, launches[0].show);
    host->CloseAll();
}

}  // namespace
