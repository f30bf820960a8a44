// The update check over the WinINet session: URLs, the two answers and their
// limits, the deadline, and the failure texts.
#include "update/UpdateCheck.h"

#include <wininet.h>

#include <locale>
#include <utility>

#include "win/DiagnosticLog.h"
#include "win/Errors.h"
#include "win/Handle.h"
#include "win/Lock.h"

namespace Lumo::Update {
namespace {

// Reload from the server, never from or into the cache.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;

// WinINet's own codes; the system's message table has no text for them.
constexpr DWORD kLastWinINetError = 12175;

// The text of an error code: WinINet's codes from wininet.dll's message
// table, all others from the system's.
std::wstring ErrorText(DWORD code) {
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    HMODULE wininet = nullptr;
    if (code >= INTERNET_ERROR_BASE && code <= kLastWinINetError) {
        wininet = ::GetModuleHandleW(L"wininet.dll");
        if (wininet) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    }
    wchar_t text[2048] = {};
    const DWORD length = ::FormatMessageW(flags, wininet, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                          text, 2048, nullptr);
    return std::wstring(text, length);
}

std::wstring LowerCase(const std::wstring& word) {
    std::wstring lower = word;
    const std::locale locale;
    for (wchar_t& c : lower) c = std::tolower(c, locale);
    return lower;
}

}  // namespace

// CheckerSession -------------------------------------------------------------

CheckerSession::CheckerSession(UpdateCheck& owner, std::wstring productWord, std::wstring version,
                               std::wstring baseUrl, WinINet::Timeouts timeouts)
    : Session(timeouts),
      owner_(owner),
      productWord_(std::move(productWord)),
      version_(std::move(version)),
      baseUrl_(std::move(baseUrl)) {}

CheckerSession::~CheckerSession() { End(); }

void CheckerSession::RequestVersionInfo() { Start(VersionInfo, L"version.xml"); }
void CheckerSession::RequestHistory() { Start(History, L"history.txt"); }

std::wstring CheckerSession::CurrentUrl() const {
    Win::ScopedLock guard(Guard());
    return url_;
}

void CheckerSession::Start(int kind, const wchar_t* fileName) {
    Win::ScopedLock guard(Guard());
    url_ = baseUrl_ + LowerCase(productWord_) + L"/" + fileName;
    kind_ = kind;
    expectedLength_ = -1;
    (kind == VersionInfo ? owner_.versionBody_ : owner_.historyBody_).clear();
    owner_.Started();
    Request(kind);
}

void CheckerSession::Request(int kind) { OpenUrl(kind, url_, kRequestFlags); }

bool CheckerSession::OnResponse(int kind) {
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!::HttpQueryInfoW(RequestHandle(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                          nullptr) ||
        status != 200) {
        Close(kind);
        owner_.Fail(ErrorHttpStatus);
        return false;
    }
    DWORD length = 0;
    size = sizeof(length);
    expectedLength_ = ::HttpQueryInfoW(RequestHandle(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                       &length, &size, nullptr)
                          ? static_cast<long long>(length)
                          : -1;
    const std::size_t limit = kind == VersionInfo ? kMaxVersionInfoSize : kMaxHistorySize;
    if (expectedLength_ > static_cast<long long>(limit)) {
        Close(kind);
        owner_.Fail(ErrorUnknown);
        return false;
    }
    return true;
}

bool CheckerSession::OnData(int kind, const char* bytes, DWORD count) {
    std::string& body = kind == VersionInfo ? owner_.versionBody_ : owner_.historyBody_;
    const std::size_t limit = kind == VersionInfo ? kMaxVersionInfoSize : kMaxHistorySize;
    if (body.size() + count > limit) {
        Close(kind);
        owner_.Fail(ErrorUnknown);
        return false;
    }
    body.append(bytes, count);
    return true;
}

bool CheckerSession::LengthMismatch(int kind) const {
    const std::string& body = kind == VersionInfo ? owner_.versionBody_ : owner_.historyBody_;
    return expectedLength_ >= 0 && static_cast<long long>(body.size()) != expectedLength_;
}

void CheckerSession::OnFinished(int kind) {
    Close(kind);
    // A connection that the server ends before the announced length is a
    // broken answer, not a shorter file.
    if (LengthMismatch(kind)) {
        owner_.ReportError(ERROR_INTERNET_CONNECTION_ABORTED);
    } else if (kind == VersionInfo) {
        owner_.VersionReceived();
    } else {
        owner_.succeeded_ = true;
        owner_.Complete();
    }
}

void CheckerSession::OnError(int kind, DWORD code) {
    Close(kind);
    owner_.ReportError(code);
}

// UpdateCheck ----------------------------------------------------------------

UpdateCheck::UpdateCheck(std::wstring productWord, std::wstring version, std::wstring baseUrl,
                         WinINet::Timeouts timeouts, DWORD deadlineMs)
    : deadlineMs_(deadlineMs),
      session_(*this, std::move(productWord), std::move(version), std::move(baseUrl), timeouts) {}

UpdateCheck::~UpdateCheck() { End(); }

void UpdateCheck::SetCompletion(std::function<void()> completion) {
    Win::ScopedLock guard(session_.Guard());
    completion_ = std::move(completion);
}

void UpdateCheck::End() {
    session_.End();
    bridge_.Discard();
}

void UpdateCheck::Started() {
    const unsigned request = ++request_;
    inFlight_ = true;
    // One deadline for the whole check: the history request gets what the
    // version request left of it.
    const ULONGLONG now = ::GetTickCount64();
    if (request == 1) firstStartedAt_ = now;
    const ULONGLONG spent = now - firstStartedAt_;
    const DWORD left = spent >= deadlineMs_ ? 0 : static_cast<DWORD>(deadlineMs_ - spent);
    // The bridge, and with it this call, never outlives the check.
    bridge_.PostDelayed(left, [this, request] { OnDeadline(request); });
}

void UpdateCheck::Complete() {
    const Failure failure = std::exchange(failure_, Failure{});
    const auto log = [failure] {
        if (failure.function) Win::LogFailure(failure.function, failure.code, failure.detail);
    };
    if (!inFlight_) {
        // Nobody waits for it any more; the log still hears of it.
        if (failure.function) bridge_.Post(log);
        return;
    }
    inFlight_ = false;
    std::function<void()> completion = completion_;
    bridge_.Post([log, completion] {
        log();
        if (completion) completion();
    });
}

void UpdateCheck::Fail(UpdateError kind) {
    failure_ = {"UpdateCheck::Fail", static_cast<DWORD>(E_FAIL),
                kind == ErrorHttpStatus ? "HTTP status" : "too large"};
    succeeded_ = false;
    errorKind_ = kind;
    Complete();
}

void UpdateCheck::ReportError(DWORD code) {
    failure_ = {"UpdateCheck::ReportError", code, nullptr};
    succeeded_ = false;
    errorCode_ = code;
    errorDescription_ = ErrorText(code);
    errorKind_ = errorDescription_.empty() ? ErrorNoDescription : ErrorWithDescription;
    Complete();
}

void UpdateCheck::VersionReceived() {
    if (!inFlight_) return;
    inFlight_ = false;
    std::function<void()> completion = completion_;
    bridge_.Post([this, completion] {
        FinishVersionInfo();
        if (completion) completion();
    });
}

void UpdateCheck::FinishVersionInfo() {
    std::string body;
    {
        Win::ScopedLock guard(session_.Guard());
        succeeded_ = false;
        latestVersion_.clear();
        downloadPage_.clear();
        body = versionBody_;
    }
    const VersionInfo info = ParseVersionInfo(body);
    Win::ScopedLock guard(session_.Guard());
    succeeded_ = info.usable;
    latestVersion_ = info.latestVersion;
    downloadPage_ = info.downloadPage;
}

void UpdateCheck::OnDeadline(unsigned request) {
    {
        Win::ScopedLock guard(session_.Guard());
        if (!inFlight_ || request_ != request) return;
        // Whatever the session still reports for this request completes nothing.
        inFlight_ = false;
    }
    session_.End();
    Win::ScopedLock guard(session_.Guard());
    inFlight_ = true;
    ReportError(ERROR_INTERNET_TIMEOUT);
}

#define LUMO_LOCKED_GETTER(Type, Name, member)   \
    Type UpdateCheck::Name() const {             \
        Win::ScopedLock guard(session_.Guard()); \
        return member;                           \
    }
LUMO_LOCKED_GETTER(bool, Succeeded, succeeded_)
LUMO_LOCKED_GETTER(UpdateError, ErrorKind, errorKind_)
LUMO_LOCKED_GETTER(DWORD, ErrorCode, errorCode_)
LUMO_LOCKED_GETTER(std::wstring, ErrorDescription, errorDescription_)
LUMO_LOCKED_GETTER(std::wstring, LatestVersion, latestVersion_)
LUMO_LOCKED_GETTER(std::wstring, DownloadPage, downloadPage_)
LUMO_LOCKED_GETTER(std::string, VersionBody, versionBody_)
LUMO_LOCKED_GETTER(std::string, HistoryBody, historyBody_)
#undef LUMO_LOCKED_GETTER

std::wstring UpdateCheck::FailureMessage() const {
    Win::ScopedLock guard(session_.Guard());
    switch (errorKind_) {
        case ErrorWithDescription:
            return L"Cannot get update info file from internet\r\nError code:" + std::to_wstring(errorCode_) +
                   L"\r\nError description:" + errorDescription_;
        case ErrorNoDescription:
            return L"Cannot get update info file from internet,\r\nmaybe explorer.exe is blocked by your "
                   L"firewall "
                   L"program,\r\nor cannot connect to proxy server(if set in internet explorer's options)";
        case ErrorHttpStatus:
            return L"Cannot get update info file.";
        case ErrorUnknown:
        default:
            return L"Unknown reason";
    }
}

}  // namespace Lumo::Update
