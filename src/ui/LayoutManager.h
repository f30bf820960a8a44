// The layout manager of the dialog toolkit: a tree of panes (rows and columns)
// whose leaves are controls or spacers, and the arithmetic that shares a
// rectangle among them. The arithmetic works on plain numbers; only the items
// that hold a control touch a window, when they are finally moved.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

namespace Lumo::WinUi {

// Resize mode of a pane or item, a bit set.
enum ResizeMode : unsigned {
    Stretch = 0,
    FixedWidth = 0x1,
    PercentWidth = 0x2,
    FixedHeight = 0x4,
    PercentHeight = 0x8,
    FixedSize = FixedWidth | FixedHeight,
    AlignRight = 0x20,
    AlignCentreHorizontal = 0x30,
    AlignBottom = 0x80,
    AlignCentreVertical = 0xC0,
    FillWidth = 0x100,
    FillHeight = 0x200,
};

enum Orientation : int { Horizontal = 0, Vertical = 1 };

class LayoutManager {
public:
    // A node of the tree. Sizes are pixels; -1 as a preferred size means
    // "none, stretch", as a maximum "unbounded".
    class PaneBase {
    public:
        explicit PaneBase(unsigned mode) : mode_(mode) {}
        virtual int PreferredWidth(int parentWidth) const = 0;
        virtual int PreferredHeight(int parentHeight) const = 0;
        virtual int MinWidth() const = 0;
        virtual int MaxWidth() const = 0;
        virtual int MinHeight() const = 0;
        virtual int MaxHeight() const = 0;
        virtual void MoveTo(const RECT& cell) = 0;
        virtual ~PaneBase() = default;

        unsigned Mode() const { return mode_; }
        // The cell this node was last given.
        const RECT& Cell() const { return cell_; }

    protected:
        unsigned mode_;
        RECT cell_{};
    };
    using PanePtr = std::shared_ptr<PaneBase>;

    // A control, or an empty spacer when it has no window.
    class PaneItem : public PaneBase {
    public:
        // A spacer (or, for tests, a window-less control) of the given sizes.
        PaneItem(unsigned mode, int width, int height, int minWidth, int minHeight);
        // The control with this id in the manager's window, sized as it is now;
        // an id that does not exist gives an empty item of size 0.
        PaneItem(const LayoutManager& manager, int controlId, unsigned mode);

        int PreferredWidth(int parentWidth) const override;
        int PreferredHeight(int parentHeight) const override;
        int MinWidth() const override;
        int MaxWidth() const override;
        int MinHeight() const override;
        int MaxHeight() const override;
        void MoveTo(const RECT& cell) override;

        HWND Window() const { return window_; }
        // Where a control of `current` size goes in `cell` under `mode`: fixed
        // dimensions keep their size and follow the alignment bits, the others
        // take the cell's.
        static RECT Place(unsigned mode, const RECT& cell, SIZE current);

    private:
        HWND window_ = nullptr;
        int width_ = 0, height_ = 0, minWidth_ = 0, minHeight_ = 0;
        bool isComboBox_ = false;
    };

    // A row (Horizontal) or column (Vertical) of children.
    class Pane : public PaneBase {
    public:
        Pane(Orientation orientation, unsigned mode, int gap, int extraBorder = 0);

        int PreferredWidth(int parentWidth) const override;
        int PreferredHeight(int parentHeight) const override;
        int MinWidth() const override;
        int MaxWidth() const override;
        int MinHeight() const override;
        int MaxHeight() const override;
        void MoveTo(const RECT& cell) override;

        // Appends a child; a pane of this pane's own orientation is first wrapped
        // in one of the other orientation, and a fixed-size pane keeps its
        // minimum across this pane's direction as its secondary size.
        void Append(PanePtr child);

        Orientation GetOrientation() const { return orientation_; }
        const std::vector<PanePtr>& Children() const { return children_; }
        int SecondarySize() const { return secondary_; }
        void SetSecondarySize(int size) { secondary_ = size; }

    private:
        int Along(int width, int height) const { return orientation_ == Horizontal ? width : height; }
        int Gaps() const;

        Orientation orientation_;
        std::vector<PanePtr> children_;
        int secondary_ = 0;
        int gap_;
        int border_;
    };

    explicit LayoutManager(HWND window = nullptr) : layoutWindow_(window) {}
    virtual ~LayoutManager() = default;
    LayoutManager(const LayoutManager&) = delete;
    LayoutManager& operator=(const LayoutManager&) = delete;

    // The client rectangle of the window.
    virtual RECT LayoutArea() const;
    // Replaces the root pane and lays the window out again.
    virtual void SetRootPane(std::shared_ptr<Pane> root);
    virtual void UpdateLayout();
    // Moves the root pane to `area`; an empty rectangle changes nothing.
    virtual void PlaceRoot(const RECT& area);

    HWND LayoutWindow() const { return layoutWindow_; }
    const std::shared_ptr<Pane>& RootPane() const { return root_; }
    int MarginX() const { return marginX_; }
    int MarginY() const { return marginY_; }

protected:
    void SetLayoutWindow(HWND window) { layoutWindow_ = window; }
    void SetMargins(int x, int y) {
        marginX_ = x;
        marginY_ = y;
    }
    void ReleaseRootPane() { root_.reset(); }

private:
    HWND layoutWindow_;
    std::shared_ptr<Pane> root_;
    int marginX_ = 5;
    int marginY_ = 5;
};

}  // namespace Lumo::WinUi
