// A hyperlink text: drawn in the browser's link colours with a hand cursor;
// a click opens its target with the shell or, in command mode, tells the
// parent with WM_COMMAND as a button would.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "ui/Control.h"
#include "win/Handle.h"

namespace Lumo::WinUi {

enum LinkStyle : unsigned {
    LinkUnderlined = 0x1,      // always underlined
    LinkUnderlineHover = 0x2,  // underlined while the mouse is over it
    LinkCommand = 0x4,         // a click sends WM_COMMAND instead of opening the target
};

class HyperLink : public Control {
public:
    HyperLink(HWND parent, int id, const std::wstring& text, unsigned linkStyle, int width, int height);

    // What the shell opens; the text when empty.
    void SetTarget(const std::wstring& target) { target_ = target; }
    const std::wstring& Target() const { return target_; }
    COLORREF LinkColour() const { return link_; }
    COLORREF VisitedColour() const { return visited_; }
    bool Visited() const { return isVisited_; }
    // Performs what a click does.
    void Activate();

    // "R,G,B" as the browser stores its anchor colours.
    static std::optional<COLORREF> ParseColour(const std::wstring& text);

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void Paint(HDC dc);
    HFONT UnderlinedFont();

    unsigned style_;
    std::wstring target_;
    COLORREF link_;
    COLORREF visited_;
    bool isVisited_ = false;
    bool hovering_ = false;
    HFONT underlinedFrom_ = nullptr;
    Win::UniqueGdiObject underlined_;
};

}  // namespace Lumo::WinUi
