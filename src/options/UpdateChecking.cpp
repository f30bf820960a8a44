// The Update page's checking: link, animation, the two completions and the
// stored history.
#include "options/UpdateChecking.h"

#include <shellapi.h>

#include "data/DataCenter.h"
#include "data/DataFile.h"
#include "options/TextFile.h"
#include "win/DiagnosticLog.h"
#include "system/SystemInfo.h"

namespace Lumo::Options {
namespace {

constexpr wchar_t kProductWord[] = L"Quelvar";
constexpr wchar_t kLineBreak[] = L"\r\n";

std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

}  // namespace

UpdateChecking::UpdateChecking(UpdatePageView& view, Settings settings)
    : view_(view), settings_(std::move(settings)) {}

UpdateChecking::~UpdateChecking() { Abort(); }

void UpdateChecking::CheckForUpdate() {
    ::SetTimer(view_.Window(), kTimerId, kTimerPeriodMs, nullptr);
    view_.EnableCheckLink(false);
    ShowStatus();
    auto check = std::make_shared<Lumo::Update::UpdateCheck>(kProductWord, Lumo::System::ProductVersion(),
                                                             settings_.baseUrl, settings_.timeouts,
                                                             settings_.deadlineMs);
    // The completion runs through the check's own bridge, which goes with
    // the check and therefore never outlives this object.
    check->SetCompletion([this] { VersionDone(); });
    updateCheck_ = check;
    check->Session().Open();
    check->Session().RequestVersionInfo();
}

void UpdateChecking::AnimationStep() {
    dots_ = dots_ == 3 ? 0 : static_cast<unsigned short>(dots_ + 1);
    ShowStatus();
}

void UpdateChecking::ShowStatus() { view_.SetLatestVersionText(L"Checking" + std::wstring(dots_, L'.')); }

void UpdateChecking::StopTimer() { ::KillTimer(view_.Window(), kTimerId); }

void UpdateChecking::VersionDone() {
    StopTimer();
    std::shared_ptr<Lumo::Update::UpdateCheck> check = updateCheck_;
    if (!check) return;
    if (check->Succeeded()) {
        view_.SetLatestVersionText(check->LatestVersion());
        downloadPage_ = check->DownloadPage();
        view_.ShowDownloadLink(downloadPage_);
        view_.SetHistoryText(L"Getting history info...");
        check->SetCompletion([this] { HistoryDone(); });
        check->Session().RequestHistory();
        return;
    }
    view_.EnableCheckLink(true);
    view_.SetLatestVersionText(L"[Failed]");
    ::MessageBoxW(view_.Window(), check->FailureMessage().c_str(), L"Failed", MB_OK);
}

void UpdateChecking::HistoryDone() {
    std::shared_ptr<Lumo::Update::UpdateCheck> check = updateCheck_;
    if (!check) return;
    check->End();
    if (!check->Succeeded()) {
        view_.SetHistoryText(L"Get history info failed. Please try again later.");
        return;
    }
    Lumo::Data::DataCenter* center = Lumo::Data::DataCenter::Instance();
    if (!center) return;
    if (!center->HasDataFolder()) {
        // Nowhere to keep it: show it as it came, store nothing.
        view_.SetHistoryText(DecodeText(check->HistoryBody(), kLineBreak));
        return;
    }
    const std::wstring path = WithBackslash(center->GetDataFolder()) + L"history.txt";
    try {
        // Through a temporary file, so a crash never leaves half a history.
        center->ReplaceDataFolderFile(L"history.txt", check->HistoryBody());
    } catch (const std::exception&) {
        // Not stored: the box shows what the file holds from an earlier download.
        Lumo::Win::LogCurrentException("UpdateChecking::HistoryDone");
    }
    if (auto text = ReadTextFile(path, kLineBreak)) view_.SetHistoryText(*text);
}

void UpdateChecking::OpenDownloadPage() {
    if (!Lumo::Update::IsAcceptableDownloadPage(downloadPage_)) return;
    if (settings_.openUrl) {
        settings_.openUrl(view_.Window(), downloadPage_);
    } else {
        ::ShellExecuteW(view_.Window(), L"open", downloadPage_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}

void UpdateChecking::Abort() {
    StopTimer();
    if (updateCheck_) updateCheck_->End();
}

}  // namespace Lumo::Options
