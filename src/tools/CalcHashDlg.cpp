// The Checksum Calculator: hashes one file on a worker thread while the
// dialog shows the progress, then shows, copies and compares the checksum.
#include "tools/CalcHashDlg.h"

#include <memory>

#include "system/Clipboard.h"
#include "system/MenuImages.h"
#include "tools/HashCompare.h"
#include "tools/HashJob.h"
#include "ui/Dialog.h"
#include "system/Path.h"

namespace Lumo::Tools {
namespace {

using namespace Lumo::WinUi;

enum : int {
    kFileHeader = 1000,
    kPath = 1001,
    kAlgorithmHeader = 1002,
    kAlgorithm = 1003,
    kFormatHeader = 1004,
    kLowerNoSpaces = 1005,
    kLower = 1006,
    kUpperNoSpaces = 1007,
    kUpper = 1008,
    kOutputHeader = 1009,
    kOutput = 1010,
    kCopy = 1011,
    kCompareHeader = 1012,
    kCompare = 1013,
    kHash = 1014,
    kClose = 1,
};

constexpr UINT kProgressMessage = WM_APP + 1;
constexpr UINT kDoneMessage = WM_APP + 2;

constexpr int kCopyIcon = 20;
constexpr int kHashIcon = 24;
constexpr int kCloseIcon = 25;

struct AlgorithmChoice {
    const wchar_t* label;
    HashAlgorithm algorithm;
    int shaBits;
};
constexpr AlgorithmChoice kAlgorithms[] = {
    {L"CRC32", HashAlgorithm::Crc32, 256},    {L"GOSTHash", HashAlgorithm::GostHash, 256},
    {L"MD2", HashAlgorithm::Md2, 256},        {L"MD4", HashAlgorithm::Md4, 256},
    {L"MD5", HashAlgorithm::Md5, 256},        {L"SHA-1", HashAlgorithm::Sha1, 256},
    {L"SHA-2 256", HashAlgorithm::Sha2, 256}, {L"SHA-2 384", HashAlgorithm::Sha2, 384},
    {L"SHA-2 512", HashAlgorithm::Sha2, 512},
};
constexpr int kMd5Index = 4;

std::wstring Trimmed(const std::wstring& text) {
    const wchar_t* space = L" \t\r\n\v\f";
    const size_t first = text.find_first_not_of(space);
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

class CalcHashDlg : public Dialog {
public:
    explicit CalcHashDlg(std::wstring filePath)
        : Dialog(L"Checksum Calculator", true), filePath_(std::move(filePath)) {}

protected:
    void CreateControls() override {
        AddHeader(kFileHeader, L"File to hash", 10, 12);
        AddEdit(kPath, false, true, ES_AUTOHSCROLL, 10, 22);
        ::SetDlgItemTextW(Window(), kPath, filePath_.c_str());
        AddHeader(kAlgorithmHeader, L"Hash algorithm", 10, 12);
        HWND list = AddDropDown(10, 200);
        for (const auto& choice : kAlgorithms)
            ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.label));
        ::SendMessageW(list, CB_SETCURSEL, kMd5Index, 0);
        AddHeader(kFormatHeader, L"Output format", 10, 12);
        AddRadio(kLowerNoSpaces, L"Lowercase, no spaces", true, 10, 16);
        AddRadio(kLower, L"Lowercase", false, 10, 16);
        AddRadio(kUpperNoSpaces, L"Uppercase, no spaces", false, 10, 16);
        AddRadio(kUpper, L"Uppercase", false, 10, 16);
        ::CheckDlgButton(Window(), kLowerNoSpaces, BST_CHECKED);
        AddHeader(kOutputHeader, L"Output", 10, 12);
        AddEdit(kOutput, true, true, 0, 10, 10);
        IconButton(kCopy, L"&Copy Output", L"Copy output text to clipboard", kCopyIcon);
        ::EnableWindow(::GetDlgItem(Window(), kCopy), FALSE);
        AddHeader(kCompareHeader, kComparePrompt, 10, 12);
        AddEdit(kCompare, true, false, 0, 10, 10);
        IconButton(kHash, L"&Hash File", L"Calculate hash value of the file", kHashIcon);
        IconButton(kClose, L"&Close", L"Close dialog", kCloseIcon);
    }

    void DefineLayout() override {
        auto root = NewRoot(Vertical);
        Append(root, ControlItem(kFileHeader, FixedHeight));
        Append(root, ControlItem(kPath, FixedHeight));
        Append(root, ControlItem(kAlgorithmHeader, FixedHeight));
        Append(root, ControlItem(kAlgorithm, FixedHeight));
        Append(root, ControlItem(kFormatHeader, FixedHeight));

        auto formats = NewPane(Horizontal, FixedHeight);
        auto left = NewPane(Vertical, Stretch);
        Append(left, ControlItem(kLowerNoSpaces, FixedHeight));
        Append(left, ControlItem(kLower, FixedHeight));
        auto right = NewPane(Vertical, Stretch);
        Append(right, ControlItem(kUpperNoSpaces, FixedHeight));
        Append(right, ControlItem(kUpper, FixedHeight));
        Append(formats, left);
        Append(formats, right);
        Append(formats, ControlItem(kHash, FixedSize | AlignCentreVertical));
        Append(root, formats);

        // The boxes and their labels at the left, the output's buttons 8 pixels
        // to their right, "&Copy Output" level with the output box.
        auto lower = NewPane(Horizontal, Stretch, 0, 8);
        auto boxes = NewPane(Vertical, Stretch);
        Append(boxes, ControlItem(kOutputHeader, FixedHeight));
        Append(boxes, ControlItem(kOutput, Stretch));
        Append(boxes, ControlItem(kCompareHeader, FixedHeight));
        Append(boxes, ControlItem(kCompare, Stretch));
        auto buttons = NewPane(Vertical, FixedWidth);
        Append(buttons, FixedSpace(Vertical, 12 - 5));
        Append(buttons, ControlItem(kCopy, FixedSize));
        Append(buttons, GrowingSpace(Vertical));
        Append(buttons, ControlItem(kClose, FixedSize));
        Append(lower, boxes);
        Append(lower, buttons);
        Append(root, lower);
    }

