// The favorite folders in one block of text.
#include "data/FolderList.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>

namespace Data {

FolderList::FolderList(std::initializer_list<std::wstring_view> folders) {
    std::size_t units = 0;
    for (std::wstring_view folder : folders) units += folder.size();
    reserve(folders.size(), units);
    for (std::wstring_view folder : folders) push_back(folder);
}

FolderList::FolderList(TextBlock&& block, std::vector<std::size_t>&& ends)
    : text_(std::move(block)), ends_(std::move(ends)) {
    const std::size_t used = ends_.empty() ? 0 : ends_.back() + 1;
    text_.resize(used);
    // A block mostly of other records is not kept for a few folders.
    if (used < text_.capacity() / 2) text_.shrink_to_fit();
}

void FolderList::reserve(std::size_t count, std::size_t codeUnits) {
    ends_.reserve(ends_.size() + count);
    text_.reserve(text_.size() + codeUnits + count);
}

wchar_t* FolderList::Extend(std::size_t length) {
    const std::size_t start = text_.size();
    text_.resize(start + length + 1);
    text_[start + length] = L'\0';
    ends_.push_back(start + length);
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

void FolderList::AppendUnits(const void* units, std::size_t length) {
    wchar_t* place = Extend(length);
    if (length != 0) std::memcpy(place, units, length * sizeof(wchar_t));
}

void FolderList::erase(std::size_t index) {
    const std::size_t start = Start(index);
    const std::size_t removed = ends_[index] + 1 - start;
    text_.erase(text_.begin() + static_cast<std::ptrdiff_t>(start),
                text_.begin() + static_cast<std::ptrdiff_t>(start + removed));
    ends_.erase(ends_.begin() + static_cast<std::ptrdiff_t>(index));
    for (std::size_t i = index; i < ends_.size(); ++i) ends_[i] -= removed;
}

void FolderList::clear() {
    text_.clear();
    ends_.clear();
}

void FolderList::sort() {
    std::vector<std::size_t> order(size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [this](std::size_t a, std::size_t b) { return (*this)[a] < (*this)[b]; });
    FolderList sorted;
    sorted.reserve(size(), text_.size());
    for (std::size_t index : order) sorted.push_back((*this)[index]);
    *this = std::move(sorted);
}

}  // namespace Data
