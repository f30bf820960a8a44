// The Update page's checking: link, animation, the two completions, the
// stored history and the text-file reading with byte-order marks.
#include "options/UpdateChecking.h"

#include <shellapi.h>

#include "data/DataCenter.h"
#include "data/DataFile.h"
#include "system/SystemInfo.h"

namespace Options {
namespace {

constexpr int kStatusId = 1003;
constexpr int kCheckLinkId = 1004;
constexpr int kDownloadLinkId = 1005;
constexpr int kHistoryId = 1007;

constexpr wchar_t kProductWord[] = L"Quelvar";
constexpr wchar_t kLineBreak[] = L"\r\n";

std::wstring Decode(const std::string& bytes, UINT codePage) {
    if (bytes.empty()) return {};
    const int length =
        ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
    return text;
}

std::wstring DecodeWithMark(const std::string& bytes) {
    const auto starts = [&bytes](const char* mark, std::size_t size) {
        return bytes.compare(0, size, mark, size) == 0;
    };
    if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2)) {
        const bool bigEndian = bytes[0] == '\xFE';
        std::wstring text;
        text.reserve((bytes.size() - 2) / 2);
        for (std::size_t at = 2; at + 1 < bytes.size(); at += 2) {
            const auto first = static_cast<unsigned char>(bytes[at]);
            const auto second = static_cast<unsigned char>(bytes[at + 1]);
            text.push_back(static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
        }
        return text;
    }
    if (starts("\xEF\xBB\xBF", 3)) return Decode(bytes.substr(3), CP_UTF8);
    return Decode(bytes, CP_ACP);
}

// Lines end in "\n" or "\r\n"; a break at the very end starts no new line.
std::wstring JoinLines(const std::wstring& text, const std::wstring& separator) {
    std::wstring joined;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        const bool last = end == std::wstring::npos;
        if (last) end = text.size();
        std::size_t lineEnd = end;
        if (lineEnd > start && text[lineEnd - 1] == L'\r') --lineEnd;
        if (start > 0) joined += separator;
        joined.append(text, start, lineEnd - start);
        start = last ? text.size() : end + 1;
    }
    return joined;
}

std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

}  // namespace

void DialogUpdatePageView::SetLatestVersionText(const std::wstring& text) {
    ::SetDlgItemTextW(page_, kStatusId, text.c_str());
}

void DialogUpdatePageView::EnableCheckLink(bool enable) {
    ::EnableWindow(::GetDlgItem(page_, kCheckLinkId), enable);
}

void DialogUpdatePageView::ShowDownloadLink() { ::ShowWindow(::GetDlgItem(page_, kDownloadLinkId), SW_SHOW); }

void DialogUpdatePageView::SetHistoryText(const std::wstring& text) {
    ::SetDlgItemTextW(page_, kHistoryId, text.c_str());
}

UpdateChecking::UpdateChecking(UpdatePageView& view, Settings settings)
    : view_(view), settings_(std::move(settings)) {}

UpdateChecking::~UpdateChecking() { Abort(); }

void UpdateChecking::CheckForUpdate() {
    ::SetTimer(view_.Window(), kTimerId, kTimerPeriodMs, nullptr);
    view_.EnableCheckLink(false);
    ShowStatus();
    auto check = std::make_shared<Lumo::Update::UpdateCheck>(kProductWord, Lumo::System::ProductVersion(),
                                                             settings_.baseUrl, settings_.timeouts);
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
        view_.ShowDownloadLink();
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
    DataCenter* center = DataCenter::Instance();
    if (!center) return;
    const std::wstring path = WithBackslash(center->GetDataFolder()) + L"history.txt";
    try {
        // Through a temporary file, so a crash never leaves half a history.
        Data::ReplaceFileContents(path, path + L".tmp", check->HistoryBody());
    } catch (const std::exception&) {
        // Not stored: the box shows what the file holds from an earlier download.
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

std::optional<std::wstring> ReadTextFile(const std::wstring& path, const std::wstring& separator) {
    try {
        return JoinLines(DecodeWithMark(Data::ReadWholeFile(path)), separator);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<std::wstring> ReadInitialHistory() {
    DataCenter* center = DataCenter::Instance();
    if (!center) return std::nullopt;
    std::wstring path = WithBackslash(center->GetDataFolder()) + L"History.txt";
    if (!Data::PathExists(path)) {
        const std::wstring install = center->GetInstallFolder();
        if (install.empty()) return std::nullopt;
        path = WithBackslash(install) + L"History.txt";
    }
    return ReadTextFile(path, kLineBreak);
}

}  // namespace Options
