// Message-box driver: a WH_CBT hook on the test's thread.
#include "support/MessageBoxDriver.h"

namespace QuelvarTest {
namespace {

thread_local MessageBoxDriver* t_driver = nullptr;

std::wstring TextOf(HWND window) {
    int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(::GetWindowTextW(window, text.data(), length + 1));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

}  // namespace

MessageBoxDriver::MessageBoxDriver() {
    t_driver = this;
    hook_.reset(::SetWindowsHookExW(WH_CBT, Hook, nullptr, ::GetCurrentThreadId()));
}

MessageBoxDriver::~MessageBoxDriver() {
    hook_.reset();
    t_driver = nullptr;
}

LRESULT CALLBACK MessageBoxDriver::Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && t_driver) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (ClassOf(window) == L"#32770") t_driver->OnActivate(window);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void MessageBoxDriver::OnActivate(HWND box) {
    // A box is activated more than once while it shows; answer it once.
    if (::GetPropW(box, L"QuelvarTest.Answered")) return;
    ::SetPropW(box, L"QuelvarTest.Answered", reinterpret_cast<HANDLE>(1));
    SeenMessageBox seen;
    seen.caption = TextOf(box);
    seen.owner = ::GetWindow(box, GW_OWNER);
    int defaultButton = IDOK;
    // The box itself is not shown yet when it is activated: the children's own
    // visibility styles tell which buttons and which icon it offers.
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const bool visible = (::GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0;
        std::wstring cls = ClassOf(child);
        if (::lstrcmpiW(cls.c_str(), L"Button") == 0) {
            std::wstring label = TextOf(child);
            std::wstring plain;
            for (wchar_t c : label) {
                if (c != L'&') plain += c;
            }
            if (visible) seen.buttons.push_back(plain);
            if (::GetWindowLongW(child, GWL_STYLE) & BS_DEFPUSHBUTTON) defaultButton = ::GetDlgCtrlID(child);
        } else if (::lstrcmpiW(cls.c_str(), L"Static") == 0) {
            if (::GetDlgCtrlID(child) == 0xFFFF) {
                seen.text = TextOf(child);
            } else if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                seen.hasIcon = seen.hasIcon || (visible && ::SendMessageW(child, STM_GETICON, 0, 0) != 0);
            }
        }
    }
    seen_.push_back(seen);
    int answer = defaultButton;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
}

}  // namespace QuelvarTest
