// The "Update" page of the Options dialog: the running version, the latest
// version once a check has answered, the link to the download page and the
// change history (at first from the History.txt on disk, after a check the
// one just downloaded). The checking itself is UpdateChecking's.
#pragma once

#include <memory>
#include <string>

#include "options/UpdateChecking.h"
#include "ui/Dialog.h"

namespace Lumo::Data {
class DataCenter;
}

namespace Lumo::Options {

class UpdatePage : public WinUi::PageBase, public UpdatePageView {
public:
    enum : int {
        kVersionCaption = 1000,
        kLatestCaption = 1001,
        kVersion = 1002,
        kLatestVersion = 1003,
        kCheckLink = 1004,
        kDownloadLink = 1005,
        kHistoryHeader = 1006,
        kHistory = 1007,
    };

    // `checking` says where the page asks for updates (tests: a local server).
    explicit UpdatePage(UpdateCheckingSettings checking = {});
    ~UpdatePage() override;

    // The file whose text the history box shows when the page opens: the
    // data folder's History.txt, else the install folder's, else none.
    static std::wstring InitialHistoryFile(Lumo::Data::DataCenter& center);

    // What the checking changes.
    HWND Window() const override { return PageBase::Window(); }
    void SetLatestVersionText(const std::wstring& text) override;
    void EnableCheckLink(bool enable) override;
    // Shows the "Goto Download Page" link, which then opens `url`.
    void ShowDownloadLink(const std::wstring& url) override;
    void SetHistoryText(const std::wstring& text) override;
    const std::wstring& DownloadPage() const { return downloadPage_; }

protected:
    void CreateControls() override;
    void DefineLayout() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    std::wstring downloadPage_;
    std::unique_ptr<UpdateChecking> checking_;
};

}  // namespace Lumo::Options
