// The diagnostic log: formatting, the rate limit, the switch and the file.
#include "win/DiagnosticLog.h"

#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <new>
#include <string>

#include "win/Errors.h"
#include "win/Handle.h"
#include "win/CurrentModule.h"
#include "win/Lock.h"

namespace Lumo::Win {
namespace {

// The thread that runs a module entry point now; the loader lock lets only one
// do so at a time in a process, so one value serves all threads.
std::atomic<DWORD> g_loaderLockThread{0};

// Guards the rate limit only: lines are formatted and written outside it, so
// no thread of the host waits on another's registry or disk. Under the loader
// lock it is only tried: at process exit its holder may have been ended.
SRWLOCK g_lock = SRWLOCK_INIT;
LogRateLimiter g_limiter;
std::atomic<ElevationProbe> g_elevated{&IsProcessElevated};

// Longest wait for another process's append; past it the line is appended
// unguarded rather than lost or holding up the thread any longer.
constexpr DWORD kRotationWaitMs = 1000;

std::wstring FileNameOf(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return L"?";
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    return name;
}

bool FileLogTurnedOn() {
    DWORD value = 0;
    DWORD size = sizeof(value);
    return ::RegGetValueW(HKEY_CURRENT_USER, kDiagnosticLogKey, kDiagnosticLogValue, RRF_RT_REG_DWORD,
                          nullptr, &value, &size) == ERROR_SUCCESS &&
           value != 0;
}

// The user's data folder, made if missing; empty when the shell cannot name it.
std::wstring DataFolder() {
    wchar_t base[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                  base)))
        return {};
    std::wstring folder = std::wstring(base) + L"\\" + kDiagnosticLogFolderName;
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                             0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string bytes(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length,
                          nullptr, nullptr);
    return bytes;
}

UniqueFile OpenForAppend(const std::wstring& path) {
    // Every process of the user appends to the same file; a reader or the
    // renaming of a full file must not stop another writer.
    return UniqueFile(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Held while one process appends to the file or renames it: a name per data
// folder (and so per user) within the session.
class RotationLock {
public:
    explicit RotationLock(const std::wstring& folder) {
        std::wstring key = folder;
        if (!key.empty()) ::CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
        std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
        for (wchar_t unit : key) hash = (hash ^ static_cast<std::uint16_t>(unit)) * 1099511628211ull;
        wchar_t name[64] = {};
        std::swprintf(name, 64, L"Local\\Quelvar.DiagnosticLog.%016llx",
                      static_cast<unsigned long long>(hash));
        mutex_.reset(::CreateMutexW(nullptr, FALSE, name));
        // A holder that died left at most a renamed file behind: the lock is ours.
        const DWORD result = mutex_ ? ::WaitForSingleObject(mutex_.get(), kRotationWaitMs) : WAIT_FAILED;
        held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }
    ~RotationLock() {
        if (held_) ::ReleaseMutex(mutex_.get());
    }
    RotationLock(const RotationLock&) = delete;
    RotationLock& operator=(const RotationLock&) = delete;
    bool Held() const { return held_; }

private:
    UniqueHandle mutex_;
    bool held_ = false;
};

bool WouldOverflow(HANDLE file, std::size_t bytes, std::uint64_t maxBytes) {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(file, &size) && size.QuadPart > 0 &&
           static_cast<std::uint64_t>(size.QuadPart) + bytes > maxBytes;
}

// A failure's line, or with `info` a line of LogInfo whose text is `detail`.
void WriteLine(const char* function, DWORD code, const char* detail, bool info = false) {
    const std::uint64_t now = ::GetTickCount64();
    const bool underLoaderLock = g_loaderLockThread.load() == ::GetCurrentThreadId();
    unsigned dropped = 0;
    {
        ScopedLock guard(g_lock,
                         underLoaderLock ? ScopedLock::Mode::TryExclusive : ScopedLock::Mode::Exclusive);
        if (!guard.Held() || !g_limiter.Admit(now, dropped)) return;
    }
    SYSTEMTIME time{};
    ::GetLocalTime(&time);
    const std::wstring process = FileNameOf(nullptr), module = FileNameOf(CurrentModule());
    const std::wstring line =
        info ? FormatInfoLine(time, process, ::GetCurrentProcessId(), module, function, detail, dropped)
             : FormatLogLine(time, process, ::GetCurrentProcessId(), module, function, code, detail, dropped);
    ::OutputDebugStringW(line.c_str());
    if (underLoaderLock || g_elevated.load()() || !FileLogTurnedOn()) return;
    const std::wstring folder = DataFolder();
    if (!folder.empty()) AppendToLogFile(folder, line);
}

}  // namespace

bool LogRateLimiter::Admit(std::uint64_t tickMs, unsigned& dropped) {
    const std::uint64_t second = tickMs / 1000;
    if (second != second_) {
        second_ = second;
        inSecond_ = 0;
    }
    if (inSecond_ >= linesPerSecond_) {
        ++dropped_;
        return false;
    }
    ++inSecond_;
    dropped = dropped_;
    dropped_ = 0;
    return true;
}

std::wstring ErrorText(DWORD code) {
    wchar_t text[512] = {};
    DWORD length = 0;
    // WinINet's codes are described by WinINet itself; it is asked only when already loaded.
    const HMODULE wininet = ::GetModuleHandleW(L"wininet.dll");
    if (wininet && code >= 12000 && code < 13000) {
        length = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, wininet, code,
                                  0, text, 512, nullptr);
    }
    if (length == 0) {
        length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 512, nullptr);
    }
    std::wstring result(text, length);
    while (!result.empty() && (result.back() == L'\r' || result.back() == L'\n' || result.back() == L' '))
        result.pop_back();
    for (wchar_t& c : result) {
        if (c == L'\r' || c == L'\n') c = L' ';
    }
    return result;
}

