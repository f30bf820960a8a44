// Dialog base: template, dialog procedure, the add-control operations and the
// pane-building helpers, scaled to the dialog's DPI.
#include "ui/Dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "win/Boundary.h"
#include "win/Errors.h"
#include "win/ModuleReference.h"

namespace Lumo::WinUi {
namespace {

constexpr size_t kTemplateBytes = 1024;
constexpr int kGripSize = 13;
constexpr int kMargin = 5;
constexpr int kGap = 5;

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    if (::GetClassNameW(window, name, static_cast<int>(std::size(name))) == 0) return {};
    return name;
}

RECT ChildRect(HWND parent, HWND child) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

Win::UniqueGdiObject RectRegion(const RECT& r) { return Win::UniqueGdiObject(::CreateRectRgnIndirect(&r)); }

void Subtract(HGDIOBJ from, HGDIOBJ what) {
    if (from && what)
        ::CombineRgn(static_cast<HRGN>(from), static_cast<HRGN>(from), static_cast<HRGN>(what), RGN_DIFF);
}

// Messages whose answer a dialog procedure returns directly instead of
// through DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
    switch (message) {
        case WM_INITDIALOG:
        case WM_CHARTOITEM:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_QUERYDRAGICON:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return true;
        default:
            return false;
    }
}

void InitCommonControlsOnce() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX init{sizeof(init), ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES};
        return ::InitCommonControlsEx(&init) != FALSE;
    }();
    (void)done;
}

}  // namespace

Win::UniqueGlobal BuildDialogTemplate(int widthDu, int heightDu, bool child, bool resizable,
                                      bool toolWindow) {
    Win::UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kTemplateBytes));
    if (!block) return block;
    const Win::LockedGlobal locked(block.get());
    auto* dialog = locked.as<DLGTEMPLATE>();
    if (!dialog) return Win::UniqueGlobal();
    dialog->style = WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    dialog->style |= child ? (WS_CHILD | DS_CONTROL) : (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
    if (resizable) dialog->style |= WS_THICKFRAME;
    dialog->dwExtendedStyle = toolWindow ? WS_EX_TOOLWINDOW : 0;
    dialog->cdit = 0;
    dialog->x = 0;
    dialog->y = 0;
    dialog->cx = static_cast<short>(widthDu);
    dialog->cy = static_cast<short>(heightDu);
    // The menu, class and title words that follow stay zero: none of each.
    return block;
}

SIZE DialogUnitsToPixels(int widthDu, int heightDu, int dpi) {
    return SIZE{::MulDiv(widthDu * 2, dpi, 96), ::MulDiv(heightDu * 2, dpi, 96)};
}

Dialog::Dialog(std::wstring title, bool centreOnOwner)
    : LayoutManager(nullptr), title_(std::move(title)), centreOnOwner_(centreOnOwner) {}

Dialog::~Dialog() = default;

INT_PTR Dialog::RunModal(int widthDu, int heightDu, HWND owner) {
    InitCommonControlsOnce();
    Win::UniqueGlobal block = BuildDialogTemplate(widthDu, heightDu, false, resizableFrame_, toolWindow_);
    if (!block) return -1;
    const Win::LockedGlobal dialogTemplate(block.get());
    if (!dialogTemplate) return -1;
    child_ = false;
    requested_ = SIZE{widthDu, heightDu};
    return ::DialogBoxIndirectParamW(Win::CurrentModule(), dialogTemplate.as<const DLGTEMPLATE>(), owner,
                                     DialogProcedure(), reinterpret_cast<LPARAM>(this));
}

HWND Dialog::CreateChild(int widthDu, int heightDu, HWND parent) {
    InitCommonControlsOnce();
    Win::UniqueGlobal block = BuildDialogTemplate(widthDu, heightDu, true, resizableFrame_, toolWindow_);
    if (!block) return nullptr;
    const Win::LockedGlobal dialogTemplate(block.get());
    if (!dialogTemplate) return nullptr;
    child_ = true;
    requested_ = SIZE{widthDu, heightDu};
    return ::CreateDialogIndirectParamW(Win::CurrentModule(), dialogTemplate.as<const DLGTEMPLATE>(), parent,
                                        DialogProcedure(), reinterpret_cast<LPARAM>(this));
}

