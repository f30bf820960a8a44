// Clipboard text: open with no owner window, empty, hand over a movable
// global block of UTF-16 text.
#include "system/Clipboard.h"

#include <cstring>

#include "win/Handle.h"

namespace Lumo::System {
namespace {

constexpr DWORD kDefaultRetryMilliseconds = 500;
constexpr DWORD kRetryPause = 10;

// Closes the clipboard that this thread opened.
class OpenedClipboard {
public:
    OpenedClipboard() = default;
    ~OpenedClipboard() {
        if (open_) ::CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;

    // Tries until `retryMilliseconds` have passed; programs that read the
    // clipboard when it changes hold it only briefly.
    bool Open(DWORD retryMilliseconds) {
        const ULONGLONG start = ::GetTickCount64();
        for (;;) {
            if (::OpenClipboard(nullptr)) return open_ = true;
            if (::GetTickCount64() - start >= retryMilliseconds) return false;
            ::Sleep(kRetryPause);
        }
    }

private:
    bool open_ = false;
};

}  // namespace

bool SetClipboardText(const std::wstring& text) noexcept {
    return SetClipboardText(text, kDefaultRetryMilliseconds);
}

bool SetClipboardText(const std::wstring& text, DWORD retryMilliseconds) noexcept {
    const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
    OpenedClipboard clipboard;
    if (!clipboard.Open(retryMilliseconds)) return false;
    if (!::EmptyClipboard()) return false;
    Lumo::Win::UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!block) return false;
    {
        const Lumo::Win::LockedGlobal target(block.get());
        if (!target) return false;
        std::memcpy(target.get(), text.c_str(), bytes);
    }
    if (!::SetClipboardData(CF_UNICODETEXT, block.get())) return false;
    block.release();  // the clipboard owns it now
    return true;
}

}  // namespace Lumo::System
