// The modal "Options" dialog: a tab control holding the Favorites, Settings,
// Update and About pages, a "&Help Manual" button, OK and Cancel. Without the
// data the first two pages are absent (a newer release's file) or only say
// that the data cannot be read now.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "data/Records.h"
#include "ui/Dialog.h"

namespace Lumo::Options {

// What the dialog is given to edit.
enum class OptionData {
    Loaded,         // the data snapshot: every page edits it
    NewerRelease,   // the file comes from a newer release: only Update and About
    CannotReadNow,  // the file is held or unreadable just now: the Favorites and
                    // Settings tabs say so and edit nothing
    NoDataFolder,   // Windows names no application-data folder for this account:
                    // the same tabs say that nothing can be kept
};

class FavoritePage;
class SettingPage;
class UpdatePage;
class AboutPage;

class OptionTab : public WinUi::TabCtrl {
public:
    enum : int { kFirstPageId = 2000 };

    // `data` null: the data pages are absent for a newer release's file, and
    // stand-ins that say the data cannot be read now otherwise.
    OptionTab(HWND parent, int id, int width, int height, const std::shared_ptr<Lumo::Data::AllData>& data,
              OptionData what);
    ~OptionTab() override;

    // Creates the pages as children of the tab control, then the tabs.
    void CreatePages();
    // Shows page `index` (the first page when there is no such tab).
    void ShowPage(int index);
    // The leave check of the page shown; true when it may be left.
    bool CanLeaveCurrentPage();
    int CurrentIndex() const { return current_; }
    HWND PageWindow(int index) const;
    void PlacePage();

    // The tab control's notifications, which its parent hands on.
    bool OnSelChanging();
    void OnSelChanged();

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    std::unique_ptr<FavoritePage> favorites_;
    std::unique_ptr<SettingPage> settings_;
    std::unique_ptr<UpdatePage> update_;
    std::unique_ptr<AboutPage> about_;
    // In place of the Favorites and Settings pages when the data cannot be read now.
    std::vector<std::unique_ptr<WinUi::PageBase>> unreadable_;
    std::vector<HWND> pages_;
    int current_ = -1;
    int favoritesIndex_ = -1;
    int settingsIndex_ = -1;
};

class OptionDlg : public WinUi::Dialog {
public:
    enum : int { kTab = 1000, kHelp = 1001 };
    static constexpr int kWidthDu = 240;
    static constexpr int kHeightDu = 180;

    // `what` says why `data` is null (with data it is Loaded). `openHelp`
    // opens the help manual (nothing when empty).
    OptionDlg(std::shared_ptr<Lumo::Data::AllData> data, OptionData what, int firstPage,
              std::function<void()> openHelp);
    ~OptionDlg() override;

    INT_PTR Run(HWND owner) { return RunModal(kWidthDu, kHeightDu, owner); }

protected:
    void CreateControls() override;
    void DefineLayout() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnNotify(const NMHDR& header, LRESULT& result) override;

private:
    std::shared_ptr<Lumo::Data::AllData> data_;
    OptionData what_;
    int firstPage_;
    std::function<void()> openHelp_;
    std::unique_ptr<OptionTab> tab_;
};

// Runs the dialog modally, owned by `owner`; its result (1 OK, 2 Cancel).
INT_PTR RunOptionDialog(HWND owner, std::shared_ptr<Lumo::Data::AllData> data, OptionData what, int firstPage,
                        std::function<void()> openHelp);

}  // namespace Lumo::Options
