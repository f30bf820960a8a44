// CButtonST: an owner-drawn push button with an icon from an image list, a
// text, or both, a tooltip, and a flat look whose border shows only while the
// mouse is over it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "ui/Control.h"

namespace Lumo::WinUi {

class CButtonST : public Control {
public:
    enum ColourIndex { BackHover = 0, TextHover, BackNormal, TextNormal, BackFocus, TextFocus, ColourCount };

    // Creates the button as child `id` of `parent`, `width` x `height` pixels;
    // `scale` is the parent's pixels per 96-DPI pixel (for the icon and spacing).
    CButtonST(HWND parent, int id, const std::wstring& text, int width, int height, double scale = 1.0);

    // Icons drawn while hovered and otherwise, by index into `images` (not
    // owned); -1 for none.
    void SetIcon(HIMAGELIST images, int hoverIndex, int normalIndex);
    // Side of the square the icon is drawn in, in 96-DPI pixels (16 unless
    // set), for pictures larger than the menu icons.
    void SetIconSide(int side) { iconSide_ = side; }
    void SetFlat(bool flat);
    void SetFocusRectInFlat(bool draw);
    void SetPressedOffset(int dx, int dy);
    void SetColour(ColourIndex which, COLORREF colour);
    void SetTooltipText(const std::wstring& text);
    HWND Tooltip() const { return tooltip_; }
    bool Hovering() const { return hovering_; }

    bool DrawItem(const DRAWITEMSTRUCT& item) override;

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void DrawIcon(HDC dc, int index, int x, int y, bool disabled) const;

    HIMAGELIST images_ = nullptr;
    int hoverIcon_ = -1;
    int normalIcon_ = -1;
    int iconSide_ = 16;
    bool flat_ = true;
    bool focusInFlat_ = false;
    int offsetX_ = 1, offsetY_ = 1;
    COLORREF colours_[ColourCount];
    HWND tooltip_ = nullptr;  // owned: destroyed with the button
    bool hovering_ = false;
    double scale_;
};

}  // namespace Lumo::WinUi
