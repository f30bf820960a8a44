// The "About" page of the Options dialog: the product picture, name and
// version, and links to the web site and to support.
#pragma once

#include "ui/Dialog.h"
#include "win/Handle.h"

namespace Lumo::Options {

class AboutPage : public WinUi::PageBase {
public:
    enum : int { kPicture = 1000, kProduct = 1001, kWebSite = 1003, kSupport = 1004 };

    AboutPage() : PageBase(L"") {}

protected:
    void CreateControls() override;
    void DefineLayout() override;
    bool OnCommand(int id, int code, HWND control) override;

private:
    Win::UniqueImageList picture_;
};

}  // namespace Lumo::Options
