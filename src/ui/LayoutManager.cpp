// Layout arithmetic: rows and columns share their length among fixed,
// percentage and stretching children, respecting every child's minimum and
// maximum, and items move their controls into the cells they receive.
#include "ui/LayoutManager.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace Lumo::WinUi {
namespace {

// Sizes below this are never asked of a stretching control.
constexpr int kSmallest = 5;
// Differences this small are given to one child instead of being split.
constexpr int kSplitThreshold = 6;

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    if (::GetClassNameW(window, name, static_cast<int>(std::size(name))) == 0) return {};
    return name;
}

// One child's share of the pane's length while it is being computed.
struct Share {
    int size = 0;
    int min = 0;
    int max = -1;  // -1: unbounded
    bool clamped = false;
};

// Clamps each share to its bounds, noting the difference to be taken from (or
// given to) the others.
int ClampShares(std::vector<Share*>& shares) {
    int difference = 0;
    for (Share* s : shares) {
        if (s->size < s->min) {
            difference -= s->min - s->size;
            s->size = s->min;
            s->clamped = true;
        } else if (s->max >= 0 && s->size > s->max) {
            difference += s->size - s->max;
            s->size = s->max;
            s->clamped = true;
        }
    }
    return difference;
}

// Spreads `difference` over the unclamped shares in proportion to their sizes;
// a share pushed past a bound is clamped and the rest carried on.
void Spread(std::vector<Share*>& shares, int difference) {
    while (difference != 0) {
        std::vector<Share*> open;
        int sum = 0;
        for (Share* s : shares) {
            if (!s->clamped) {
                open.push_back(s);
                sum += s->size;
            }
        }
        if (open.empty()) return;
        const int passDifference = difference;
        for (Share* s : open) {
            if (difference == 0) break;
            int part = 0;
            if (std::abs(passDifference) >= kSplitThreshold && sum > 0)
                part = static_cast<int>(static_cast<long long>(passDifference) * s->size / sum);
            if (part == 0) part = difference;
            part = difference > 0 ? std::min(part, difference) : std::max(part, difference);
            int wanted = s->size + part;
            int applied = part;
            if (wanted < s->min) {
                applied = s->min - s->size;
                s->clamped = true;
            } else if (s->max >= 0 && wanted > s->max) {
                applied = s->max - s->size;
                s->clamped = true;
            }
            s->size += applied;
            difference -= applied;
        }
    }
}

}  // namespace

// PaneItem -------------------------------------------------------------------

LayoutManager::PaneItem::PaneItem(unsigned mode, int width, int height, int minWidth, int minHeight)
    : PaneBase(mode), width_(width), height_(height), minWidth_(minWidth), minHeight_(minHeight) {}

LayoutManager::PaneItem::PaneItem(const LayoutManager& manager, int controlId, unsigned mode)
    : PaneBase(mode) {
    window_ = ::GetDlgItem(manager.LayoutWindow(), controlId);
    if (!window_) return;
    RECT r{};
    if (!::GetWindowRect(window_, &r)) {
        window_ = nullptr;
        return;
    }
    width_ = minWidth_ = Width(r);
    height_ = minHeight_ = Height(r);
    const std::wstring name = ClassName(window_);
    isComboBox_ = name == L"ComboBox" || name == L"ComboBoxEx32";
}

int LayoutManager::PaneItem::PreferredWidth(int parentWidth) const {
    if (mode_ & FixedWidth) return width_;
    if (mode_ & PercentWidth) return parentWidth * width_ / 100;
    return -1;
}

int LayoutManager::PaneItem::PreferredHeight(int parentHeight) const {
    if (mode_ & FixedHeight) return height_;
    if (mode_ & PercentHeight) return parentHeight * height_ / 100;
    return -1;
}

int LayoutManager::PaneItem::MinWidth() const {
    return (mode_ & FixedWidth) ? width_ : std::max(minWidth_, kSmallest);
}
int LayoutManager::PaneItem::MaxWidth() const { return (mode_ & FixedWidth) ? width_ : -1; }
int LayoutManager::PaneItem::MinHeight() const {
    return (mode_ & FixedHeight) ? height_ : std::max(minHeight_, kSmallest);
}
int LayoutManager::PaneItem::MaxHeight() const { return (mode_ & FixedHeight) ? height_ : -1; }

RECT LayoutManager::PaneItem::Place(unsigned mode, const RECT& cell, SIZE current) {
    RECT r = cell;
    if ((mode & FixedWidth) && !(mode & FillWidth)) {
        const int free = Width(cell) - current.cx;
        const unsigned bits = mode & AlignCentreHorizontal;
        r.left = cell.left + (bits == AlignCentreHorizontal ? free / 2 : bits == AlignRight ? free : 0);
        r.right = r.left + current.cx;
    }
    if ((mode & FixedHeight) && !(mode & FillHeight)) {
        const int free = Height(cell) - current.cy;
        const unsigned bits = mode & AlignCentreVertical;
        r.top = cell.top + (bits == AlignCentreVertical ? free / 2 : bits == AlignBottom ? free : 0);
        r.bottom = r.top + current.cy;
    }
    return r;
}

