// The small progress window of the checksum tools: the checksum is computed on
// a worker thread while the calling (shell) thread keeps its windows painted;
// when the work takes longer than about half a second, a window with the
// percentage and a Cancel button appears over the owner.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "tools/HashJob.h"

namespace Lumo::Menu {

// The window class of the progress window.
inline constexpr wchar_t kChecksumProgressClass[] = L"QuelvarChecksumProgress";
// Child ids of the progress window: the percentage text, the bar, and Cancel (IDCANCEL).
inline constexpr int kChecksumProgressText = 100;
inline constexpr int kChecksumProgressBar = 101;

// A finished computation: the checksum text, or, when the file could not be
// read, an empty text and the system's error code.
struct ChecksumOutcome {
    std::wstring text;
    unsigned long error = 0;
};

// Computes the checksum, or nothing when the user cancelled. `owner` is
// disabled meanwhile, as under a modal dialog; `what` names the checksum in
// the window ("MD5").
std::optional<ChecksumOutcome> ComputeChecksumWithProgress(HWND owner,
                                                           const Lumo::Tools::HashRequest& request,
                                                           const std::wstring& what);

}  // namespace Lumo::Menu
