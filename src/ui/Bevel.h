// Two small drawn children of the dialogs: the header label with an etched
// line (Bevel) and the size grip in the bottom-right corner (GripBox).
#pragma once

#include <windows.h>

#include <string>

#include "ui/Control.h"

namespace Lumo::WinUi {

class Bevel : public Control {
public:
    // Creates the label as child `id` of `parent`.
    Bevel(HWND parent, int id, const std::wstring& text, int width, int height);

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void Paint(HDC dc);
};

class GripBox : public Control {
public:
    static constexpr int kId = 30000;
    // `size` is the side of the square, in pixels.
    GripBox(HWND parent, int size);
    // Puts the box into the parent's bottom-right corner.
    void MoveToCorner();

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    int size_;
};

}  // namespace Lumo::WinUi