void LayoutManager::PaneItem::MoveTo(const RECT& cell) {
    cell_ = cell;
    if (!window_) return;
    RECT now{};
    if (!::GetWindowRect(window_, &now)) return;
    RECT r = Place(mode_, cell, SIZE{Width(now), Height(now)});
    const LONG style = ::GetWindowLongW(window_, GWL_STYLE);
    const bool dropsDown = isComboBox_ && (style & 0x3) != CBS_SIMPLE;
    if (dropsDown) {
        // The window's height includes the opened list, which the layout must
        // not shrink to the height of the closed box.
        RECT list{};
        const int closed = Height(now);
        int full = height_;
        if (::SendMessageW(window_, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&list)))
            full = std::max(full, static_cast<int>(list.bottom - now.top));
        r.bottom = r.top + std::max(full, closed);
    }
    ::MoveWindow(window_, r.left, r.top, Width(r), Height(r), TRUE);
    if (isComboBox_ && !dropsDown) {
        // A simple combo box ends where its edit part ends.
        if (HWND edit = ::GetDlgItem(window_, 1000)) {
            RECT e{};
            if (::GetWindowRect(edit, &e)) {
                ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&e), 2);
                RECT w{};
                ::GetClientRect(window_, &w);
                ::MoveWindow(window_, r.left, r.top, Width(r), e.bottom + (Height(r) - Height(w)), TRUE);
            }
        }
    }
}

// Pane -------------------------------------------------------------------------

LayoutManager::Pane::Pane(Orientation orientation, unsigned mode, int gap, int extraBorder)
    : PaneBase(mode), orientation_(orientation), gap_(gap), border_(extraBorder) {}

int LayoutManager::Pane::Gaps() const {
    return children_.empty() ? 0 : static_cast<int>(children_.size() - 1) * gap_;
}

int LayoutManager::Pane::PreferredWidth(int parentWidth) const {
    if (mode_ & PercentWidth) return parentWidth * secondary_ / 100;
    if (mode_ & FixedWidth) return secondary_;
    return 0;
}

int LayoutManager::Pane::PreferredHeight(int parentHeight) const {
    if (mode_ & PercentHeight) return parentHeight * secondary_ / 100;
    if (mode_ & FixedHeight) return secondary_;
    return 0;
}

int LayoutManager::Pane::MinWidth() const {
    if (orientation_ == Horizontal) {
        int sum = 0;
        for (const auto& c : children_) sum += std::max(c->MinWidth(), kSmallest);
        return sum + Gaps() + 2 * border_;
    }
    if ((mode_ & FixedWidth) && secondary_ != 0) return secondary_;
    int largest = 0;
    for (const auto& c : children_) largest = std::max(largest, c->MinWidth());
    return largest + 2 * border_;
}

int LayoutManager::Pane::MinHeight() const {
    if (orientation_ == Vertical) {
        int sum = 0;
        for (const auto& c : children_) sum += std::max(c->MinHeight(), kSmallest);
        return sum + Gaps() + 2 * border_;
    }
    if ((mode_ & FixedHeight) && secondary_ != 0) return secondary_;
    int largest = 0;
    for (const auto& c : children_) largest = std::max(largest, c->MinHeight());
    return largest + 2 * border_;
}

int LayoutManager::Pane::MaxWidth() const {
    if (orientation_ == Vertical && (mode_ & FixedWidth) && secondary_ != 0) return secondary_;
    int total = 0;
    for (const auto& c : children_) {
        const int m = c->MaxWidth();
        if (m < 0) return -1;
        total = orientation_ == Horizontal ? total + m : std::max(total, m);
    }
    return total + (orientation_ == Horizontal ? Gaps() : 0) + 2 * border_;
}

int LayoutManager::Pane::MaxHeight() const {
    if (orientation_ == Horizontal && (mode_ & FixedHeight) && secondary_ != 0) return secondary_;
    int total = 0;
    for (const auto& c : children_) {
        const int m = c->MaxHeight();
        if (m < 0) return -1;
        total = orientation_ == Vertical ? total + m : std::max(total, m);
    }
    return total + (orientation_ == Vertical ? Gaps() : 0) + 2 * border_;
}

void LayoutManager::Pane::Append(PanePtr child) {
    if (auto pane = std::dynamic_pointer_cast<Pane>(child)) {
        if (pane->orientation_ == orientation_) {
            auto wrapper =
                std::make_shared<Pane>(orientation_ == Horizontal ? Vertical : Horizontal, pane->mode_, gap_);
            wrapper->Append(pane);
            pane = wrapper;
            child = wrapper;
        }
        if (orientation_ == Horizontal && (pane->mode_ & FixedWidth)) pane->secondary_ = pane->MinWidth();
        if (orientation_ == Vertical && (pane->mode_ & FixedHeight)) pane->secondary_ = pane->MinHeight();
    }
    children_.push_back(std::move(child));
}

