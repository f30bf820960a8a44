// Loading of the menu image list.
#include "system/MenuImages.h"

#include "system/ResourceIds.h"
#include "win/Errors.h"

namespace Lumo::System {

MenuImageList::MenuImageList(HINSTANCE resources) {
    images_.reset(::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, kImageCount, 1));
    if (!images_) throw Lumo::LastError();
    Lumo::Win::UniqueGdiObject bitmap(
        ::LoadImageW(resources, MAKEINTRESOURCEW(IDB_MENU_ICONS), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap) throw Lumo::LastError();
    if (::ImageList_AddMasked(images_.get(), static_cast<HBITMAP>(bitmap.get()), RGB(255, 0, 255)) < 0) {
        throw Lumo::AnyError();
    }
}

}  // namespace Lumo::System
