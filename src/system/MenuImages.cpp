// Loading of the menu image list.
#include "system/MenuImages.h"

#include "system/ResourceIds.h"
#include "win/Errors.h"

namespace Lumo::System {

namespace {

constexpr std::array<int, MenuImageList::kSizes.size()> kAlphaResources{
    IDB_MENU_ICONS_ALPHA_16, IDB_MENU_ICONS_ALPHA_20, IDB_MENU_ICONS_ALPHA_24, IDB_MENU_ICONS_ALPHA_32};

Lumo::Win::UniqueImageList LoadWithAlpha(HINSTANCE resources, int id, int size) {
    // A 32-bit DIB section keeps the alpha channel, and a list without a mask
    // blends with it: no colour key, no fringe of the light menu colour.
    Lumo::Win::UniqueImageList images(
        ::ImageList_Create(size, size, ILC_COLOR32, MenuImageList::kImageCount, 1));
    Lumo::Win::UniqueGdiObject bitmap(
        ::LoadImageW(resources, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!images || !bitmap) return {};
    BITMAP info{};
    if (!::GetObjectW(bitmap.get(), sizeof(info), &info) || info.bmBitsPixel != 32 || info.bmHeight != size ||
        info.bmWidth != size * MenuImageList::kImageCount) {
        return {};
    }
    if (::ImageList_Add(images.get(), static_cast<HBITMAP>(bitmap.get()), nullptr) < 0) return {};
    return images;
}

}  // namespace

MenuImageList::MenuImageList(HINSTANCE resources) : resources_(resources) {
    images_.reset(::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, kImageCount, 1));
    if (!images_) throw Lumo::LastError();
    Lumo::Win::UniqueGdiObject bitmap(
        ::LoadImageW(resources, MAKEINTRESOURCEW(IDB_MENU_ICONS), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap) throw Lumo::LastError();
    if (::ImageList_AddMasked(images_.get(), static_cast<HBITMAP>(bitmap.get()), RGB(255, 0, 255)) < 0) {
        throw Lumo::AnyError();
    }
}

HIMAGELIST MenuImageList::WithAlpha(int size) {
    for (size_t i = 0; i < kSizes.size(); ++i) {
        if (kSizes[i] != size) continue;
        ::AcquireSRWLockExclusive(&lock_);
        // Tried once: a resource that fails to load does not fail faster the second time.
        if (!tried_[i]) {
            tried_[i] = true;
            alpha_[i] = LoadWithAlpha(resources_, kAlphaResources[i], size);
        }
        HIMAGELIST images = alpha_[i].get();
        ::ReleaseSRWLockExclusive(&lock_);
        return images;
    }
    return nullptr;
}

int MenuIconSizeFor(int side) {
    int size = MenuImageList::kSizes.front();
    for (int candidate : MenuImageList::kSizes)
        if (candidate <= side) size = candidate;
    return size;
}

HIMAGELIST MenuImagesWithAlpha(int size) {
    MenuImageList* list = MenuImageList::Instance();
    return list ? list->WithAlpha(size) : nullptr;
}

HIMAGELIST MenuImagesForSide(HIMAGELIST images, int side) {
    if (!images || images != MenuImages() || side <= 16) return images;
    HIMAGELIST sized = MenuImagesWithAlpha(MenuIconSizeFor(side));
    return sized ? sized : images;
}

}  // namespace Lumo::System
