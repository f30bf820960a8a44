// The network side of the Update page: "Check for Update" starts an update
// check, the status line counts dots while it runs, a success shows the
// latest version and the download link and fetches the change history, which
// is stored in the data folder and shown from there. The page hands in what
// it shows through a small view and forwards its link commands, its timer
// and its destruction.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "update/UpdateCheck.h"

namespace Options {

// What the checking changes on the page.
class UpdatePageView {
public:
    virtual ~UpdatePageView() = default;
    // The page window: owner of the timer and of the failure message box.
    virtual HWND Window() const = 0;
    // The status line next to "Latest Version:".
    virtual void SetLatestVersionText(const std::wstring& text) = 0;
    virtual void EnableCheckLink(bool enable) = 0;
    virtual void ShowDownloadLink() = 0;
    virtual void SetHistoryText(const std::wstring& text) = 0;
};

// A view over the page's controls by their ids (status 1003, check link
// 1004, download link 1005, history box 1007).
class DialogUpdatePageView : public UpdatePageView {
public:
    explicit DialogUpdatePageView(HWND page) : page_(page) {}
    HWND Window() const override { return page_; }
    void SetLatestVersionText(const std::wstring& text) override;
    void EnableCheckLink(bool enable) override;
    void ShowDownloadLink() override;
    void SetHistoryText(const std::wstring& text) override;

private:
    HWND page_;
};

// Opens the download page (ShellExecuteW with "open" in the product).
using UrlOpener = std::function<void(HWND owner, const std::wstring& url)>;

// Where and how the page checks; tests point it at a local server.
struct UpdateCheckingSettings {
    std::wstring baseUrl = Lumo::Update::kDefaultUpdateBaseUrl;
    Lumo::WinINet::Timeouts timeouts = {};
    // Empty: ShellExecuteW with "open".
    UrlOpener openUrl;
};

class UpdateChecking {
public:
    static constexpr UINT_PTR kTimerId = 100;
    static constexpr UINT kTimerPeriodMs = 1000;

    using Settings = UpdateCheckingSettings;

    // `view` outlives this object; both live on the page's thread.
    explicit UpdateChecking(UpdatePageView& view, Settings settings = {});
    ~UpdateChecking();
    UpdateChecking(const UpdateChecking&) = delete;
    UpdateChecking& operator=(const UpdateChecking&) = delete;

    // Link 1004.
    void CheckForUpdate();
    // Timer 100.
    void AnimationStep();
    // Link 1005: opens the download page of the last successful check.
    void OpenDownloadPage();
    // The page window is going: stops the timer and ends the session.
    void Abort();

    const std::wstring& DownloadPage() const { return downloadPage_; }

private:
    void ShowStatus();
    void VersionDone();
    void HistoryDone();
    void StopTimer();

    UpdatePageView& view_;
    Settings settings_;
    unsigned short dots_ = 3;
    std::shared_ptr<Lumo::Update::UpdateCheck> updateCheck_;
    std::wstring downloadPage_;
};

// The history shown at first: data folder + "History.txt", else the install
// folder's "History.txt"; nothing when neither can be read.
std::optional<std::wstring> ReadInitialHistory();

// A whole text file with its lines joined by `separator`: a byte-order mark
// selects UTF-16 LE, UTF-16 BE or UTF-8 (and is skipped); without one the
// file is text in the system's ANSI code page. Nothing when the file cannot
// be opened or read.
std::optional<std::wstring> ReadTextFile(const std::wstring& path, const std::wstring& separator);

}  // namespace Options
