// Settings page: menu width limit, top-level favorite limit and history depth,
// saved through Lumo::Data::DataCenter, which refuses when another process changed them.
#include "options/SettingPage.h"

#include <algorithm>
#include <string>

#include "data/DataCenter.h"
#include "options/PageSupport.h"
#include "system/MenuImages.h"
#include "win/Errors.h"

namespace Lumo::Options {
namespace {

using namespace Lumo::WinUi;

const wchar_t kRefused[] =
    L"Setting has been modified by other explorer.exe instance,\ncurrent changes will not be saved, please "
    L"re-open option dialog\nto edit the newest setting.";
const wchar_t kCannotSave[] =
    L"Setting cannot be saved now: the data file is in use by another program or cannot be written.\n"
    L"Current changes are kept, please try to save them again.";

constexpr int kBoxWidth = 32;
constexpr int kBoxHeight = 19;
constexpr int kLabelHeight = 16;
constexpr int kButtonSide = 26;

}  // namespace

SettingPage::SettingPage(const Lumo::Data::AllData& data)
    : PageBase(L""),
      saved_(std::make_shared<Lumo::Data::UserSettings>(data.userSettings ? *data.userSettings
                                                                          : Lumo::Data::UserSettings())),
      edited_(std::make_shared<Lumo::Data::UserSettings>()) {}

bool SettingPage::Checked(int id) const { return ::IsDlgButtonChecked(Window(), id) == BST_CHECKED; }

void SettingPage::CreateControls() {
    AddHeader(kHeader, L"User Interface", 10, 12);
    AddCheckBox(kLimitWidth, L"Limit menu item width to ___ pixel [20~1000]", 10, kLabelHeight);
    AddEdit(kWidth, false, false, ES_NUMBER | ES_AUTOHSCROLL, kBoxWidth, kBoxHeight);
    AddCheckBox(kLimitTop, L"Limit top level favorite item number to", 10, kLabelHeight);
    AddEdit(kTopCount, false, false, ES_NUMBER | ES_AUTOHSCROLL, kBoxWidth, kBoxHeight);
    AddStatic(kHistoryLabel, L"Navigate history depth [0~50]", 10, kLabelHeight);
    AddEdit(kHistoryDepth, false, false, ES_NUMBER | ES_AUTOHSCROLL, kBoxWidth, kBoxHeight);
    CButtonST& save = AddIconButton(kSave, L"", L"Save modification", kButtonSide, kButtonSide);
    save.SetIcon(System::MenuImages(), 14, 14);
    save.SetFlat(true);
    save.SetFocusRectInFlat(true);  // where Tab went, for the keyboard user

    for (int id : {kWidth, kTopCount, kHistoryDepth}) {
        ::SendDlgItemMessageW(Window(), id, EM_LIMITTEXT, 4, 0);
        // Four digits fit the small box.
        ::SendDlgItemMessageW(Window(), id, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(1, 1));
    }
    // The labels are as wide as their text in the font and DPI of the day.
    const int checkExtra = ::GetSystemMetrics(SM_CXMENUCHECK) + Scale(8);
    for (int id : {kLimitWidth, kLimitTop, kHistoryLabel}) {
        HWND control = ::GetDlgItem(Window(), id);
        ::SetWindowPos(
            control, nullptr, 0, 0,
            TextWidth(control, WindowText(control)) + (id == kHistoryLabel ? Scale(2) : checkExtra),
            Scale(kLabelHeight), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Reset();
}

void SettingPage::DefineLayout() {
    auto root = NewRoot(Vertical);
    Append(root, ControlItem(kHeader, FixedHeight));
    auto body = NewPane(Horizontal, Stretch);
    auto rows = NewPane(Vertical, Stretch);
    for (auto [label, box] : {std::pair{kLimitWidth, kWidth}, std::pair{kLimitTop, kTopCount},
                              std::pair{kHistoryLabel, kHistoryDepth}}) {
        auto row = NewPane(Horizontal, FixedHeight, 0, 5);
        // The label is lowered so that its text lines up with the box's.
        auto lowered = NewPane(Vertical, FixedSize, 0, 0);
        Append(lowered, FixedSpace(Vertical, 3));
        Append(lowered, ControlItem(label, FixedSize));
        Append(row, lowered);
        Append(row, ControlItem(box, FixedSize));
        Append(row, GrowingSpace(Horizontal));
        Append(rows, row);
    }
    Append(rows, GrowingSpace(Vertical));
    Append(body, rows);
    auto side = NewPane(Vertical, FixedWidth, 0, 0);
    Append(side, ControlItem(kSave, FixedSize));
    Append(side, GrowingSpace(Vertical));
    Append(body, side);
    Append(root, body);
}

bool SettingPage::OnCommand(int id, int code, HWND) {
    switch (id) {
        case kLimitWidth:
        case kLimitTop:
            if (code != BN_CLICKED) return false;
            ::EnableWindow(::GetDlgItem(Window(), id == kLimitWidth ? kWidth : kTopCount), Checked(id));
            ReadControls();
            UpdateSave();
            return true;
        case kWidth:
        case kTopCount:
        case kHistoryDepth:
            if (code != EN_CHANGE) return false;
            if (!filling_) {
                ReadControls();
                UpdateSave();
            }
            return true;
        case kSave:
            if (code != BN_CLICKED) return false;
            Save();
            return true;
        default:
            return false;
    }
}

void SettingPage::Fill() {
    filling_ = true;
    const auto setNumber = [&](int id, int value) {
        ::SetDlgItemTextW(Window(), id, std::to_wstring(value).c_str());
    };
    setNumber(kWidth, edited_->menuWidthLimit);
    ::CheckDlgButton(Window(), kLimitWidth, edited_->limitMenuWidth ? BST_CHECKED : BST_UNCHECKED);
    ::EnableWindow(::GetDlgItem(Window(), kWidth), edited_->limitMenuWidth);
    setNumber(kTopCount, edited_->topFavoriteLimit);
    ::CheckDlgButton(Window(), kLimitTop, edited_->limitTopFavorites ? BST_CHECKED : BST_UNCHECKED);
    ::EnableWindow(::GetDlgItem(Window(), kTopCount), edited_->limitTopFavorites);
    setNumber(kHistoryDepth, edited_->historyDepth);
    filling_ = false;
}

void SettingPage::Reset() {
    *edited_ = *saved_;
    Fill();
    UpdateSave();
}

int SettingPage::ReadNumber(int id) const {
    wchar_t text[16] = {};
    ::GetDlgItemTextW(Window(), id, text, static_cast<int>(std::size(text)));
    // Leading digits count; anything else reads as 0.
    long value = 0;
    for (const wchar_t* c = text; *c >= L'0' && *c <= L'9' && value < 100000; ++c)
        value = value * 10 + (*c - L'0');
    return static_cast<int>(std::max(0L, value));
}

void SettingPage::ReadControls() {
    edited_->limitMenuWidth = Checked(kLimitWidth);
    edited_->menuWidthLimit = ReadNumber(kWidth);
    edited_->limitTopFavorites = Checked(kLimitTop);
    edited_->topFavoriteLimit = ReadNumber(kTopCount);
    edited_->historyDepth = ReadNumber(kHistoryDepth);
}

void SettingPage::UpdateSave() { ::EnableWindow(::GetDlgItem(Window(), kSave), Modified()); }

SaveOutcome SettingPage::Save() {
    const auto commit = [this] { return Lumo::Data::DataCenter::Instance()->CommitUserSettings(edited_); };
    const SaveOutcome outcome = CommitEdits(Window(), commit, kRefused, kCannotSave);
    if (outcome != SaveOutcome::Saved) return outcome;
    *saved_ = *edited_;
    UpdateSave();
    return outcome;
}

bool SettingPage::CanLeavePage() {
    return CanLeaveEditingPage(
        Window(), Modified(), L"Setting has been modified, do you want to save it?",
        [this] { return Save(); }, [this] { Reset(); });
}

}  // namespace Lumo::Options
