// Dialog driver: finds dialogs, reads their controls and presses them by the
// messages a user's input produces.
#include "support/DialogDriver.h"

#include <commctrl.h>

#include "win/Errors.h"

namespace QuelvarTest {
namespace {

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

struct FindRequest {
    HWND owner;
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK FindOwned(HWND window, LPARAM data) {
    auto* request = reinterpret_cast<FindRequest*>(data);
    if (::GetWindow(window, GW_OWNER) == request->owner && ::IsWindowVisible(window) &&
        ClassOf(window) == L"#32770" && TextOf(window) == *request->caption) {
        request->found = window;
        return FALSE;
    }
    return TRUE;
}

// Keeps the message-box driver off the dialog under test: the first dialog
// owned by the owner window is marked answered before the driver sees it.
thread_local HWND t_owner = nullptr;
LRESULT CALLBACK ShieldHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (::GetWindow(window, GW_OWNER) == t_owner && t_owner)
            ::SetPropW(window, L"QuelvarTest.Answered", reinterpret_cast<HANDLE>(1));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() >= end) return false;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(10);
    }
}

DialogThread::DialogThread(std::function<INT_PTR(HWND owner)> show)
    : ready_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this, show = std::move(show)] {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        threadId_ = ::GetCurrentThreadId();
        owner_ = ::CreateWindowExW(0, L"Static", L"Dialog test owner", WS_OVERLAPPED | WS_VISIBLE, 10, 10,
                                   200, 100, nullptr, nullptr, nullptr, nullptr);
        boxes_ = std::make_unique<MessageBoxDriver>();
        t_owner = owner_;
        Lumo::Win::UniqueHook shield(
            ::SetWindowsHookExW(WH_CBT, ShieldHook, nullptr, ::GetCurrentThreadId()));
        ::SetEvent(ready_.get());
        result_ = show(owner_);
        shield.reset();
        t_owner = nullptr;
        ::SetEvent(done_.get());
        // The owner lives until the test has read what it needs.
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        boxes_.reset();
        ::DestroyWindow(owner_);
        ::CoUninitialize();
    });
    ::WaitForSingleObject(ready_.get(), 10000);
}

DialogThread::~DialogThread() {
    // Cancel whatever dialog the test left open so that the thread can end.
    for (int i = 0; i < 50 && !Finished(); ++i) {
        ::EnumThreadWindows(
            threadId_,
            [](HWND window, LPARAM) CALLBACK -> BOOL {
                if (::IsWindowVisible(window) && ClassOf(window) == L"#32770")
                    ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
                return TRUE;
            },
            0);
        ::WaitForSingleObject(done_.get(), 100);
    }
    ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    if (thread_.joinable()) thread_.join();
}

bool DialogThread::Wait(DWORD timeoutMs) {
    return ::WaitForSingleObject(done_.get(), timeoutMs) == WAIT_OBJECT_0;
}
bool DialogThread::Finished() const { return ::WaitForSingleObject(done_.get(), 0) == WAIT_OBJECT_0; }
void DialogThread::Answer(int button) {
    if (boxes_) boxes_->Answer(button);
}

const std::vector<SeenMessageBox>& DialogThread::MessageBoxes() const {
    return boxes_ ? boxes_->Seen() : none_;
}

HWND DialogDriver::Find(HWND owner, const std::wstring& caption, DWORD timeoutMs) {
    FindRequest request{owner, &caption, nullptr};
    WaitUntil(
        [&] {
            ::EnumWindows(FindOwned, reinterpret_cast<LPARAM>(&request));
            return request.found != nullptr;
        },
        timeoutMs);
    return request.found;
}

