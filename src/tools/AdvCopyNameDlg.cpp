// Advanced Copy Name: the selection as a list of names under the options of
// the check boxes and radio buttons, rebuilt on every change and copied as
// the user may have edited it.
#include "tools/AdvCopyNameDlg.h"

#include "system/Clipboard.h"
#include "tools/NameList.h"
#include "ui/Dialog.h"

namespace Lumo::Tools {
namespace {

using namespace Lumo::WinUi;

enum : int {
    kIncludeTypeHeader = 1000,
    kFolder = 1001,
    kFile = 1002,
    kResolveShortcuts = 1003,
    kFormatHeader = 1004,
    kFullPath = 1005,
    kLeafOnly = 1006,
    kAppendBackslash = 1007,
    kIncludeExtension = 1008,
    kLongName = 1009,
    kShortName = 1010,
    kTransformHeader = 1011,
    kModifyCase = 1012,
    kLowercase = 1013,
    kUppercase = 1014,
    kSortHeader = 1015,
    kSort = 1016,
    kAscending = 1017,
    kDescending = 1018,
    kResultHeader = 1019,
    kResult = 1020,
    kCopy = 1,
    kClose = 2,
};

constexpr int kIndent = 10;

class AdvCopyNameDlg : public Dialog {
public:
    explicit AdvCopyNameDlg(std::shared_ptr<Lumo::Data::SelectedItemsInfo> selection)
        : Dialog(L"Advanced Copy Name Options", true), selection_(std::move(selection)) {}

protected:
    bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        const bool handled = Dialog::ProcessMessage(message, wParam, lParam, result);
        // The first list, once the controls are laid out.
        if (message == WM_INITDIALOG) Rebuild();
        return handled;
    }

    void CreateControls() override {
        AddHeader(kIncludeTypeHeader, L"Include Type", 10, 12);
        AddCheckBox(kFolder, L"Folder", 10, 16);
        AddCheckBox(kFile, L"File", 10, 16);
        AddCheckBox(kResolveShortcuts, L"Resolve shortcut to it's target", 10, 16);
        AddHeader(kFormatHeader, L"Format", 10, 12);
        AddRadio(kFullPath, L"Full path name", true, 10, 16);
        AddRadio(kLeafOnly, L"Only leaf name", false, 10, 16);
        AddCheckBox(kAppendBackslash, L"Add back slash after folder's path/leaf name", 10, 16);
        AddCheckBox(kIncludeExtension, L"Include extension name", 10, 16);
        AddRadio(kLongName, L"Long name", true, 10, 16);
        AddRadio(kShortName, L"Short name(DOS 8.3)", false, 10, 16);
        AddHeader(kTransformHeader, L"Transform", 10, 12);
        AddCheckBox(kModifyCase, L"Modify case", 110, 16);
        AddRadio(kLowercase, L"Lowercase", true, 10, 16);
        AddRadio(kUppercase, L"Uppercase", false, 10, 16);
        AddHeader(kSortHeader, L"Sort", 10, 12);
        AddCheckBox(kSort, L"Sort", 110, 16);
        AddRadio(kAscending, L"Ascending", true, 10, 16);
        AddRadio(kDescending, L"Descending", false, 10, 16);
        AddHeader(kResultHeader, L"Result", 10, 12);
        AddEdit(kResult, true, false, 0, 10, 10);
        AddButton(kCopy, L"Copy Result to Clipboard", 200, 23);
        AddButton(kClose, L"Close", 75, 23);

        for (int id : {kFolder, kFile, kFullPath, kAppendBackslash, kIncludeExtension, kLongName, kLowercase,
                       kAscending})
            ::CheckDlgButton(Window(), id, BST_CHECKED);
        EnableCaseAndOrder();
    }

