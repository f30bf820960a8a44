// Update page: labels, links and the history text; the links, the timer and
// the window's end are handed to the checking.
#include "options/UpdatePage.h"

#include "data/DataCenter.h"
#include "data/DataFile.h"
#include "options/TextFile.h"
#include "system/SystemInfo.h"

namespace Lumo::Options {
namespace {

using namespace Lumo::WinUi;

constexpr wchar_t kHistoryFile[] = L"History.txt";

}  // namespace

UpdatePage::UpdatePage(UpdateCheckingSettings checking)
    : PageBase(L""), checking_(std::make_unique<UpdateChecking>(*this, std::move(checking))) {}

UpdatePage::~UpdatePage() = default;

std::wstring UpdatePage::InitialHistoryFile(Lumo::Data::DataCenter& center) {
    // Without a data folder there is no downloaded history to look for.
    if (center.HasDataFolder()) {
        const std::wstring inData = center.GetDataFolder() + kHistoryFile;
        if (Lumo::Data::PathExists(inData)) return inData;
    }
    const std::wstring install = center.GetInstallFolder();
    return install.empty() ? std::wstring() : install + kHistoryFile;
}

void UpdatePage::CreateControls() {
    AddStatic(kVersionCaption, L"Version:", 100, 16);
    AddStatic(kLatestCaption, L"Latest Version:", 100, 16);
    AddStatic(kVersion, System::ProductVersion(), 100, 16);
    AddStatic(kLatestVersion, L"[Unknown]", 100, 16);
    AddHyperlink(kCheckLink, L"Check for Update", LinkCommand | LinkUnderlineHover, 100, 16);
    AddHyperlink(kDownloadLink, L"Goto Download Page", LinkCommand | LinkUnderlineHover, 140, 16);
    ::ShowWindow(::GetDlgItem(Window(), kDownloadLink), SW_HIDE);
    AddHeader(kHistoryHeader, L"History", 10, 12);
    // The history is read, not edited: lines wrap, no horizontal scrolling.
    AddEdit(kHistory, false, true, ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL, 10, 10);

    if (Lumo::Data::DataCenter* center = Lumo::Data::DataCenter::Instance()) {
        const std::wstring file = InitialHistoryFile(*center);
        if (!file.empty()) {
            if (auto text = ReadTextFile(file, L"\r\n")) SetHistoryText(*text);
        }
    }
}

void UpdatePage::DefineLayout() {
    auto root = NewRoot(Vertical);
    auto versions = NewPane(Horizontal, FixedHeight);
    auto captions = NewPane(Vertical, FixedSize, 0, 3);
    Append(captions, ControlItem(kVersionCaption, FixedSize));
    Append(captions, ControlItem(kLatestCaption, FixedSize));
    auto values = NewPane(Vertical, FixedSize, 0, 3);
    Append(values, ControlItem(kVersion, FixedSize));
    Append(values, ControlItem(kLatestVersion, FixedSize));
    auto links = NewPane(Vertical, FixedSize, 0, 3);
    Append(links, ControlItem(kCheckLink, FixedSize));
    Append(links, ControlItem(kDownloadLink, FixedSize));
    Append(versions, captions);
    Append(versions, values);
    Append(versions, links);
    Append(versions, GrowingSpace(Horizontal));
    Append(root, versions);
    Append(root, ControlItem(kHistoryHeader, FixedHeight));
    Append(root, ControlItem(kHistory, Stretch));
}

bool UpdatePage::OnCommand(int id, int code, HWND) {
    // The links also report being pushed and released; only a click counts.
    if (code != BN_CLICKED) return false;
    switch (id) {
        case kCheckLink:
            checking_->CheckForUpdate();
            return true;
        case kDownloadLink:
            checking_->OpenDownloadPage();
            return true;
        default:
            return false;
    }
}

bool UpdatePage::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_TIMER && wParam == UpdateChecking::kTimerId) {
        checking_->AnimationStep();
        return true;
    }
    // Nothing of the check may reach the page once its window is gone.
    if (message == WM_DESTROY) checking_->Abort();
    return PageBase::ProcessMessage(message, wParam, lParam, result);
}

void UpdatePage::SetLatestVersionText(const std::wstring& text) {
    ::SetDlgItemTextW(Window(), kLatestVersion, text.c_str());
}

void UpdatePage::EnableCheckLink(bool enable) { ::EnableWindow(::GetDlgItem(Window(), kCheckLink), enable); }

void UpdatePage::ShowDownloadLink(const std::wstring& url) {
    downloadPage_ = url;
    ::ShowWindow(::GetDlgItem(Window(), kDownloadLink), SW_SHOW);
}

void UpdatePage::SetHistoryText(const std::wstring& text) {
    ::SetDlgItemTextW(Window(), kHistory, text.c_str());
}

}  // namespace Lumo::Options