void LayoutManager::Pane::MoveTo(const RECT& cell) {
    cell_ = cell;
    if (children_.empty()) return;
    const bool row = orientation_ == Horizontal;
    const unsigned fixedBit = row ? FixedWidth : FixedHeight;
    const unsigned percentBit = row ? PercentWidth : PercentHeight;
    const unsigned fillBit = row ? FillWidth : FillHeight;

    const int length = row ? Width(cell) : Height(cell);
    int left = std::max(0, length - 2 * border_ - Gaps());
    RECT inner = cell;
    ::InflateRect(&inner, -border_, -border_);

    const size_t n = children_.size();
    std::vector<Share> shares(n);
    for (size_t i = 0; i < n; ++i) {
        const auto& c = *children_[i];
        shares[i].min = row ? c.MinWidth() : c.MinHeight();
        shares[i].max = row ? c.MaxWidth() : c.MaxHeight();
    }

    // Fixed children first, then percentages of what they leave.
    for (size_t i = 0; i < n; ++i) {
        if (!(children_[i]->Mode() & fixedBit)) continue;
        const auto& c = *children_[i];
        shares[i].size = std::max(0, row ? c.PreferredWidth(length) : c.PreferredHeight(length));
        left = std::max(0, left - shares[i].size);
    }
    std::vector<Share*> percent;
    const int afterFixed = left;
    for (size_t i = 0; i < n; ++i) {
        const auto& c = *children_[i];
        if ((c.Mode() & fixedBit) || !(c.Mode() & percentBit)) continue;
        shares[i].size = std::max(0, row ? c.PreferredWidth(afterFixed) : c.PreferredHeight(afterFixed));
        percent.push_back(&shares[i]);
    }
    Spread(percent, ClampShares(percent));
    for (Share* s : percent) left = std::max(0, left - s->size);

    // Stretching children share the rest equally, within their bounds.
    std::vector<Share*> stretching;
    for (size_t i = 0; i < n; ++i)
        if (!(children_[i]->Mode() & (fixedBit | percentBit))) stretching.push_back(&shares[i]);
    if (!stretching.empty()) {
        const int each = left / static_cast<int>(stretching.size());
        for (Share* s : stretching) s->size = each;
        Spread(stretching, ClampShares(stretching));
        for (Share* s : stretching) left -= s->size;
    }

    // Fixed children that may fill take what is still free.
    if (left > 0) {
        std::vector<Share*> fill;
        for (size_t i = 0; i < n; ++i)
            if ((children_[i]->Mode() & fixedBit) && (children_[i]->Mode() & fillBit))
                fill.push_back(&shares[i]);
        for (size_t k = 0; k < fill.size(); ++k) {
            const int part = (k + 1 == fill.size()) ? left : left / static_cast<int>(fill.size() - k);
            fill[k]->size += part;
            left -= part;
        }
    }

    int position = row ? inner.left : inner.top;
    for (size_t i = 0; i < n; ++i) {
        RECT child = inner;
        if (row) {
            child.left = position;
            child.right = position + shares[i].size;
        } else {
            child.top = position;
            child.bottom = position + shares[i].size;
        }
        children_[i]->MoveTo(child);
        position += shares[i].size + gap_;
    }
}

// LayoutManager -----------------------------------------------------------------

RECT LayoutManager::LayoutArea() const {
    RECT r{};
    if (layoutWindow_) ::GetClientRect(layoutWindow_, &r);
    return r;
}

void LayoutManager::SetRootPane(std::shared_ptr<Pane> root) {
    root_.reset();
    root_ = std::move(root);
    UpdateLayout();
}

void LayoutManager::PlaceRoot(const RECT& area) {
    if (!root_ || ::IsRectEmpty(&area)) return;
    root_->MoveTo(area);
}

void LayoutManager::UpdateLayout() {
    RECT area = LayoutArea();
    ::InflateRect(&area, -marginX_, -marginY_);
    PlaceRoot(area);
    if (!layoutWindow_) return;
    // Up-down controls stay beside their buddies only when told again.
    for (HWND child = ::GetWindow(layoutWindow_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child) || ClassName(child) != UPDOWN_CLASSW) continue;
        const LONG style = ::GetWindowLongW(child, GWL_STYLE);
        if (!(style & (UDS_ALIGNLEFT | UDS_ALIGNRIGHT))) continue;
        if (HWND buddy = reinterpret_cast<HWND>(::SendMessageW(child, UDM_GETBUDDY, 0, 0)))
            ::SendMessageW(child, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
    }
    ::InvalidateRect(layoutWindow_, nullptr, TRUE);
}

}  // namespace Lumo::WinUi