    void DefineLayout() override {
        auto root = NewRoot(Vertical);
        // One indented row of option controls; the first may keep its own width.
        auto row = [&](std::initializer_list<int> ids, bool firstFixed = false) {
            auto pane = NewPane(Horizontal, FixedHeight);
            Append(pane, FixedSpace(Horizontal, kIndent - 5));
            bool first = true;
            for (int id : ids) {
                Append(pane, ControlItem(id, first && firstFixed ? FixedSize : FixedHeight));
                first = false;
            }
            Append(root, pane);
        };
        Append(root, ControlItem(kIncludeTypeHeader, FixedHeight));
        row({kFolder, kFile});
        row({kResolveShortcuts});
        Append(root, ControlItem(kFormatHeader, FixedHeight));
        row({kFullPath, kLeafOnly});
        row({kAppendBackslash});
        row({kIncludeExtension});
        row({kLongName, kShortName});
        Append(root, ControlItem(kTransformHeader, FixedHeight));
        row({kModifyCase, kLowercase, kUppercase}, true);
        Append(root, ControlItem(kSortHeader, FixedHeight));
        row({kSort, kAscending, kDescending}, true);
        Append(root, ControlItem(kResultHeader, FixedHeight));
        Append(root, ControlItem(kResult, Stretch));
        auto buttons = NewPane(Horizontal, FixedHeight);
        Append(buttons, GrowingSpace(Horizontal));
        Append(buttons, ControlItem(kCopy, FixedSize));
        Append(buttons, ControlItem(kClose, FixedSize));
        Append(root, buttons);
    }

    bool OnCommand(int id, int code, HWND) override {
        if (code != BN_CLICKED) return false;
        switch (id) {
            case kFolder:
            case kFile:
            case kResolveShortcuts:
            case kFullPath:
            case kLeafOnly:
            case kAppendBackslash:
            case kIncludeExtension:
            case kLongName:
            case kShortName:
            case kLowercase:
            case kUppercase:
            case kAscending:
            case kDescending:
                Rebuild();
                return true;
            case kModifyCase:
            case kSort:
                EnableCaseAndOrder();
                Rebuild();
                return true;
            case kCopy:
                // The box as the user may have edited it; a busy clipboard copies nothing.
                Lumo::System::SetClipboardText(ResultText());
                return true;
            case kClose:
                End(kClose);
                return true;
            default:
                return false;
        }
    }

private:
    bool Checked(int id) const { return ::IsDlgButtonChecked(Window(), id) == BST_CHECKED; }

    void EnableCaseAndOrder() {
        for (int id : {kLowercase, kUppercase})
            ::EnableWindow(::GetDlgItem(Window(), id), Checked(kModifyCase));
        for (int id : {kAscending, kDescending}) ::EnableWindow(::GetDlgItem(Window(), id), Checked(kSort));
    }

    CopyNameOptions ReadOptions() const {
        CopyNameOptions options;
        options.includeFiles = Checked(kFile);
        options.includeFolders = Checked(kFolder);
        options.resolveShortcuts = Checked(kResolveShortcuts);
        options.fullPath = Checked(kFullPath);
        options.appendBackslash = Checked(kAppendBackslash);
        options.includeExtension = Checked(kIncludeExtension);
        options.longName = Checked(kLongName);
        options.modifyCase = Checked(kModifyCase);
        options.lowercase = Checked(kLowercase);
        options.sort = Checked(kSort);
        options.ascending = Checked(kAscending);
        return options;
    }

    void Rebuild() {
        const std::wstring list = BuildNameList(selection_, ReadOptions());
        ::SetDlgItemTextW(Window(), kResult, list.c_str());
    }

    std::wstring ResultText() const {
        HWND box = ::GetDlgItem(Window(), kResult);
        std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(box)) + 1, L'\0');
        text.resize(static_cast<size_t>(::GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
        return text;
    }

    std::shared_ptr<Lumo::Data::SelectedItemsInfo> selection_;
};

}  // namespace

int RunAdvCopyNameDialog(HWND owner, std::shared_ptr<Lumo::Data::SelectedItemsInfo> selection) {
    AdvCopyNameDlg dialog(std::move(selection));
    return static_cast<int>(dialog.RunModal(180, 240, owner));
}

}  // namespace Lumo::Tools
