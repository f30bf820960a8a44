// Opening the Options dialog from the menu and the Quelvar entry's item menu.
#include "menu/OptionsMenu.h"

#include "data/DataCenter.h"
#include "menu/PopupMenu.h"
#include "options/OptionDlg.h"
#include "shellext/GotoFavorite.h"
#include "shellext/Navigation.h"
#include "win/Boundary.h"

namespace {

// Page numbers with the data; without it only Update (0) and About (1) exist.
enum Page : int { kFavoritesPage = 0, kSettingsPage = 1, kUpdatePage = 2, kAboutPage = 3 };

}  // namespace

std::shared_ptr<Data::AllData> OptionsData(CGotoFavorite& owner) {
    owner.LoadData();
    if (owner.data() || owner.dataState() != Data::SnapshotState::Unavailable) return owner.data();
    DataCenter* center = DataCenter::Instance();
    if (!center) return nullptr;
    try {
        return center->Load();
    } catch (const std::exception&) {
        // Still held, or unreadable: the pages that need the data stay away.
        return nullptr;
    }
}

void OpenOptions(std::shared_ptr<Data::AllData> data, int page, HWND fallback) noexcept {
    // A dialog that cannot open or fails on the way shows nothing more.
    Lumo::Win::VoidBoundary([&] {
        HWND active = ::GetActiveWindow();
        Lumo::Options::RunOptionDialog(active ? active : fallback, std::move(data), page, &OpenHelpManual);
    });
}

void OpenHelpManual() noexcept {
    Lumo::Win::VoidBoundary([] {
        DataCenter* center = DataCenter::Instance();
        if (!center) return;
        const std::wstring folder = center->GetInstallFolder();
        if (folder.empty()) return;
        const std::wstring file = folder + L"Quelvar.chm";
        Navigation::LaunchShell(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOW);
    });
}

void Options::Execute(HWND host) { OpenOptions(OptionsData(*owner), kFavoritesPage, host); }

void ShowQuelvarItemMenu(Quelvar& item, HWND window) {
    CGotoFavorite* handler = item.owner;
    if (!handler) return;
    const std::shared_ptr<Data::AllData> data = OptionsData(*handler);
    const bool hasData = data != nullptr;
    const auto open = [data, window](int page) {
        return [data, window, page] {
            ::EndMenu();
            OpenOptions(data, page, window);
        };
    };
    Lumo::WinUi::PopupMenu menu;
    if (hasData) {
        menu.AppendCommand(L"Organize Favorites...", open(kFavoritesPage));
        menu.AppendCommand(L"User Settings...", open(kSettingsPage));
    }
    menu.AppendCommand(L"Check for Update...", open(hasData ? kUpdatePage : 0));
    menu.AppendCommand(L"About...", open(hasData ? kAboutPage : 1));
    menu.AppendSeparator();
    menu.AppendCommand(L"Help Manual", [] {
        ::EndMenu();
        OpenHelpManual();
    });
    menu.AppendSeparator();
    menu.AppendCommand(L"Cancel", [] {});
    menu.Track(window);
}
