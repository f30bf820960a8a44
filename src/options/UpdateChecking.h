// The network side of the Update page: "Check for Update" starts an update
// check, the status line counts dots while it runs, a success shows the
// latest version and the download link and fetches the change history, which
// is stored in the data folder and shown from there. The page is the view
// and forwards its link commands, its timer and its destruction.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "update/UpdateCheck.h"

namespace Lumo::Options {

// What the checking changes on the page.
class UpdatePageView {
public:
    virtual ~UpdatePageView() = default;
    // The page window: owner of the timer and of the failure message box.
    virtual HWND Window() const = 0;
    // The status line next to "Latest Version:".
    virtual void SetLatestVersionText(const std::wstring& text) = 0;
    virtual void EnableCheckLink(bool enable) = 0;
    // Shows the "Goto Download Page" link for `url`.
    virtual void ShowDownloadLink(const std::wstring& url) = 0;
    virtual void SetHistoryText(const std::wstring& text) = 0;
};

// Opens the download page (ShellExecuteW with "open" in the product).
using UrlOpener = std::function<void(HWND owner, const std::wstring& url)>;

// Where and how the page checks; tests point it at a local server.
struct UpdateCheckingSettings {
    std::wstring baseUrl = Lumo::Update::kDefaultUpdateBaseUrl;
    Lumo::WinINet::Timeouts timeouts = {};
    // Longest time one request may take before it ends as a time-out.
    DWORD deadlineMs = Lumo::Update::kRequestDeadlineMs;
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

}  // namespace Lumo::Options
