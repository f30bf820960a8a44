// The favorite folders in one block of text.
#include "data/FolderList.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace Lumo::Data {

FolderList::FolderList(std::initializer_list<std::wstring_view> folders) {
    std::size_t units = 0;
    for (std::wstring_view folder : folders) units += folder.size();
    reserve(folders.size(), units);
    for (std::wstring_view folder : folders) push_back(folder);
}

FolderList::FolderList(TextBlock&& block, std::vector<Span>&& spans)
    : text_(std::move(block)), spans_(std::move(spans)) {
    std::size_t used = spans_.size();
    for (const Span& span : spans_) used += span.length;
    // A block mostly of other things is not kept for a few folders.
    if (used < text_.size() / 2) *this = FolderList(begin(), end());
}

void FolderList::reserve(std::size_t count, std::size_t codeUnits) {
    spans_.reserve(spans_.size() + count);
    text_.reserve(text_.size() + codeUnits + count);
}

wchar_t* FolderList::Extend(std::size_t length) {
    const std::size_t start = text_.size();
    if (length > 0xFFFFFFFEu - start) throw std::length_error("folder list too large");
    text_.resize(start + length + 1);
    text_[start + length] = L'\0';
    spans_.push_back(Span{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(length)});
    return text_.data() + start;
}

void FolderList::push_back(std::wstring_view folder) {
    if (folder.empty()) {
        Extend(0);
        return;
    }
    // `folder` may be a view into this list: take its place before growing.
    const wchar_t* own = text_.data();
    const std::less<const wchar_t*> before;
    if (!before(folder.data(), own) && before(folder.data(), own + text_.size())) {
        const std::size_t offset = static_cast<std::size_t>(folder.data() - own);
        wchar_t* place = Extend(folder.size());
        std::memmove(place, text_.data() + offset, folder.size() * sizeof(wchar_t));
        return;
    }
    std::memcpy(Extend(folder.size()), folder.data(), folder.size() * sizeof(wchar_t));
}

void FolderList::erase(std::size_t index) {
    // The text stays in the block until the list is copied or cleared.
    spans_.erase(spans_.begin() + static_cast<std::ptrdiff_t>(index));
}

void FolderList::clear() {
    text_.clear();
    spans_.clear();
}

void FolderList::sort() {
    std::sort(spans_.begin(), spans_.end(), [this](const Span& a, const Span& b) {
        return std::wstring_view(text_.data() + a.start, a.length) <
               std::wstring_view(text_.data() + b.start, b.length);
    });
}

bool operator==(const FolderList& a, const FolderList& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace Lumo::Data
