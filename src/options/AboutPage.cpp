// About page: the picture of bitmap 208 on a button that looks like a plain
// picture, the product and version, and the two links.
#include "options/AboutPage.h"

#include <commctrl.h>

#include "options/PageSupport.h"
#include "system/ProductInfo.h"
#include "system/ResourceIds.h"
#include "system/SystemInfo.h"
#include "win/ModuleReference.h"

namespace Lumo::Options {
namespace {

using namespace Lumo::WinUi;

constexpr int kPictureSide = 32;

}  // namespace

void AboutPage::CreateControls() {
    picture_.reset(::ImageList_Create(kPictureSide, kPictureSide, ILC_COLOR32 | ILC_MASK, 1, 0));
    if (picture_) {
        Win::UniqueGdiObject bitmap(::LoadImageW(Win::CurrentModule(), MAKEINTRESOURCEW(IDB_ABOUT),
                                                 IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        if (bitmap)
            ::ImageList_AddMasked(picture_.get(), static_cast<HBITMAP>(bitmap.get()), RGB(255, 255, 255));
    }
    CButtonST& picture = AddIconButton(kPicture, L"", L"", kPictureSide, kPictureSide);
    picture.SetIcon(picture_.get(), 0, 0);
    picture.SetIconSide(kPictureSide);
    picture.SetFlat(true);
    picture.SetFocusRectInFlat(false);
    picture.SetPressedOffset(0, 0);
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE), text = ::GetSysColor(COLOR_BTNTEXT);
    for (auto [back, fore] : {std::pair{CButtonST::BackHover, CButtonST::TextHover},
                              std::pair{CButtonST::BackNormal, CButtonST::TextNormal},
                              std::pair{CButtonST::BackFocus, CButtonST::TextFocus}}) {
        picture.SetColour(back, face);
        picture.SetColour(fore, text);
    }

    AddStatic(kProduct, L"Quelvar v" + System::ProductVersion(), 200, 16);
    AddHyperlink(kWebSite, System::kHomePage, LinkUnderlineHover, 200, 16);
    const std::wstring mail = System::kSupportMail;
    AddHyperlink(kSupport, mail.substr(mail.find(L':') + 1), LinkUnderlineHover, 200, 16).SetTarget(mail);
    // Each text as wide as it needs, in the font and DPI of the day.
    for (int id : {kProduct, kWebSite, kSupport}) {
        HWND control = ::GetDlgItem(Window(), id);
        ::SetWindowPos(control, nullptr, 0, 0, TextWidth(control, WindowText(control)) + Scale(4), Scale(16),
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void AboutPage::DefineLayout() {
    auto root = NewRoot(Vertical, 10);
    auto row = NewPane(Horizontal, FixedHeight, 0, 12);
    Append(row, ControlItem(kPicture, FixedSize));
    auto texts = NewPane(Vertical, FixedSize, 0, 4);
    Append(texts, ControlItem(kProduct, FixedSize));
    Append(texts, ControlItem(kWebSite, FixedSize));
    Append(texts, ControlItem(kSupport, FixedSize));
    Append(row, texts);
    Append(row, GrowingSpace(Horizontal));
    Append(root, row);
    Append(root, GrowingSpace(Vertical));
}

bool AboutPage::OnCommand(int id, int, HWND) {
    // The picture is only a picture.
    return id == kPicture;
}

}  // namespace Lumo::Options
