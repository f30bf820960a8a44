// The "Update" page of the Options dialog: the running version, the latest
// version once a check has answered, the link to the download page and the
// change history (at first from the History.txt on disk).
#pragma once

#include <functional>
#include <string>

#include "ui/Dialog.h"

class DataCenter;

namespace Lumo::Options {

class UpdatePage : public WinUi::PageBase {
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

    // What "Check for Update" starts. The page's own thread calls it; the
    // checker talks back through the setters below (from that thread).
    using Checker = std::function<void(UpdatePage& page)>;
    // Replaces the checker for every page of the process; an empty function
    // makes the link do nothing. Returns the previous one.
    static Checker SetChecker(Checker checker);

    UpdatePage();

    // The file whose text the history box shows when the page opens: the
    // data folder's History.txt, else the install folder's, else none.
    static std::wstring InitialHistoryFile(DataCenter& center);

    // What the checker sets.
    void SetLatestVersionText(const std::wstring& text);
    void EnableCheckLink(bool enable);
    // Shows the "Goto Download Page" link, which then opens `url`.
    void ShowDownloadLink(const std::wstring& url);
    void SetHistoryText(const std::wstring& text);
    const std::wstring& DownloadPage() const { return downloadPage_; }

protected:
    void CreateControls() override;
    void DefineLayout() override;
    bool OnCommand(int id, int code, HWND control) override;
    virtual void CheckForUpdate();

private:
    std::wstring downloadPage_;
};

}  // namespace Lumo::Options
