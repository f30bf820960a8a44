// The menu image list: 26 icons of 16 x 16 pixels from the module's artwork,
// shared by the owner-drawn menu entries and the icon buttons of the dialogs,
// addressed by index; and the same icons with their alpha channel at the
// small-icon sizes of higher DPIs, for dark menus and high contrast.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>

#include "system/Singleton.h"
#include "win/Handle.h"

namespace Lumo::System {

class MenuImageList : public Lumo::Global::Singleton<MenuImageList> {
public:
    static constexpr int kImageCount = 26;
    // The sizes the artwork comes in, smallest first.
    static constexpr std::array<int, 4> kSizes{16, 20, 24, 32};

    // Loads the icons from the bitmap resource of `resources`; throws
    // Lumo::LastError or Lumo::AnyError when it cannot.
    explicit MenuImageList(HINSTANCE resources);
    HIMAGELIST Handle() const { return images_.get(); }

    // The icons with their alpha channel at `size` pixels, one of kSizes;
    // loaded on first use (from any thread) and kept; null when `size` is
    // none of them or the artwork cannot be loaded.
    HIMAGELIST WithAlpha(int size);

private:
    HINSTANCE resources_;
    Lumo::Win::UniqueImageList images_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::array<Lumo::Win::UniqueImageList, kSizes.size()> alpha_;
    std::array<bool, kSizes.size()> tried_{};
};

// The process's menu image list; null outside the module's lifetime.
inline HIMAGELIST MenuImages() {
    const MenuImageList* list = MenuImageList::Instance();
    return list ? list->Handle() : nullptr;
}

// The largest size of the artwork that fits in `side` pixels (16 at least).
int MenuIconSizeFor(int side);

// The menu icons with their alpha channel at `size` (one of the artwork's
// sizes); null outside the module's lifetime or when they cannot be loaded.
HIMAGELIST MenuImagesWithAlpha(int size);

// What an icon button shows in a square of `side` pixels: the menu icons at
// the largest size of the artwork that fits when `images` is the menu image
// list and `side` is larger than 16 (so no icon is stretched), else `images`.
HIMAGELIST MenuImagesForSide(HIMAGELIST images, int side);

}  // namespace Lumo::System
