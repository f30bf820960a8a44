// Loading of the menu image list.
#include "system/MenuImages.h"

#include <vector>

#include "system/ResourceIds.h"
#include "win/Errors.h"
#include "win/Lock.h"

namespace Lumo::System {

namespace {

constexpr std::array<int, MenuImageList::kSizes.size()> kAlphaResources{
    IDB_MENU_ICONS_ALPHA_16, IDB_MENU_ICONS_ALPHA_20, IDB_MENU_ICONS_ALPHA_24, IDB_MENU_ICONS_ALPHA_32};

// A mask that is transparent where the strip is less than half opaque. The
// icons are drawn with their alpha channel; the mask serves what works from
// a mask alone, such as the embossed look of a disabled icon button.
Lumo::Win::UniqueGdiObject MaskOf(HGDIOBJ strip) {
    DIBSECTION dib{};
    if (::GetObjectW(strip, sizeof(dib), &dib) != sizeof(dib) || !dib.dsBm.bmBits ||
        dib.dsBm.bmBitsPixel != 32)
        return {};
    const int width = dib.dsBm.bmWidth, height = dib.dsBm.bmHeight;
    const size_t stride = static_cast<size_t>((width + 15) / 16) * 2;  // rows of a bitmap are word aligned
    std::vector<BYTE> bits(stride * height, 0);
    for (int y = 0; y < height; ++y) {
        const int source =
            dib.dsBmih.biHeight > 0 ? height - 1 - y : y;  // bottom-up DIBs start at the bottom
        const auto* row = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(dib.dsBm.bmBits) +
                                                         static_cast<size_t>(dib.dsBm.bmWidthBytes) * source);
        for (int x = 0; x < width; ++x)
            if ((row[x] >> 24) < 128) bits[stride * y + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    }
    return Lumo::Win::UniqueGdiObject(::CreateBitmap(width, height, 1, 1, bits.data()));
}

Lumo::Win::UniqueImageList LoadWithAlpha(HINSTANCE resources, int id, int size) {
    // A 32-bit DIB section keeps the alpha channel, which the list blends
    // with: no colour key, no fringe of the light menu colour.
    Lumo::Win::UniqueImageList images(
        ::ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, MenuImageList::kImageCount, 1));
    Lumo::Win::UniqueGdiObject bitmap(
        ::LoadImageW(resources, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!images || !bitmap) return {};
    BITMAP info{};
    if (!::GetObjectW(bitmap.get(), sizeof(info), &info) || info.bmBitsPixel != 32 || info.bmHeight != size ||
        info.bmWidth != size * MenuImageList::kImageCount) {
        return {};
    }
    Lumo::Win::UniqueGdiObject mask = MaskOf(bitmap.get());
    if (!mask || ::ImageList_Add(images.get(), static_cast<HBITMAP>(bitmap.get()),
                                 static_cast<HBITMAP>(mask.get())) < 0)
        return {};
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
        Lumo::Win::ScopedLock hold(lock_);
        // Tried once: a resource that fails to load does not fail faster the second time.
        if (!tried_[i]) {
            tried_[i] = true;
            alpha_[i] = LoadWithAlpha(resources_, kAlphaResources[i], size);
        }
        return alpha_[i].get();
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