namespace {

// Time, process, module and function: where and when a line was written.
std::wstring LineHead(const SYSTEMTIME& time, const std::wstring& process, DWORD processId,
                      const std::wstring& module, const char* function) {
    wchar_t head[160] = {};
    std::swprintf(head, 160, L"%04u-%02u-%02u %02u:%02u:%02u.%03u ", time.wYear, time.wMonth, time.wDay,
                  time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
    std::wstring line = head;
    line += process + L"(" + std::to_wstring(processId) + L") " + module + L" ";
    for (const char* p = function ? function : "?"; *p; ++p)
        line += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return line;
}

std::wstring LineTail(unsigned dropped) {
    std::wstring tail;
    if (dropped > 0) tail += L" (" + std::to_wstring(dropped) + L" earlier lines left out)";
    return tail + L"\r\n";
}

}  // namespace

std::wstring FormatInfoLine(const SYSTEMTIME& time, const std::wstring& process, DWORD processId,
                            const std::wstring& module, const char* function, const char* what,
                            unsigned dropped) {
    std::wstring line = LineHead(time, process, processId, module, function) + L": ";
    for (const char* p = what ? what : ""; *p && p - what < 120; ++p)
        line += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return line + LineTail(dropped);
}

std::wstring FormatLogLine(const SYSTEMTIME& time, const std::wstring& process, DWORD processId,
                           const std::wstring& module, const char* function, DWORD code, const char* detail,
                           unsigned dropped) {
    std::wstring line = LineHead(time, process, processId, module, function);
    wchar_t number[64] = {};
    // An HRESULT reads best in hex, a Win32 error code as the number people search for.
    if (code & 0x80000000u) {
        std::swprintf(number, 64, L": error 0x%08X", static_cast<unsigned>(code));
    } else {
        std::swprintf(number, 64, L": error %u", static_cast<unsigned>(code));
    }
    line += number;
    const std::wstring text = ErrorText(code);
    if (!text.empty()) line += L" " + text;
    if (detail && *detail) {
        line += L" [";
        for (const char* p = detail; *p && p - detail < 120; ++p)
            line += static_cast<wchar_t>(static_cast<unsigned char>(*p));
        line += L"]";
    }
    return line + LineTail(dropped);
}

bool AppendToLogFile(const std::wstring& folder, const std::wstring& line, std::uint64_t maxBytes) noexcept {
    try {
        const std::string bytes = ToUtf8(line);
        const std::wstring path = folder + L"\\" + kDiagnosticLogFileName;
        // One writer at a time among the user's processes: an append is not
        // whole on every file system (a redirected profile on a share, Wine),
        // and of two that find the file full, the second would rename the
        // fresh file over the full one. A writer that cannot get the lock in
        // time appends anyway and leaves the renaming to the next one.
        const RotationLock lock(folder);
        UniqueFile file = OpenForAppend(path);
        if (!file) return false;
        if (lock.Held() && WouldOverflow(file.get(), bytes.size(), maxBytes)) {
            file.reset();
            const std::wstring older = folder + L"\\" + kDiagnosticLogOlderFileName;
            ::MoveFileExW(path.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING);
            file = OpenForAppend(path);
            if (!file) return false;
        }
        DWORD written = 0;
        return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    } catch (...) {
        return false;
    }
}

ElevationProbe SetDiagnosticLogElevationProbe(ElevationProbe probe) noexcept {
    return g_elevated.exchange(probe ? probe : &IsProcessElevated);
}

void LogFailure(const char* function, DWORD code, const char* detail) noexcept {
    try {
        WriteLine(function, code, detail);
    } catch (...) {
    }
}

void LogInfo(const char* function, const char* what) noexcept {
    try {
        WriteLine(function, 0, what, true);
    } catch (...) {
    }
}

void LogCurrentException(const char* function) noexcept {
    try {
        throw;
    } catch (const Lumo::ComError& e) {
        LogFailure(function, static_cast<DWORD>(e.Result()), "Lumo::ComError");
    } catch (const Lumo::LastError& e) {
        LogFailure(function, e.Code(), "Lumo::LastError");
    } catch (const std::bad_alloc&) {
        LogFailure(function, static_cast<DWORD>(E_OUTOFMEMORY), "std::bad_alloc");
    } catch (const std::exception& e) {
        LogFailure(function, static_cast<DWORD>(E_FAIL), e.what());
    } catch (...) {
        LogFailure(function, static_cast<DWORD>(E_UNEXPECTED), "unknown exception");
    }
}

LoaderLockScope::LoaderLockScope() noexcept
    : previous_(g_loaderLockThread.exchange(::GetCurrentThreadId())) {}

LoaderLockScope::~LoaderLockScope() { g_loaderLockThread.store(previous_); }

}  // namespace Lumo::Win
