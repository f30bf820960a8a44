// Options test fixture and dialog access.
#include "OptionsTestSupport.h"

#include <commctrl.h>

#include "options/OptionDlg.h"
#include "server/GlobalImpl.h"

using namespace QuelvarTest;

namespace OptionsTest {

void OptionsFixture::SetUp() {
    GlobalImpl::Create(::GetModuleHandleW(nullptr));
    original_ = Lumo::Data::DataCenter::Instance();
    // A short lock wait: a held file must answer within a test's patience.
    center_ = std::make_unique<Lumo::Data::DataCenter>(temp.Path(), 300);
    Lumo::Data::DataCenter::SetInstance(center_.get());
}

void OptionsFixture::TearDown() {
    Lumo::Data::DataCenter::SetInstance(original_);
    center_.reset();
    GlobalImpl::Destroy();
}

void OptionsFixture::StoreFavorites(const std::vector<std::wstring>& folders) {
    auto data = Center().Load();
    data->favorites->folders = Lumo::Data::FolderList(folders.begin(), folders.end());
    Center().Save(*data);
}

OpenOptions::OpenOptions(Lumo::Options::OptionData what, int page, int* helpOpened)
    : thread([what, page, helpOpened](HWND owner) {
          std::shared_ptr<Lumo::Data::AllData> data = what == Lumo::Options::OptionData::Loaded
                                                          ? Lumo::Data::DataCenter::Instance()->Load()
                                                          : nullptr;
          return Lumo::Options::RunOptionDialog(owner, data, what, page, [helpOpened] {
              if (helpOpened) ++*helpOpened;
          });
      }),
      dialog(DialogDriver::Find(thread.Owner(), what == Lumo::Options::OptionData::NewerRelease
                                                    ? L"Options [Version Too Old]"
                                                    : L"Options")) {}

OpenOptions::~OpenOptions() {
    if (dialog.Dialog() && ::IsWindow(dialog.Dialog()))
        ::PostMessageW(dialog.Dialog(), WM_COMMAND, IDCANCEL, 0);
    thread.Wait();
}

std::vector<std::wstring> OpenOptions::Tabs() const {
    std::vector<std::wstring> tabs;
    HWND tab = dialog.Control(1000);
    for (int i = 0; i < static_cast<int>(::SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0)); ++i) {
        wchar_t text[64] = {};
        TCITEMW item{TCIF_TEXT, 0, 0, text, 64};
        ::SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        tabs.push_back(text);
    }
    return tabs;
}

int OpenOptions::SelectedTab() const {
    return static_cast<int>(::SendMessageW(dialog.Control(1000), TCM_GETCURSEL, 0, 0));
}

HWND OpenOptions::PageWindow(int index) const {
    return ::GetDlgItem(dialog.Control(1000), Lumo::Options::OptionTab::kFirstPageId + index);
}

int OpenOptions::VisiblePage() const {
    int visible = -1;
    for (int i = 0; i < 4; ++i) {
        HWND page = PageWindow(i);
        if (page && ::IsWindowVisible(page)) {
            if (visible >= 0) return -1;
            visible = i;
        }
    }
    return visible;
}

void OpenOptions::ClickTab(int index) const {
    HWND tab = dialog.Control(1000);
    RECT item{};
    ::SendMessageW(tab, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    ::SendMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(tab, WM_LBUTTONUP, 0, at);
}

std::wstring OpenOptions::LastMessage() const {
    const auto& boxes = thread.MessageBoxes();
    return boxes.empty() ? std::wstring() : boxes.back().caption + L"|" + boxes.back().text;
}

void SelectEntries(const DialogDriver& page, int listId, const std::vector<int>& indexes) {
    HWND list = page.Control(listId);
    ::SendMessageW(list, LB_SETSEL, FALSE, -1);
    for (int index : indexes) ::SendMessageW(list, LB_SETSEL, TRUE, index);
    page.Notify(listId, LBN_SELCHANGE);
}

std::vector<std::wstring> ListEntries(const DialogDriver& page, int listId) {
    std::vector<std::wstring> entries;
    HWND list = page.Control(listId);
    const int count = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring text(static_cast<size_t>(::SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
        text.resize(
            static_cast<size_t>(::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
        entries.push_back(text);
    }
    return entries;
}

}  // namespace OptionsTest
