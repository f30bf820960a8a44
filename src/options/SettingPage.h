// The "Settings" page of the Options dialog: the six user settings in a
// working copy that is written only when the user saves.
#pragma once

#include <memory>

#include "data/Records.h"
#include "ui/Dialog.h"

namespace Lumo::Options {

enum class SaveOutcome;

class SettingPage : public WinUi::PageBase {
public:
    enum : int {
        kHeader = 1000,
        kLimitWidth = 1001,
        kWidth = 1002,
        kLimitTop = 1003,
        kTopCount = 1004,
        kHistoryLabel = 1005,
        kHistoryDepth = 1006,
        kSave = 1007,
    };

    explicit SettingPage(const Lumo::Data::AllData& data);

    // Before another page is shown or the dialog closes with OK; false keeps
    // the user on this page.
    bool CanLeavePage();
    bool Modified() const { return *edited_ != *saved_; }

protected:
    void CreateControls() override;
    void DefineLayout() override;
    bool OnCommand(int id, int code, HWND control) override;

private:
    void Fill();
    void Reset();
    void ReadControls();
    void UpdateSave();
    SaveOutcome Save();
    int ReadNumber(int id) const;
    bool Checked(int id) const;

    std::shared_ptr<Lumo::Data::UserSettings> saved_;
    std::shared_ptr<Lumo::Data::UserSettings> edited_;
    bool filling_ = false;
};

}  // namespace Lumo::Options