std::wstring DialogDriver::Caption() const { return TextOf(dialog_); }
std::wstring DialogDriver::Text(int id) const { return TextOf(Control(id)); }
std::wstring DialogDriver::ClassName(int id) const { return ClassOf(Control(id)); }
DWORD DialogDriver::Style(int id) const {
    return static_cast<DWORD>(::GetWindowLongW(Control(id), GWL_STYLE));
}
bool DialogDriver::Enabled(int id) const { return ::IsWindowEnabled(Control(id)) != FALSE; }
bool DialogDriver::Visible(int id) const { return ::IsWindowVisible(Control(id)) != FALSE; }
bool DialogDriver::Checked(int id) const {
    return ::SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

RECT DialogDriver::Rect(int id) const {
    RECT r{};
    ::GetWindowRect(Control(id), &r);
    ::MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::vector<std::wstring> DialogDriver::ComboItems(int id) const {
    std::vector<std::wstring> items;
    HWND combo = Control(id);
    const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(length));
        items.push_back(text);
    }
    return items;
}

int DialogDriver::ComboSelection(int id) const {
    return static_cast<int>(::SendMessageW(Control(id), CB_GETCURSEL, 0, 0));
}

std::wstring DialogDriver::TooltipText(int id) const {
    // The tooltip windows of the dialog's thread that know this control.
    struct Search {
        HWND dialog, control;
        std::wstring text;
    } search{dialog_, Control(id), {}};
    ::EnumThreadWindows(
        ::GetWindowThreadProcessId(dialog_, nullptr),
        [](HWND window, LPARAM data) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (ClassOf(window) != TOOLTIPS_CLASSW) return TRUE;
            wchar_t buffer[512] = {};
            TOOLINFOW info{};
            info.cbSize = TTTOOLINFOW_V2_SIZE;
            info.hwnd = s->dialog;
            info.uId = reinterpret_cast<UINT_PTR>(s->control);
            info.lpszText = buffer;
            // TTM_GETTEXTW copies into a buffer of the caller: answered on
            // the tooltip's thread, into our memory, which is one process.
            ::SendMessageW(window, TTM_GETTEXTW, std::size(buffer), reinterpret_cast<LPARAM>(&info));
            if (buffer[0]) {
                s->text = buffer;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.text;
}

std::vector<int> DialogDriver::ChildIds() const {
    std::vector<int> ids;
    for (HWND child = ::GetWindow(dialog_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        ids.push_back(::GetDlgCtrlID(child));
    return ids;
}

bool DialogDriver::Click(int id) const {
    HWND button = Control(id);
    if (!button || !::IsWindowEnabled(button) || !::IsWindowVisible(button)) return false;
    ::SendMessageW(button, BM_CLICK, 0, 0);
    return true;
}

void DialogDriver::Notify(int id, int code) const {
    ::SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Control(id)));
}

void DialogDriver::SelectCombo(int id, int index) const {
    ::SendMessageW(Control(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    Notify(id, CBN_SELCHANGE);
}

void DialogDriver::SetEditText(int id, const std::wstring& text) const {
    HWND edit = Control(id);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    ::SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

void DialogDriver::Type(int id, const std::wstring& text) const {
    HWND edit = Control(id);
    ::SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    for (wchar_t c : text) ::SendMessageW(edit, WM_CHAR, c, 1);
}

void DialogDriver::PostKey(int id, UINT virtualKey) const {
    HWND control = Control(id);
    // Moving the focus selects an edit's whole text: only when it is elsewhere.
    GUITHREADINFO gui{sizeof(gui)};
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog_, nullptr), &gui) || gui.hwndFocus != control)
        ::SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    const UINT scan = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    ::PostMessageW(control, WM_KEYDOWN, virtualKey, 1 | (static_cast<LPARAM>(scan) << 16));
    ::PostMessageW(control, WM_KEYUP, virtualKey, 1 | (static_cast<LPARAM>(scan) << 16) | (3u << 30));
}

bool DialogDriver::Responds(DWORD timeoutMs) const {
    DWORD_PTR answer = 0;
    return ::SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs, &answer) !=
           0;
}

}  // namespace QuelvarTest
