// The tab control of the Options dialog: a SysTabControl32 that speaks in its
// parent's font, with the few operations the dialog needs.
#pragma once

#include <windows.h>

#include <string>

#include "ui/Control.h"

namespace Lumo::WinUi {

class TabCtrl : public Control {
public:
    // `extraStyle`: tab styles (TCS_*) beyond the child, visible, tab-stop ones.
    TabCtrl(HWND parent, int id, int width, int height, DWORD extraStyle = 0);

    // Appends a tab; returns its index.
    int AddTab(const std::wstring& text);
    int Count() const;
    int Selected() const;
    void Select(int index);
    // The area where pages go, in the parent's client coordinates.
    RECT DisplayArea() const;

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

}  // namespace Lumo::WinUi
