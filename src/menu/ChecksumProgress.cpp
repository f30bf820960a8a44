// The checksum progress window: a plain window with its own message loop,
// receiving the hash job's posted messages.
#include "menu/ChecksumProgress.h"

#include <commctrl.h>

#include "win/Boundary.h"
#include "win/Errors.h"
#include "win/Handle.h"
#include "win/Lock.h"
#include "win/ModuleReference.h"

namespace Menu {

namespace {

constexpr UINT kProgressMessage = WM_APP + 1;
constexpr UINT kDoneMessage = WM_APP + 2;
constexpr UINT_PTR kShowTimer = 1;
// Work that ends sooner shows no window at all.
constexpr UINT kShowDelayMs = 500;

// What the window procedure and the loop share.
struct Progress {
    Tools::HashJob* job = nullptr;
    std::wstring what;
    bool finished = false;
    bool cancelled = false;
    HWND owner = nullptr;
};

// The class lives only while a window of it exists: a module that unloads
// must not leave a class behind whose procedure points into it. Windows of
// several threads share the one class, so the last of them unregisters it,
// whichever thread made it first.
class ScopedWindowClass {
public:
    explicit ScopedWindowClass(const WNDCLASSEXW& windowClass) : instance_(windowClass.hInstance) {
        Lumo::Win::ScopedLock hold(lock_);
        if (users_ == 0 && !::RegisterClassExW(&windowClass) &&
            ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            throw Lumo::LastError(::GetLastError());
        }
        ++users_;
    }
    ~ScopedWindowClass() {
        Lumo::Win::ScopedLock hold(lock_);
        if (--users_ == 0) ::UnregisterClassW(kChecksumProgressClass, instance_);
    }
    ScopedWindowClass(const ScopedWindowClass&) = delete;
    ScopedWindowClass& operator=(const ScopedWindowClass&) = delete;

private:
    static inline SRWLOCK lock_ = SRWLOCK_INIT;
    static inline int users_ = 0;
    HINSTANCE instance_;
};

int Scale(HWND window, int pixels) {
    const Lumo::Win::WindowDc dc(window);
    const int dpi = dc.get() ? ::GetDeviceCaps(dc.get(), LOGPIXELSY) : 96;
    return ::MulDiv(pixels, dpi, 96);
}

void SetPercent(HWND window, const Progress& progress, int percent) {
    const std::wstring text = L"Calculating " + progress.what + L"... " + std::to_wstring(percent) + L"%";
    ::SetDlgItemTextW(window, kChecksumProgressText, text.c_str());
    ::SendDlgItemMessageW(window, kChecksumProgressBar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void CreateChildren(HWND window, const Progress& progress) {
    const HINSTANCE instance = Lumo::Win::CurrentModule();
    const int margin = Scale(window, 10);
    const int width = Scale(window, 300) - 2 * margin;
    const int textHeight = Scale(window, 16);
    const int barHeight = Scale(window, 16);
    const int buttonWidth = Scale(window, 80);
    const int buttonHeight = Scale(window, 23);
    const HFONT font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    int y = margin;
    HWND text = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, margin, y,
                                  width, textHeight, window, reinterpret_cast<HMENU>(kChecksumProgressText),
                                  instance, nullptr);
    y += textHeight + Scale(window, 6);
    HWND bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, margin, y, width, barHeight,
                                 window, reinterpret_cast<HMENU>(kChecksumProgressBar), instance, nullptr);
    y += barHeight + Scale(window, 10);
    HWND cancel =
        ::CreateWindowExW(0, L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                          margin + width - buttonWidth, y, buttonWidth, buttonHeight, window,
                          reinterpret_cast<HMENU>(IDCANCEL), instance, nullptr);
    if (!text || !bar || !cancel) throw Lumo::LastError();
    for (HWND child : {text, bar, cancel})
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ::SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    SetPercent(window, progress, 0);
    // The client area: what the children take plus the margins.
    RECT frame{0, 0, Scale(window, 300), y + buttonHeight + margin};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE)));
    ::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Over the middle of the owner, or of the screen's work area without one.
void Centre(HWND window, HWND owner) {
    RECT area{};
    if (!owner || !::GetWindowRect(owner, &area) || ::IsIconic(owner)) {
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    ::SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + (area.bottom - area.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Cancel(Progress& progress) {
    progress.cancelled = true;
    progress.finished = true;
    if (progress.job) progress.job->Cancel();
}

LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* progress = reinterpret_cast<Progress*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!progress) return ::DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case kProgressMessage:
            if (progress->job && lParam == progress->job->Id())
                SetPercent(window, *progress, static_cast<int>(wParam));
            return 0;
        case kDoneMessage:
            if (progress->job && lParam == progress->job->Id()) progress->finished = true;
            return 0;
        case WM_TIMER:
            if (wParam == kShowTimer) {
                ::KillTimer(window, kShowTimer);
                if (!progress->finished) {
                    Centre(window, progress->owner);
                    ::ShowWindow(window, SW_SHOWNORMAL);
                }
            }
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) Cancel(*progress);
            return 0;
        case WM_CLOSE:
            Cancel(*progress);
            return 0;
        case WM_DESTROY:
            // Destroyed from outside (with its owner): nobody is left to wait for.
            if (!progress->finished) Cancel(*progress);
            return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    return Lumo::Win::WindowBoundary(0, [&]() -> LRESULT {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        return Handle(window, message, wParam, lParam);
    });
}

}  // namespace

std::optional<ChecksumOutcome> ComputeChecksumWithProgress(HWND owner, const Tools::HashRequest& request,
                                                           const std::wstring& what) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    WNDCLASSEXW windowClass{sizeof(windowClass)};
    windowClass.lpfnWndProc = ProgressWindowProc;
    windowClass.hInstance = Lumo::Win::CurrentModule();
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kChecksumProgressClass;
    ScopedWindowClass registered(windowClass);

    Progress progress;
    progress.what = what;
    progress.owner = owner;
    const std::wstring title = L"Calculate " + what;
    Lumo::Win::UniqueWindow window(::CreateWindowExW(
        WS_EX_DLGMODALFRAME, kChecksumProgressClass, title.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0,
        100, 100, owner, nullptr, windowClass.hInstance, &progress));
    if (!window) throw Lumo::LastError();
    CreateChildren(window.get(), progress);

    Tools::HashJob job(request, window.get(), kProgressMessage, kDoneMessage);
    progress.job = &job;
    ::SetTimer(window.get(), kShowTimer, kShowDelayMs, nullptr);
    // Modal to the owner from the start: nothing the user does there may run
    // another command under this loop.
    const bool disableOwner = owner && ::IsWindowEnabled(owner);
    if (disableOwner) ::EnableWindow(owner, FALSE);
    while (!progress.finished) {
        MSG msg;
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The thread is asked to end: stop and let the outer loop see the request too.
            Cancel(progress);
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) {
            Cancel(progress);
            break;
        }
        if (::IsDialogMessageW(window.get(), &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    // The owner first, so that activation returns to it when the window goes.
    if (disableOwner) ::EnableWindow(owner, TRUE);
    progress.job = nullptr;
    window.reset();
    if (progress.cancelled) return std::nullopt;
    return ChecksumOutcome{job.Result(), job.Error()};
}

}  // namespace Menu