void Dialog::End(INT_PTR code) {
    if (!window_) return;
    if (child_)
        ::DestroyWindow(window_);
    else
        ::EndDialog(window_, code);
}

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    return Win::DialogBoundary([&]() -> INT_PTR {
        if (message == WM_INITDIALOG) {
            ::SetWindowLongPtrW(window, DWLP_USER, lParam);
            auto* self = reinterpret_cast<Dialog*>(lParam);
            self->window_ = window;
            self->SetLayoutWindow(window);
        }
        auto* self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
        if (!self) return FALSE;
        LRESULT result = 0;
        const bool handled = self->ProcessMessage(message, wParam, lParam, result);
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrW(window, DWLP_USER, 0);
            self->window_ = nullptr;
            self->SetLayoutWindow(nullptr);
        }
        if (!handled) return FALSE;
        if (AnswersDirectly(message)) return static_cast<INT_PTR>(result);
        ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    });
}

bool Dialog::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            result = TRUE;  // the system may set the default focus
            return true;
        case kAfterInitMessage:
            AfterInit();
            return true;
        case WM_SIZE:
            if (LOWORD(lParam) != 0 && HIWORD(lParam) != 0) {
                UpdateLayout();
                if (grip_) grip_->MoveToCorner();
            }
            return true;
        case WM_GETMINMAXINFO: {
            if (!RootPane()) return false;
            RECT window{}, client{};
            ::GetWindowRect(window_, &window);
            ::GetClientRect(window_, &client);
            const int extraX = (window.right - window.left) - client.right + 2 * MarginX();
            const int extraY = (window.bottom - window.top) - client.bottom + 2 * MarginY();
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = POINT{RootPane()->MinWidth() + extraX, RootPane()->MinHeight() + extraY};
            if (RootPane()->MaxWidth() >= 0) info->ptMaxTrackSize.x = RootPane()->MaxWidth() + extraX;
            if (RootPane()->MaxHeight() >= 0) info->ptMaxTrackSize.y = RootPane()->MaxHeight() + extraY;
            return true;
        }
        case WM_ERASEBKGND:
            EraseBackground(reinterpret_cast<HDC>(wParam));
            result = 1;
            return true;
        case WM_GETFONT:
            result = reinterpret_cast<LRESULT>(::GetStockObject(DEFAULT_GUI_FONT));
            return true;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            for (const auto& control : controls_) {
                if (control->Window() == item->hwndItem && control->DrawItem(*item)) {
                    result = TRUE;
                    return true;
                }
            }
            return false;
        }
        case WM_COMMAND:
            if (OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam))) return true;
            // A top-level dialog can always be closed by Escape or its close box.
            if (!child_ && LOWORD(wParam) == IDCANCEL) {
                End(IDCANCEL);
                return true;
            }
            return false;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result);
        case WM_DESTROY:
            ReleaseRootPane();
            return false;
        default:
            return false;
    }
}

bool Dialog::OnCommand(int, int, HWND) { return false; }
bool Dialog::OnNotify(const NMHDR&, LRESULT&) { return false; }

