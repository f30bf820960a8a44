// Dialogs built in code: a window from a small in-memory template, child
// controls created by the derived class, and their arrangement as a tree of
// panes laid out by LayoutManager. PageBase is the same as a child dialog
// inside a tab control. Pixel sizes given to the toolkit are 96-DPI pixels and
// grow with the dialog's DPI.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/Bevel.h"
#include "ui/ButtonST.h"
#include "ui/Control.h"
#include "ui/HyperLink.h"
#include "ui/LayoutManager.h"
#include "ui/TabCtrl.h"
#include "win/Handle.h"

namespace Lumo::WinUi {

// Posted to itself at the end of WM_INITDIALOG; runs AfterInit.
constexpr UINT kAfterInitMessage = WM_APP + 100;

// The in-memory template: the given size in dialog units at 0,0, no controls,
// menu, class or title. Returns an empty block when it cannot be allocated.
Win::UniqueGlobal BuildDialogTemplate(int widthDu, int heightDu, bool child, bool resizable, bool toolWindow);

// The client size in pixels of `widthDu` x `heightDu` dialog units at `dpi`:
// four horizontal and eight vertical units are 8 x 16 pixels at 96 DPI.
SIZE DialogUnitsToPixels(int widthDu, int heightDu, int dpi);

class Dialog : public LayoutManager {
public:
    Dialog(std::wstring title, bool centreOnOwner);
    ~Dialog() override;

    // Runs the modal loop; the code passed to End, or -1 when the template
    // cannot be built.
    INT_PTR RunModal(int widthDu, int heightDu, HWND owner);
    // Creates the dialog as a modeless child (a page); null on failure.
    HWND CreateChild(int widthDu, int heightDu, HWND parent);

    HWND Window() const { return window_; }
    // The DPI of the dialog's device context, known from WM_INITDIALOG on.
    int Dpi() const { return dpi_; }
    // `pixels` at 96 DPI, in this dialog's pixels.
    int Scale(int pixels) const { return ::MulDiv(pixels, dpi_, 96); }
    void End(INT_PTR code);

protected:
    // The message map: true when handled, with the answer in `result`.
    virtual bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    virtual DLGPROC DialogProcedure() const { return &DialogProc; }
    virtual void CreateControls() {}
    virtual void DefineLayout() {}
    virtual void AfterInit() {}
    // WM_COMMAND and WM_NOTIFY for the derived class; true when handled.
    virtual bool OnCommand(int id, int code, HWND control);
    virtual bool OnNotify(const NMHDR& header, LRESULT& result);

    // Adding controls: each is a child with `id` at 0,0 of the given size in
    // 96-DPI pixels, in the dialog font, kept until the dialog object goes.
    HWND AddHeader(int id, const std::wstring& text, int width, int height);
    HWND AddStatic(int id, const std::wstring& text, int width, int height);
    HWND AddCheckBox(int id, const std::wstring& text, int width, int height);
    HWND AddRadio(int id, const std::wstring& text, bool startsGroup, int width, int height);
    HWND AddEdit(int id, bool multiLine, bool readOnly, DWORD style, int width, int height);
    HWND AddButton(int id, const std::wstring& text, int width, int height);
    CButtonST& AddIconButton(int id, const std::wstring& text, const std::wstring& tooltip, int width,
                             int height);
    static constexpr int kDropDownId = 1003;
    HWND AddDropDown(int width, int height);
    HyperLink& AddHyperlink(int id, const std::wstring& text, unsigned linkStyle, int width, int height);
    TabCtrl& AddTabCtrl(int id, int width, int height);

    // Building the pane tree; extra borders, gaps and sizes in 96-DPI pixels.
    std::shared_ptr<Pane> NewRoot(Orientation orientation, int extraBorder = 0);
    std::shared_ptr<Pane> NewPane(Orientation orientation, unsigned mode, int extraBorder = 0, int gap = 5);
    PanePtr ControlItem(int id, unsigned mode);
    PanePtr FixedSpace(Orientation orientation, int size);
    PanePtr GrowingSpace(Orientation orientation);
    static void Append(const std::shared_ptr<Pane>& pane, PanePtr child) { pane->Append(std::move(child)); }

    bool sizeGrip_ = false;
    bool resizableFrame_ = false;
    bool toolWindow_ = false;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    void OnInitDialog();
    void EraseBackground(HDC dc);
    void FitToContent();
    HWND CreateControl(const wchar_t* className, int id, const std::wstring& text, DWORD style, DWORD exStyle,
                       int width, int height);
    template <class T>
    T& Keep(std::shared_ptr<T> control) {
        controls_.push_back(control);
        return *control;
    }

    std::wstring title_;
    bool centreOnOwner_;
    bool child_ = false;
    HWND window_ = nullptr;
    int dpi_ = 96;
    SIZE requested_{};
    std::unique_ptr<GripBox> grip_;
    std::vector<std::shared_ptr<Control>> controls_;
};

// A page of a tab control: a child dialog that is never centred.
class PageBase : public Dialog {
public:
    explicit PageBase(std::wstring title) : Dialog(std::move(title), false) {}
};

}  // namespace Lumo::WinUi
