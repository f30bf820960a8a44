// The update check: asks the update server for "version.xml" (the latest
// version and its download page) and "history.txt" (the change history).
// Every request ends in one call of the completion callback, delivered on the
// thread that created the check; ending the check (End or the destructor)
// drops any completion not yet delivered. A request that has not ended when
// the check's deadline passes (counted from the start of its first request)
// ends the session and is reported as a time-out, so a server that trickles
// its answers cannot keep a check going for good.
// version.xml is parsed on the creating thread, never under the session's
// lock: a hostile answer can neither hold that lock nor reach WinINet's stack.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

#include "update/CompletionBridge.h"
#include "update/UpdateServer.h"
#include "update/VersionInfo.h"
#include "update/WinINetSession.h"

namespace Lumo::Update {

enum UpdateError {
    ErrorUnknown = 0,          // nothing more is known, e.g. an unusable version.xml
    ErrorWithDescription = 1,  // an error code the system can describe
    ErrorNoDescription = 2,    // an error code without a system description
    ErrorHttpStatus = 3,       // the server answered with a status other than 200
};

// Largest answers read; a larger one ends its request as a failure.
inline constexpr std::size_t kMaxVersionInfoSize = 64 * 1024;
inline constexpr std::size_t kMaxHistorySize = 1024 * 1024;
// Longest time a check may take from the start of its first request to the
// last byte of its last one.
inline constexpr DWORD kRequestDeadlineMs = 60000;

class UpdateCheck;

class CheckerSession : public WinINet::Session {
public:
    enum Kind { VersionInfo = 0, History = 1 };

    CheckerSession(UpdateCheck& owner, std::wstring productWord, std::wstring version, std::wstring baseUrl,
                   WinINet::Timeouts timeouts);
    ~CheckerSession() override;

    void RequestVersionInfo();
    void RequestHistory();
    // The URL of the current (or last) request.
    std::wstring CurrentUrl() const;

    void Request(int kind) override;
    bool OnResponse(int kind) override;
    bool OnData(int kind, const char* bytes, DWORD count) override;
    void OnFinished(int kind) override;
    void OnError(int kind, DWORD code) override;

private:
    void Start(int kind, const wchar_t* fileName);
    bool LengthMismatch(int kind) const;

    UpdateCheck& owner_;
    std::wstring productWord_;
    std::wstring version_;
    std::wstring baseUrl_;
    std::wstring url_;
    int kind_ = VersionInfo;
    // Content-Length of the current answer; -1 when the server sent none.
    long long expectedLength_ = -1;
};

class UpdateCheck {
public:
    // `baseUrl` ends in "/update/"; the product word is appended lower-cased.
    UpdateCheck(std::wstring productWord, std::wstring version, std::wstring baseUrl = kDefaultUpdateBaseUrl,
                WinINet::Timeouts timeouts = {}, DWORD deadlineMs = kRequestDeadlineMs);
    ~UpdateCheck();
    UpdateCheck(const UpdateCheck&) = delete;
    UpdateCheck& operator=(const UpdateCheck&) = delete;

    // Runs on the creating thread whenever a request ends.
    void SetCompletion(std::function<void()> completion);
    CheckerSession& Session() { return session_; }

    // Ends the session: no completion is delivered after it returns.
    void End();

    bool Succeeded() const;
    UpdateError ErrorKind() const;
    DWORD ErrorCode() const;
    std::wstring ErrorDescription() const;
    std::wstring LatestVersion() const;
    std::wstring DownloadPage() const;
    std::string VersionBody() const;
    std::string HistoryBody() const;
    // The text a user is shown for the last failure.
    std::wstring FailureMessage() const;

private:
    friend class CheckerSession;

    // Called under the session's lock, mostly on WinINet's threads.
    void Started();
    void Complete();
    void Fail(UpdateError kind);
    void ReportError(DWORD code);
    void VersionReceived();
    // On the creating thread.
    void FinishVersionInfo();
    void OnDeadline(unsigned request);

    CompletionBridge bridge_;
    std::function<void()> completion_;
    bool succeeded_ = false;
    std::string versionBody_;
    UpdateError errorKind_ = ErrorUnknown;
    std::wstring latestVersion_;
    std::wstring downloadPage_;
    std::string historyBody_;
    DWORD errorCode_ = 0;
    std::wstring errorDescription_;
    DWORD deadlineMs_;
    ULONGLONG firstStartedAt_ = 0;
    // The request whose completion is still owed; each completes once.
    unsigned request_ = 0;
    bool inFlight_ = false;
    // The failure to log, kept from where it is met (under the session's
    // lock) to the bridge's call, which logs it with no lock held.
    struct Failure {
        const char* function = nullptr;
        DWORD code = 0;
        const char* detail = nullptr;
    };
    Failure failure_;
    CheckerSession session_;
};

}  // namespace Lumo::Update
