// A small dialog built with the toolkit, shown for real: the controls sit
// where the layout says, scaled with the DPI, and a screenshot is written at
// 96 DPI and (in a second run of this program) at 144 DPI.
#include <gtest/gtest.h>

#include <string>

#include "support/DialogDriver.h"
#include "support/Screenshot.h"
#include "server/GlobalImpl.h"
#include "ui/Dialog.h"

using namespace Lumo::WinUi;
using QuelvarTest::DialogDriver;
using QuelvarTest::DialogThread;

namespace {

enum { kHeader = 100, kName = 101, kCheck = 102, kBox = 103, kLink = 104, kIcon = 105, kClose = IDCANCEL };

class SampleDialog : public Dialog {
public:
    SampleDialog() : Dialog(L"Toolkit Sample", true) {}
    int linkCommands = 0;

protected:
    void CreateControls() override {
        AddHeader(kHeader, L"Sample header", 10, 12);
        AddStatic(kName, L"A label that stretches", 10, 16);
        AddCheckBox(kCheck, L"A check box", 10, 16);
        AddEdit(kBox, true, false, 0, 10, 10);
        AddHyperlink(kLink, L"A command link", LinkUnderlineHover | LinkCommand, 10, 16);
        AddIconButton(kIcon, L"&Icon Button", L"Does nothing", 100, 23)
            .SetIcon(GlobalImpl::MenuImages(), 24, 24);
        AddButton(kClose, L"Close", 75, 23);
    }
    void DefineLayout() override {
        auto root = NewRoot(Vertical);
        Append(root, ControlItem(kHeader, FixedHeight));
        Append(root, ControlItem(kName, FixedHeight));
        Append(root, ControlItem(kCheck, FixedHeight));
        Append(root, ControlItem(kBox, Stretch));
        Append(root, ControlItem(kLink, FixedHeight));
        auto buttons = NewPane(Horizontal, FixedHeight);
        Append(buttons, GrowingSpace(Horizontal));
        Append(buttons, ControlItem(kIcon, FixedSize));
        Append(buttons, ControlItem(kClose, FixedSize));
        Append(root, buttons);
    }
    bool OnCommand(int id, int, HWND) override {
        if (id == kLink) ++linkCommands;
        return false;
    }
};

class DialogWindow : public ::testing::Test {
protected:
    void SetUp() override { GlobalImpl::Create(::GetModuleHandleW(nullptr)); }
    void TearDown() override { GlobalImpl::Destroy(); }
};

// Lays out, checks every control against the arithmetic, photographs.
void CheckSampleDialog() {
    SampleDialog sample;
    DialogThread thread([&](HWND owner) { return sample.RunModal(160, 120, owner); });
    HWND window = DialogDriver::Find(thread.Owner(), L"Toolkit Sample");
    ASSERT_TRUE(window);
    DialogDriver dialog(window);
    const int dpi = sample.Dpi();
    EXPECT_EQ(dpi, QuelvarTest::ScreenDpi());
    auto px = [&](int pixels) { return ::MulDiv(pixels, dpi, 96); };

    RECT client{};
    ::GetClientRect(window, &client);
    const SIZE planned = DialogUnitsToPixels(160, 120, dpi);
    EXPECT_EQ(client.right, planned.cx);
    EXPECT_EQ(client.bottom, planned.cy);

    const int margin = px(5), gap = px(5);
    const RECT header = dialog.Rect(kHeader), name = dialog.Rect(kName), check = dialog.Rect(kCheck);
    const RECT box = dialog.Rect(kBox), link = dialog.Rect(kLink), icon = dialog.Rect(kIcon),
               close = dialog.Rect(kClose);
    // Rows from the top, full width inside the margins, at their own heights.
    EXPECT_EQ(header.left, margin);
    EXPECT_EQ(header.top, margin);
    EXPECT_EQ(header.right, client.right - margin);
    EXPECT_EQ(header.bottom - header.top, px(12));
    EXPECT_EQ(name.top, header.bottom + gap);
    EXPECT_EQ(name.bottom - name.top, px(16));
    EXPECT_EQ(check.top, name.bottom + gap);
    // Buttons at the bottom right at their own sizes.
    EXPECT_EQ(close.right, client.right - margin);
    EXPECT_EQ(close.bottom, client.bottom - margin);
    EXPECT_EQ(close.right - close.left, px(75));
    EXPECT_EQ(close.bottom - close.top, px(23));
    EXPECT_EQ(icon.right, close.left - gap);
    EXPECT_EQ(icon.right - icon.left, px(100));
    // The box takes what the fixed rows leave.
    EXPECT_EQ(link.bottom, close.top - gap);
    EXPECT_EQ(box.top, check.bottom + gap);
    EXPECT_EQ(box.bottom, link.top - gap);
    EXPECT_EQ(box.right, client.right - margin);

    EXPECT_EQ(dialog.TooltipText(kIcon), L"Does nothing");
    EXPECT_TRUE(dialog.Click(kCheck));
    EXPECT_TRUE(dialog.Checked(kCheck));
    // The command link tells its parent like a button.
    ::SendMessageW(dialog.Control(kLink), WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(sample.linkCommands, 1);

    QuelvarTest::SaveWindowPng(
        window, QuelvarTest::ScreenshotFolder() + L"toolkit-sample-" + std::to_wstring(dpi) + L".png");
    EXPECT_TRUE(dialog.Click(kClose));
    ASSERT_TRUE(thread.Wait());
    EXPECT_EQ(thread.Result(), IDCANCEL);
}

TEST_F(DialogWindow, ControlsSitWhereTheLayoutPutsThem) { CheckSampleDialog(); }

TEST(HighDpi, DISABLED_SampleDialogAt144) {
    if (QuelvarTest::ScreenDpi() == 144) {
        // The second run: the same checks at this DPI.
        GlobalImpl::Create(::GetModuleHandleW(nullptr));
        CheckSampleDialog();
        GlobalImpl::Destroy();
        return;
    }
    EXPECT_EQ(QuelvarTest::RunSelfAtDpi(144, L"HighDpi.*"), 0u);
    EXPECT_EQ(QuelvarTest::ScreenDpi(), 96) << "the setting is restored";
}

TEST(HyperLinkColour, ParsesTheBrowserFormat) {
    EXPECT_EQ(HyperLink::ParseColour(L"0,0,255"), RGB(0, 0, 255));
    EXPECT_EQ(HyperLink::ParseColour(L" 128, 0 ,128"), RGB(128, 0, 128));
    EXPECT_FALSE(HyperLink::ParseColour(L"0,0"));
    EXPECT_FALSE(HyperLink::ParseColour(L"0,0,256"));
    EXPECT_FALSE(HyperLink::ParseColour(L"blue"));
}

}  // namespace
