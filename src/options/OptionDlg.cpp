// Options dialog: page creation inside the tab control, page placement, the
// leave checks of the editing pages on tab change and OK.
#include "options/OptionDlg.h"

#include <commctrl.h>

#include "options/AboutPage.h"
#include "options/FavoritePage.h"
#include "options/SettingPage.h"
#include "options/UpdatePage.h"
#include "system/MenuImages.h"

namespace Lumo::Options {
namespace {

using namespace Lumo::WinUi;

// Stands in for the Favorites or the Settings page while the data file cannot
// be read: it edits nothing, so nothing can be saved over the user's data.
class UnreadableDataPage : public PageBase {
public:
    enum : int { kText = 1000 };
    explicit UnreadableDataPage(OptionData why) : PageBase(L""), why_(why) {}

protected:
    void CreateControls() override {
        // Waiting helps a file another program holds, never a folder that is not there.
        AddStatic(kText,
                  why_ == OptionData::NoDataFolder
                      ? L"Your favorites and settings cannot be kept: Windows names no folder for the "
                        L"application data of your account (%APPDATA%), so there is nowhere to store them."
                        L"\n\nNothing is changed. Ask your administrator to restore that folder."
                      : L"Your favorites and settings cannot be read now: another program is using the data "
                        L"file, or it cannot be opened.\n\nNothing is changed. Close this dialog and open "
                        L"Options again in a moment.",
                  200, 80);
    }
    void DefineLayout() override {
        auto root = NewRoot(Vertical, 5);
        Append(root, ControlItem(kText, Stretch));
    }

private:
    OptionData why_;
};

// Which data there is: a snapshot means Loaded whatever the caller said, and
// no snapshot can never be edited as if it were Loaded.
OptionData Effective(const std::shared_ptr<Lumo::Data::AllData>& data, OptionData what) {
    if (data) return OptionData::Loaded;
    return what == OptionData::Loaded ? OptionData::CannotReadNow : what;
}

}  // namespace

OptionTab::OptionTab(HWND parent, int id, int width, int height,
                     const std::shared_ptr<Lumo::Data::AllData>& data, OptionData what)
    : TabCtrl(parent, id, width, height, TCS_HOTTRACK | TCS_TOOLTIPS | WS_CLIPCHILDREN) {
    if (data) {
        favorites_ = std::make_unique<FavoritePage>(*data);
        settings_ = std::make_unique<SettingPage>(*data);
    } else if (const OptionData why = Effective(data, what); why != OptionData::NewerRelease) {
        unreadable_.push_back(std::make_unique<UnreadableDataPage>(why));
        unreadable_.push_back(std::make_unique<UnreadableDataPage>(why));
    }
    update_ = std::make_unique<UpdatePage>();
    about_ = std::make_unique<AboutPage>();
    // Tab moves from the tab control into the pages.
    ::SetWindowLongW(Window(), GWL_EXSTYLE, ::GetWindowLongW(Window(), GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
}

OptionTab::~OptionTab() = default;

void OptionTab::CreatePages() {
    struct Page {
        Dialog* page;
        const wchar_t* label;
        int* index;
    };
    Dialog* favorites = favorites_.get();
    Dialog* settings = settings_.get();
    if (!unreadable_.empty()) {
        favorites = unreadable_[0].get();
        settings = unreadable_[1].get();
    }
    // The stand-ins have no leave check: their indexes stay -1.
    const Page pages[] = {{favorites, L"Favorites", favorites_ ? &favoritesIndex_ : nullptr},
                          {settings, L"Settings", settings_ ? &settingsIndex_ : nullptr},
                          {update_.get(), L"Update", nullptr},
                          {about_.get(), L"About", nullptr}};
    for (const Page& page : pages) {
        if (!page.page) continue;
        HWND window = page.page->CreateChild(OptionDlg::kWidthDu, OptionDlg::kHeightDu, Window());
        if (!window) continue;
        ::SetWindowLongPtrW(window, GWLP_ID, kFirstPageId + static_cast<LONG_PTR>(pages_.size()));
        if (page.index) *page.index = static_cast<int>(pages_.size());
        if (!pages_.empty()) ::ShowWindow(window, SW_HIDE);
        pages_.push_back(window);
        AddTab(page.label);
    }
    current_ = 0;
    PlacePage();
}

HWND OptionTab::PageWindow(int index) const {
    return index >= 0 && index < static_cast<int>(pages_.size()) ? pages_[static_cast<size_t>(index)]
                                                                 : nullptr;
}

void OptionTab::ShowPage(int index) {
    if (index < 0 || index >= static_cast<int>(pages_.size())) index = 0;
    if (index == current_) return;
    Select(index);
    OnSelChanged();
}

bool OptionTab::CanLeaveCurrentPage() {
    if (current_ >= 0 && current_ == favoritesIndex_) return favorites_->CanLeavePage();
    if (current_ >= 0 && current_ == settingsIndex_) return settings_->CanLeavePage();
    return true;
}

bool OptionTab::OnSelChanging() { return CanLeaveCurrentPage(); }

void OptionTab::OnSelChanged() {
    if (HWND previous = PageWindow(current_)) ::ShowWindow(previous, SW_HIDE);
    current_ = Selected();
    if (HWND page = PageWindow(current_)) {
        PlacePage();
        ::ShowWindow(page, SW_SHOW);
    }
}

void OptionTab::PlacePage() {
    HWND page = PageWindow(current_);
    if (!page) return;
    RECT client{};
    ::GetClientRect(Window(), &client);
    RECT item{};
    int tabHeight = 0;
    if (::SendMessageW(Window(), TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item)))
        tabHeight = item.bottom - item.top;
    const int top = client.top + tabHeight + 3;
    ::SetWindowPos(page, nullptr, client.left + 2, top, (client.right - 2) - (client.left + 2),
                   (client.bottom - 2) - top, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool OptionTab::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_SIZE) {
        result = Default(message, wParam, lParam);
        PlacePage();
        return true;
    }
    return TabCtrl::OnMessage(message, wParam, lParam, result);
}

OptionDlg::OptionDlg(std::shared_ptr<Lumo::Data::AllData> data, OptionData what, int firstPage,
                     std::function<void()> openHelp)
    : Dialog(Effective(data, what) == OptionData::NewerRelease ? L"Options [Version Too Old]" : L"Options",
             true),
      data_(std::move(data)),
      what_(Effective(data_, what)),
      firstPage_(firstPage),
      openHelp_(std::move(openHelp)) {}

OptionDlg::~OptionDlg() = default;

void OptionDlg::CreateControls() {
    tab_ = std::make_unique<OptionTab>(Window(), kTab, Scale(200), Scale(200), data_, what_);
    ::SendMessageW(tab_->Window(), WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                   FALSE);
    tab_->CreatePages();
    if (firstPage_ != 0) tab_->ShowPage(firstPage_);
    CButtonST& help = AddIconButton(kHelp, L"&Help Manual", L"Open help manual", 100, 23);
    help.SetIcon(System::MenuImages(), 15, 15);
    AddButton(IDOK, L"OK", 75, 23);
    AddButton(IDCANCEL, L"Cancel", 75, 23);
    ::SendMessageW(::GetDlgItem(Window(), IDOK), BM_SETSTYLE, BS_DEFPUSHBUTTON, FALSE);
}

void OptionDlg::DefineLayout() {
    auto root = NewRoot(Vertical);
    Append(root, ControlItem(kTab, Stretch));
    auto buttons = NewPane(Horizontal, FixedHeight);
    Append(buttons, ControlItem(kHelp, FixedSize));
    Append(buttons, GrowingSpace(Horizontal));
    Append(buttons, ControlItem(IDOK, FixedSize));
    Append(buttons, ControlItem(IDCANCEL, FixedSize));
    Append(root, buttons);
}

bool OptionDlg::OnCommand(int id, int code, HWND) {
    if (code != BN_CLICKED) return false;
    switch (id) {
        case IDOK:
            // Only the page shown is asked: the other was asked when it was left.
            if (tab_->CanLeaveCurrentPage()) End(IDOK);
            return true;
        case IDCANCEL:
            End(IDCANCEL);
            return true;
        case kHelp:
            if (openHelp_) openHelp_();
            return true;
        default:
            return false;
    }
}

bool OptionDlg::OnNotify(const NMHDR& header, LRESULT& result) {
    if (!tab_ || header.hwndFrom != tab_->Window()) return false;
    if (header.code == TCN_SELCHANGING) {
        result = tab_->OnSelChanging() ? FALSE : TRUE;
        return true;
    }
    if (header.code == TCN_SELCHANGE) {
        tab_->OnSelChanged();
        return true;
    }
    return false;
}

INT_PTR RunOptionDialog(HWND owner, std::shared_ptr<Lumo::Data::AllData> data, OptionData what, int firstPage,
                        std::function<void()> openHelp) {
    OptionDlg dialog(std::move(data), what, firstPage, std::move(openHelp));
    return dialog.Run(owner);
}

}  // namespace Lumo::Options
