// The diagnostic log: one line for each failure the module swallows (at a
// boundary, or where it recovers on its own), so that support can find out why
// something did not work, and a few lines saying which way the module went
// where the system's behaviour is not known in advance. Each line names the
// module and the function, a failure's line the error code and the system's
// text for it; never the contents of the user's files.
// Lines always go to the debugger (OutputDebugStringW); they go to
// %APPDATA%\Quelvar\Quelvar.log too while the user has turned that on with the
// DWORD value "DiagnosticLog" = 1 under HKEY_CURRENT_USER\Software\Quelvar,
// except in an elevated process: any program of the user can set that value
// and point the profile's folder elsewhere, and must not get an administrator
// to write a file for it. A burst of failures is cut to a few lines a second.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "win/Elevation.h"

namespace Lumo::Win {

inline constexpr wchar_t kDiagnosticLogKey[] = L"Software\\Quelvar";
inline constexpr wchar_t kDiagnosticLogValue[] = L"DiagnosticLog";
inline constexpr wchar_t kDiagnosticLogFolderName[] = L"Quelvar";
inline constexpr wchar_t kDiagnosticLogFileName[] = L"Quelvar.log";
// The file is renamed to this one (replacing the older one) when it would grow past the limit.
inline constexpr wchar_t kDiagnosticLogOlderFileName[] = L"Quelvar.log.1";
inline constexpr std::uint64_t kDiagnosticLogMaxBytes = 1024 * 1024;
inline constexpr unsigned kDiagnosticLogLinesPerSecond = 5;

// A failure with a Win32 error code or an HRESULT. `detail` is an optional
// short ASCII text of our own (an exception's type), never user data.
void LogFailure(const char* function, DWORD code, const char* detail = nullptr) noexcept;

// Which way the module went (no failure): `what` is a short ASCII text of our
// own, never user data.
void LogInfo(const char* function, const char* what) noexcept;
// Replaces the log's elevation question (tests); returns the one it replaced.
ElevationProbe SetDiagnosticLogElevationProbe(ElevationProbe probe) noexcept;

// Inside a catch handler: logs the exception being handled, with the code it
// carries (Lumo::ComError, Lumo::LastError, std::bad_alloc) or its type.
void LogCurrentException(const char* function) noexcept;

// While one lives, the thread runs the module entry point under the loader
// lock: the log then reaches only the debugger (no registry, shell or file).
class LoaderLockScope {
public:
    LoaderLockScope() noexcept;
    ~LoaderLockScope();
    LoaderLockScope(const LoaderLockScope&) = delete;
    LoaderLockScope& operator=(const LoaderLockScope&) = delete;

private:
    DWORD previous_;
};

// The pieces below are the log's plain parts, reachable for tests.

// At most `linesPerSecond` lines in each whole second of the tick count; the
// rest are counted and the count is handed to the next line let through.
class LogRateLimiter {
public:
    explicit LogRateLimiter(unsigned linesPerSecond = kDiagnosticLogLinesPerSecond)
        : linesPerSecond_(linesPerSecond) {}
    // Whether a line at `tickMs` may go out; `dropped` receives the number of
    // lines held back since the last one that went out.
    bool Admit(std::uint64_t tickMs, unsigned& dropped);

private:
    unsigned linesPerSecond_;
    std::uint64_t second_ = ~std::uint64_t{0};
    unsigned inSecond_ = 0;
    unsigned dropped_ = 0;
};

// One line, ending in CR LF.
std::wstring FormatLogLine(const SYSTEMTIME& time, const std::wstring& process, DWORD processId,
                           const std::wstring& module, const char* function, DWORD code, const char* detail,
                           unsigned dropped);
// One line of LogInfo, with the same head as a failure's.
std::wstring FormatInfoLine(const SYSTEMTIME& time, const std::wstring& process, DWORD processId,
                            const std::wstring& module, const char* function, const char* what,
                            unsigned dropped);

// The system's text for a Win32 error code or an HRESULT (WinINet's own codes
// included while WinINet is loaded), without the line break; empty if none.
std::wstring ErrorText(DWORD code);

// Appends `line` (as UTF-8) to `folder`\Quelvar.log, first renaming a file that
// would grow past `maxBytes` to Quelvar.log.1. Every process of the user may
// do so at once: the renaming is serialised across them, so no line is lost
// to two of them renaming one after the other. Returns false when it could not.
bool AppendToLogFile(const std::wstring& folder, const std::wstring& line,
                     std::uint64_t maxBytes = kDiagnosticLogMaxBytes) noexcept;

}  // namespace Lumo::Win