    void AfterInit() override { UpdateCompare(); }

    bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        switch (message) {
            case kProgressMessage:
                if (job_ && lParam == job_->Id())
                    SetText(kOutput, L"Calculating... " + std::to_wstring(static_cast<int>(wParam)) + L"%");
                return true;
            case kDoneMessage:
                if (job_ && lParam == job_->Id()) {
                    if (wParam) {
                        ShowResult(job_->Result());
                    } else {
                        ShowReadFailure(HashReadFailureText(Text(kPath), job_->Error()));
                    }
                }
                return true;
            case WM_DESTROY:
                job_.reset();  // cancels; the worker ends on its own
                break;
            default:
                break;
        }
        return Dialog::ProcessMessage(message, wParam, lParam, result);
    }

    bool OnCommand(int id, int code, HWND) override {
        switch (id) {
            case IDOK:
            case IDCANCEL:
                job_.reset();
                End(id);
                return true;
            case kCopy:
                if (code == BN_CLICKED) Lumo::System::SetClipboardText(Text(kOutput));
                return true;
            case kHash:
                if (code == BN_CLICKED) HashFile();
                return true;
            case kCompare:
                if (code == EN_UPDATE) UpdateCompare();
                return true;
            default:
                return false;
        }
    }

private:
    void IconButton(int id, const wchar_t* text, const wchar_t* tooltip, int icon) {
        AddIconButton(id, text, tooltip, 100, 23).SetIcon(Lumo::System::MenuImages(), icon, icon);
    }

    std::wstring Text(int id) const {
        HWND control = ::GetDlgItem(Window(), id);
        std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
        text.resize(
            static_cast<size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
        return text;
    }
    void SetText(int id, const std::wstring& text) { ::SetDlgItemTextW(Window(), id, text.c_str()); }
    void Enable(int id, bool enable) { ::EnableWindow(::GetDlgItem(Window(), id), enable ? TRUE : FALSE); }

    void HashFile() {
        SetText(kOutput, L"");
        const std::wstring path = Text(kPath);
        if (::GetFileAttributesW(Lumo::FileSystem::LongPathForm(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
            ::MessageBoxW(Window(), (L"File [" + path + L"] not exist").c_str(), L"Error", MB_OK);
            return;
        }
        HashRequest request;
        request.filePath = path;
        request.format = HashOutputFormat::LowercaseNoSpaces;
        const int formats[] = {kLowerNoSpaces, kLower, kUpperNoSpaces, kUpper};
        for (int i = 0; i < 4; ++i)
            if (::IsDlgButtonChecked(Window(), formats[i]) == BST_CHECKED)
                request.format = static_cast<HashOutputFormat>(i + 1);
        int index = static_cast<int>(::SendDlgItemMessageW(Window(), kAlgorithm, CB_GETCURSEL, 0, 0));
        if (index < 0 || index >= static_cast<int>(std::size(kAlgorithms))) index = kMd5Index;
        request.algorithm = kAlgorithms[index].algorithm;
        request.shaBits = kAlgorithms[index].shaBits;

        job_ = std::make_unique<HashJob>(request, Window(), kProgressMessage, kDoneMessage);
        // Nothing to copy and nothing to start again until the result is in.
        Enable(kHash, false);
        Enable(kCopy, false);
        SetText(kOutput, L"Calculating... 0%");
    }

    void ShowResult(const std::wstring& checksum) {
        job_.reset();
        const std::wstring text = Trimmed(checksum);
        SetText(kOutput, text);
        Enable(kCopy, !text.empty());
        Enable(kHash, true);
        UpdateCompare();
    }

    // The file could not be read: the output box says why, and there is no
    // checksum to copy (nor one that a pasted text could match).
    void ShowReadFailure(const std::wstring& text) {
        job_.reset();
        SetText(kOutput, text);
        Enable(kCopy, false);
        Enable(kHash, true);
        UpdateCompare();
    }

    void UpdateCompare() {
        SetText(kCompareHeader, CompareLabel(Text(kCompare), Text(kOutput)));
        ::InvalidateRect(::GetDlgItem(Window(), kCompareHeader), nullptr, TRUE);
    }

    std::wstring filePath_;
    std::unique_ptr<HashJob> job_;
};

}  // namespace

int RunCalcHashDialog(HWND owner, const std::wstring& filePath) {
    CalcHashDlg dialog(filePath);
    return static_cast<int>(dialog.RunModal(230, 165, owner));
}

}  // namespace Lumo::Tools
