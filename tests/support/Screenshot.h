// Screenshots of windows as PNG files (for looking at dialogs), and a run of
// the test program itself at another DPI.
#pragma once

#include <windows.h>

#include <string>

namespace QuelvarTest {

// Writes what `window` shows (frame included) to `path` as PNG. Throws
// Lumo::AnyError/ComError on failure.
void SaveWindowPng(HWND window, const std::wstring& path);

// The folder where screenshots go: "screenshots" beside the build's bin
// folder, created on demand; with a trailing backslash.
std::wstring ScreenshotFolder();

// The DPI of the screen as this process sees it.
int ScreenDpi();

// Runs this test program again with `--gtest_filter=<filter>` while the
// user's display DPI (HKCU\Control Panel\Desktop LogPixels) is `dpi`,
// restoring the setting afterwards; the child's exit code.
DWORD RunSelfAtDpi(int dpi, const std::wstring& filter);

}  // namespace QuelvarTest