void Dialog::OnInitDialog() {
    ::SetWindowTextW(window_, title_.c_str());
    if (Win::WindowDc dc(window_); dc.get()) dpi_ = std::max(96, ::GetDeviceCaps(dc.get(), LOGPIXELSY));
    SetMargins(Scale(kMargin), Scale(kMargin));

    // The template's dialog units follow the system font, whose metrics do not
    // grow in proportion with the DPI everywhere; the client size is set from
    // the DPI alone so the dialog keeps its proportions.
    const SIZE client = DialogUnitsToPixels(requested_.cx, requested_.cy, dpi_);
    RECT frame{0, 0, client.cx, client.cy};
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(window_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongW(window_, GWL_EXSTYLE));
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    if (sizeGrip_) grip_ = std::make_unique<GripBox>(window_, Scale(kGripSize));
    CreateControls();
    DefineLayout();
    FitToContent();
    UpdateLayout();
    if (grip_) grip_->MoveToCorner();

    if (centreOnOwner_) {
        HWND owner = ::GetWindow(window_, GW_OWNER);
        MONITORINFO monitor{sizeof(monitor)};
        ::GetMonitorInfoW(::MonitorFromWindow(owner ? owner : window_, MONITOR_DEFAULTTONEAREST), &monitor);
        RECT around = monitor.rcWork;
        if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &around);
        RECT self{};
        ::GetWindowRect(window_, &self);
        const int w = self.right - self.left, h = self.bottom - self.top;
        int x = (around.left + around.right - w) / 2;
        int y = (around.top + around.bottom - h) / 2;
        x = std::max(static_cast<int>(monitor.rcWork.left),
                     std::min(x, static_cast<int>(monitor.rcWork.right) - w));
        y = std::max(static_cast<int>(monitor.rcWork.top),
                     std::min(y, static_cast<int>(monitor.rcWork.bottom) - h));
        ::SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::PostMessageW(window_, kAfterInitMessage, 0, 0);
}

