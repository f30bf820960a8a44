// The menu image list: 26 icons of 16 x 16 pixels from the module's artwork,
// shared by the owner-drawn menu entries and the icon buttons of the dialogs,
// addressed by index.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "system/Singleton.h"
#include "win/Handle.h"

namespace Lumo::System {

class MenuImageList : public Lumo::Global::Singleton<MenuImageList> {
public:
    static constexpr int kImageCount = 26;

    // Loads the icons from the bitmap resource of `resources`; throws
    // Lumo::LastError or Lumo::AnyError when it cannot.
    explicit MenuImageList(HINSTANCE resources);
    HIMAGELIST Handle() const { return images_.get(); }

private:
    Lumo::Win::UniqueImageList images_;
};

// The process's menu image list; null outside the module's lifetime.
inline HIMAGELIST MenuImages() {
    const MenuImageList* list = MenuImageList::Instance();
    return list ? list->Handle() : nullptr;
}

}  // namespace Lumo::System
