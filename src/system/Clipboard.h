// The clipboard as every copy of the tools uses it: Unicode text, replacing
// whatever the clipboard held.
#pragma once

#include <windows.h>

#include <string>

namespace Lumo::System {

// Puts `text` with its terminating zero on the clipboard as CF_UNICODETEXT.
// Another program may hold the clipboard for a moment; opening is retried for
// about half a second before the copy gives up. False when nothing was copied.
// Never throws.
bool SetClipboardText(const std::wstring& text) noexcept;

// The same with the time to keep retrying chosen by the caller.
bool SetClipboardText(const std::wstring& text, DWORD retryMilliseconds) noexcept;

}  // namespace Lumo::System
