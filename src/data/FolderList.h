// The favorite folders in memory: every text in one block, each followed by a
// zero, and where each one lies in it. Reading, copying and freeing ten
// thousand favorites then takes two allocations rather than ten thousand (and
// a list read from a file keeps the texts where the file had them); to its
// users the list is a sequence of string views in the stored order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace Lumo::Data {

class FolderList {
public:
    // Random access over the positions of one list; yields views into it,
    // valid until the list changes.
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = std::wstring_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::wstring_view;

        const_iterator() = default;
        const_iterator(const FolderList* list, std::size_t index) : list_(list), index_(index) {}

        std::wstring_view operator*() const { return (*list_)[index_]; }
        std::wstring_view operator[](difference_type n) const { return *(*this + n); }
        const_iterator& operator++() { return *this += 1; }
        const_iterator operator++(int) {
            const_iterator was = *this;
            ++*this;
            return was;
        }
        const_iterator& operator--() { return *this -= 1; }
        const_iterator operator--(int) {
            const_iterator was = *this;
            --*this;
            return was;
        }
        const_iterator& operator+=(difference_type n) {
            index_ = static_cast<std::size_t>(static_cast<difference_type>(index_) + n);
            return *this;
        }
        const_iterator& operator-=(difference_type n) { return *this += -n; }
        friend const_iterator operator+(const_iterator i, difference_type n) { return i += n; }
        friend const_iterator operator+(difference_type n, const_iterator i) { return i += n; }
        friend const_iterator operator-(const_iterator i, difference_type n) { return i -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
            return static_cast<difference_type>(a.index_) - static_cast<difference_type>(b.index_);
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) {
            return a.index_ == b.index_;
        }
        friend bool operator!=(const const_iterator& a, const const_iterator& b) {
            return a.index_ != b.index_;
        }
        friend bool operator<(const const_iterator& a, const const_iterator& b) {
            return a.index_ < b.index_;
        }
        friend bool operator>(const const_iterator& a, const const_iterator& b) {
            return a.index_ > b.index_;
        }
        friend bool operator<=(const const_iterator& a, const const_iterator& b) {
            return a.index_ <= b.index_;
        }
        friend bool operator>=(const const_iterator& a, const const_iterator& b) {
            return a.index_ >= b.index_;
        }

    private:
        const FolderList* list_ = nullptr;
        std::size_t index_ = 0;
    };
    // Growing a block leaves the new units unset: they are written at once,
    // so setting them to zero first would only cost time.
    template <class T>
    struct UninitializedAllocator : std::allocator<T> {
        template <class U>
        struct rebind {
            using other = UninitializedAllocator<U>;
        };
        UninitializedAllocator() = default;
        template <class U>
        UninitializedAllocator(const UninitializedAllocator<U>&) {}
        template <class U>
        void construct(U* place) {
            ::new (static_cast<void*>(place)) U;
        }
        template <class U, class... Args>
        void construct(U* place, Args&&... args) {
            ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
        }
    };
    // Code units holding the texts, each followed by a zero.
    using TextBlock = std::vector<wchar_t, UninitializedAllocator<wchar_t>>;
    // Where one text lies in the block, in code units.
    struct Span {
        std::uint32_t start;
        std::uint32_t length;
    };

    using iterator = const_iterator;
    using value_type = std::wstring_view;
    using size_type = std::size_t;

    FolderList() = default;
    FolderList(std::initializer_list<std::wstring_view> folders);
    // Takes over `block`, which holds the texts at `spans`, each followed by
    // a zero; what lies between them is never looked at.
    FolderList(TextBlock&& block, std::vector<Span>&& spans);
    template <class Iterator>
    FolderList(Iterator first, Iterator last) {
        for (; first != last; ++first) push_back(*first);
    }

    std::size_t size() const { return spans_.size(); }
    bool empty() const { return spans_.empty(); }
    std::wstring_view operator[](std::size_t index) const {
        return std::wstring_view(text_.data() + spans_[index].start, spans_[index].length);
    }
    // The text at `index` with its terminating zero, for Win32 calls.
    const wchar_t* c_str(std::size_t index) const { return text_.data() + spans_[index].start; }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size()); }

    // Room for `count` more folders holding `codeUnits` code units in all.
    void reserve(std::size_t count, std::size_t codeUnits = 0);
    void push_back(std::wstring_view folder);
    // Removes the folder at `index`; the others keep their order.
    void erase(std::size_t index);
    void clear();
    // Orders the folders by their code units, as std::sort orders strings.
    void sort();

    friend bool operator==(const FolderList& a, const FolderList& b);
    friend bool operator!=(const FolderList& a, const FolderList& b) { return !(a == b); }

private:
    // Grows the block by `length` code units and a zero and adds the span;
    // returns where the code units go.
    wchar_t* Extend(std::size_t length);

    TextBlock text_;
    std::vector<Span> spans_;  // in list order
};

}  // namespace Lumo::Data
