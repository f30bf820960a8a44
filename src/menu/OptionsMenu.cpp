// Opening the Options dialog from the menu and the Quelvar entry's item menu.
#include "menu/OptionsMenu.h"

#include "data/DataCenter.h"
#include "ui/PopupMenu.h"
#include "options/OptionDlg.h"
#include "navigation/Navigation.h"
#include "win/Boundary.h"
#include "win/DiagnosticLog.h"
#include "win/Errors.h"

namespace Menu {

using namespace ShellExt;

namespace {

// Page numbers with the data; without it only Update (0) and About (1) exist.
enum Page : int { kFavoritesPage = 0, kSettingsPage = 1, kUpdatePage = 2, kAboutPage = 3 };

}  // namespace

OptionsSnapshot OptionsData(const MenuContext& menu) {
    using Lumo::Options::OptionData;
    if (menu.data()) return {menu.data(), OptionData::Loaded};
    if (menu.dataState() == Data::SnapshotState::NewerRelease) return {nullptr, OptionData::NewerRelease};
    Data::DataCenter* center = Data::DataCenter::Instance();
    if (!center) return {nullptr, OptionData::NoDataFolder};
    try {
        return {center->Load(), OptionData::Loaded};
    } catch (const ReleaseVersionTooHigh&) {
        // A verdict on the file, not a failure: the data pages say so.
        Lumo::Win::LogInfo("OptionsData", "data file of a newer release left alone");
        return {nullptr, OptionData::NewerRelease};
    } catch (const std::exception&) {
        // Still held, or unreadable: the data pages say so and edit nothing.
        Lumo::Win::LogCurrentException("OptionsData");
        return {nullptr, OptionData::CannotReadNow};
    }
}

void OpenOptions(const OptionsSnapshot& snapshot, int page, HWND fallback) noexcept {
    // A dialog that cannot open or fails on the way shows nothing more.
    Lumo::Win::VoidBoundary([&] {
        HWND active = ::GetActiveWindow();
        Lumo::Options::RunOptionDialog(active ? active : fallback, snapshot.data, snapshot.what, page,
                                       &OpenHelpManual);
    });
}

void OpenHelpManual() noexcept {
    Lumo::Win::VoidBoundary([] {
        Data::DataCenter* center = Data::DataCenter::Instance();
        if (!center) return;
        const std::wstring folder = center->GetInstallFolder();
        if (folder.empty()) return;
        const std::wstring file = folder + L"Quelvar.chm";
        Navigation::LaunchShell(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOW);
    });
}

void Options::Execute(const Navigation::Target& target) {
    OpenOptions(OptionsData(*context), kFavoritesPage, target.window);
}

void ShowQuelvarItemMenu(Quelvar& item, HWND window) {
    if (!item.context) return;
    const OptionsSnapshot snapshot = OptionsData(*item.context);
    // Only a newer release's file takes the Favorites and Settings tabs away;
    // a file that cannot be read now keeps them, saying so.
    const bool hasData = snapshot.what != Lumo::Options::OptionData::NewerRelease;
    const auto open = [snapshot, window](int page) {
        return [snapshot, window, page] {
            ::EndMenu();
            OpenOptions(snapshot, page, window);
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

}  // namespace Menu