void Dialog::FitToContent() {
    if (child_ || !RootPane()) return;
    RECT client{};
    ::GetClientRect(window_, &client);
    const int needX = RootPane()->MinWidth() + 2 * MarginX();
    const int needY = RootPane()->MinHeight() + 2 * MarginY();
    if (client.right >= needX && client.bottom >= needY) return;
    // Text that is wider than planned (another font, another DPI) must not be cut.
    RECT window{};
    ::GetWindowRect(window_, &window);
    const int w = (window.right - window.left) + std::max(0, needX - static_cast<int>(client.right));
    const int h = (window.bottom - window.top) + std::max(0, needY - static_cast<int>(client.bottom));
    ::SetWindowPos(window_, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Dialog::EraseBackground(HDC dc) {
    RECT client{};
    ::GetClientRect(window_, &client);
    Win::UniqueGdiObject region = RectRegion(client);
    if (!region) return;
    for (HWND child = ::GetWindow(window_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child)) continue;
        const std::wstring name = ClassName(child);
        const RECT r = ChildRect(window_, child);
        const LONG style = ::GetWindowLongW(child, GWL_STYLE);
        if (name == L"Button" && (style & BS_TYPEMASK) == BS_GROUPBOX) continue;
        if (name == WC_TABCONTROLW) {
            // Pages show through the display area; only the border strip is the tab's.
            RECT display = r;
            ::SendMessageW(child, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
            Win::UniqueGdiObject strip = RectRegion(r);
            Win::UniqueGdiObject inside = RectRegion(display);
            Subtract(strip.get(), inside.get());
            Subtract(region.get(), strip.get());
            continue;
        }
        Win::UniqueGdiObject area = RectRegion(r);
        if (name == STATUSCLASSNAMEW) {
            // The size grip of a status bar is drawn on the dialog's background.
            const int side = r.bottom - r.top;
            POINT triangle[3] = {{r.right, r.top}, {r.right, r.bottom}, {r.right - side, r.bottom}};
            Win::UniqueGdiObject grip(::CreatePolygonRgn(triangle, 3, WINDING));
            Subtract(area.get(), grip.get());
        }
        Subtract(region.get(), area.get());
    }
    ::FillRgn(dc, static_cast<HRGN>(region.get()), ::GetSysColorBrush(COLOR_BTNFACE));
}

HWND Dialog::CreateControl(const wchar_t* className, int id, const std::wstring& text, DWORD style,
                           DWORD exStyle, int width, int height) {
    HWND control = ::CreateWindowExW(
        exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, Scale(width), Scale(height),
        window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Win::CurrentModule(), nullptr);
    if (!control) throw Lumo::LastError();
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    Keep(std::make_shared<Control>(control));
    return control;
}

HWND Dialog::AddHeader(int id, const std::wstring& text, int width, int height) {
    HWND control = Keep(std::make_shared<Bevel>(window_, id, text, Scale(width), Scale(height))).Window();
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return control;
}

HWND Dialog::AddStatic(int id, const std::wstring& text, int width, int height) {
    return CreateControl(L"Static", id, text, 0, 0, width, height);
}

HWND Dialog::AddCheckBox(int id, const std::wstring& text, int width, int height) {
    return CreateControl(L"Button", id, text, BS_AUTOCHECKBOX | WS_TABSTOP, 0, width, height);
}

HWND Dialog::AddRadio(int id, const std::wstring& text, bool startsGroup, int width, int height) {
    return CreateControl(L"Button", id, text, BS_AUTORADIOBUTTON | (startsGroup ? WS_GROUP | WS_TABSTOP : 0),
                         0, width, height);
}

HWND Dialog::AddEdit(int id, bool multiLine, bool readOnly, DWORD style, int width, int height) {
    if (multiLine) style |= WS_VSCROLL | WS_HSCROLL | ES_WANTRETURN | ES_MULTILINE | ES_AUTOVSCROLL;
    if (readOnly) style |= ES_READONLY;
    return CreateControl(L"Edit", id, L"", style | WS_TABSTOP, WS_EX_CLIENTEDGE, width, height);
}

HWND Dialog::AddButton(int id, const std::wstring& text, int width, int height) {
    return CreateControl(L"Button", id, text, WS_TABSTOP | BS_PUSHBUTTON, 0, width, height);
}

CButtonST& Dialog::AddIconButton(int id, const std::wstring& text, const std::wstring& tooltip, int width,
                                 int height) {
    auto& button =
        Keep(std::make_shared<CButtonST>(window_, id, text, Scale(width), Scale(height), dpi_ / 96.0));
    ::SendMessageW(button.Window(), WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                   FALSE);
    button.SetTooltipText(tooltip);
    button.SetColour(CButtonST::BackHover, RGB(212, 208, 200));
    return button;
}

HWND Dialog::AddDropDown(int width, int height) {
    return CreateControl(L"ComboBox", kDropDownId, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, width,
                         height);
}

HyperLink& Dialog::AddHyperlink(int id, const std::wstring& text, unsigned linkStyle, int width, int height) {
    auto& link = Keep(std::make_shared<HyperLink>(window_, id, text, linkStyle, Scale(width), Scale(height)));
    ::SendMessageW(link.Window(), WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                   FALSE);
    return link;
}

TabCtrl& Dialog::AddTabCtrl(int id, int width, int height) {
    auto& tab = Keep(std::make_shared<TabCtrl>(window_, id, Scale(width), Scale(height)));
    ::SendMessageW(tab.Window(), WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                   FALSE);
    return tab;
}

std::shared_ptr<LayoutManager::Pane> Dialog::NewRoot(Orientation orientation, int extraBorder) {
    auto root = std::make_shared<Pane>(orientation, Stretch, Scale(kGap), Scale(extraBorder));
    SetRootPane(root);
    return root;
}

std::shared_ptr<LayoutManager::Pane> Dialog::NewPane(Orientation orientation, unsigned mode, int extraBorder,
                                                     int gap) {
    return std::make_shared<Pane>(orientation, mode, Scale(gap), Scale(extraBorder));
}

LayoutManager::PanePtr Dialog::ControlItem(int id, unsigned mode) {
    return std::make_shared<PaneItem>(*this, id, mode);
}

LayoutManager::PanePtr Dialog::FixedSpace(Orientation orientation, int size) {
    const int scaled = Scale(size);
    return orientation == Horizontal ? std::make_shared<PaneItem>(FixedSize, scaled, 0, scaled, 0)
                                     : std::make_shared<PaneItem>(FixedSize, 0, scaled, 0, scaled);
}

LayoutManager::PanePtr Dialog::GrowingSpace(Orientation orientation) {
    return std::make_shared<PaneItem>(orientation == Horizontal ? FixedHeight : FixedWidth, 0, 0, 0, 0);
}

}  // namespace Lumo::WinUi
