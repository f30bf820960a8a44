// The update check over the WinINet session: URLs, the two answers and their
// limits, the parsing of version.xml and the failure texts.
#include "update/UpdateCheck.h"

#include <wininet.h>

#include <locale>

#include "tinyxml.h"
#include "win/DiagnosticLog.h"
#include "win/Errors.h"
#include "win/Handle.h"

namespace Lumo::Update {
namespace {

// Reload from the server, never from or into the cache.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    const std::size_t length = wcslen(prefix);
    if (text.size() < length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

std::wstring FromThreadCodePage(const std::string& text) {
    if (text.empty()) return {};
    const int length =
        ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// The text of `parent`'s first child element `name`, when that element's
// first child is text; empty otherwise.
std::wstring FirstTextOf(TiXmlElement& parent, const char* name) {
    TiXmlNode* element = parent.FirstChild(name);
    if (!element) return {};
    TiXmlNode* first = element->FirstChild();
    TiXmlText* text = first ? first->ToText() : nullptr;
    return text ? FromThreadCodePage(text->ValueStr()) : std::wstring();
}

std::wstring LowerCase(const std::wstring& word) {
    std::wstring lower = word;
    const std::locale locale;
    for (wchar_t& c : lower) c = std::tolower(c, locale);
    return lower;
}

}  // namespace

bool IsAcceptableDownloadPage(const std::wstring& url) {
    if (url.empty() || url.size() >= INTERNET_MAX_URL_LENGTH) return false;
    for (wchar_t c : url) {
        if (c <= L' ' || c == 0x7F || c == L'\\') return false;
    }
    // What the shell is handed must itself read as a web address, whatever
    // the URL parser would make of it.
    if (!StartsWithNoCase(url, L"http://") && !StartsWithNoCase(url, L"https://")) return false;
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = 1;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    return parts.lpszHostName && parts.dwHostNameLength > 0;
}

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
    Win::CriticalSectionLock guard(Guard());
    return url_;
}

void CheckerSession::Start(int kind, const wchar_t* fileName) {
    Win::CriticalSectionLock guard(Guard());
    url_ = baseUrl_ + LowerCase(productWord_) + L"/" + fileName;
    kind_ = kind;
    expectedLength_ = -1;
    (kind == VersionInfo ? owner_.versionBody_ : owner_.historyBody_).clear();
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
    // A connection that ends before the announced length is a broken answer,
    // not a shorter file.
    if (LengthMismatch(kind)) {
        owner_.ReportError(ERROR_INTERNET_CONNECTION_RESET);
    } else if (kind == VersionInfo) {
        owner_.ParseVersionInfo();
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
                         WinINet::Timeouts timeouts)
    : session_(*this, std::move(productWord), std::move(version), std::move(baseUrl), timeouts) {}

UpdateCheck::~UpdateCheck() { End(); }

void UpdateCheck::SetCompletion(std::function<void()> completion) {
    Win::CriticalSectionLock guard(session_.Guard());
    completion_ = std::move(completion);
}

void UpdateCheck::End() {
    session_.End();
    bridge_.Discard();
}

void UpdateCheck::Complete() {
    std::function<void()> completion = completion_;
    bridge_.Post([completion] {
        if (completion) completion();
    });
}

void UpdateCheck::Fail(UpdateError kind) {
    Win::LogFailure("UpdateCheck::Fail", E_FAIL, kind == ErrorHttpStatus ? "HTTP status" : "too large");
    succeeded_ = false;
    errorKind_ = kind;
    Complete();
}

void UpdateCheck::ReportError(DWORD code) {
    Win::LogFailure("UpdateCheck::ReportError", code);
    succeeded_ = false;
    wchar_t text[2048] = {};
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 2048, nullptr);
    errorCode_ = code;
    if (length > 0) {
        errorDescription_.assign(text, length);
        errorKind_ = ErrorWithDescription;
    } else {
        errorDescription_.clear();
        errorKind_ = ErrorNoDescription;
    }
    Complete();
}

void UpdateCheck::ParseVersionInfo() {
    succeeded_ = false;
    latestVersion_.clear();
    downloadPage_.clear();
    TiXmlDocument document;
    document.Parse(versionBody_.c_str());
    if (!document.Error()) {
        TiXmlNode* productNode = document.FirstChild("product");
        TiXmlElement* product = productNode ? productNode->ToElement() : nullptr;
        TiXmlNode* updateNode = product ? product->FirstChild("update") : nullptr;
        TiXmlElement* update = updateNode ? updateNode->ToElement() : nullptr;
        if (update) {
            latestVersion_ = FirstTextOf(*update, "latest_version");
            downloadPage_ = FirstTextOf(*update, "download_page");
        }
        // The page is opened with the shell: an address it would run or open
        // locally makes the whole answer unusable.
        if (!downloadPage_.empty() && !IsAcceptableDownloadPage(downloadPage_)) {
            latestVersion_.clear();
            downloadPage_.clear();
        }
        succeeded_ = !latestVersion_.empty() && !downloadPage_.empty();
    }
    Complete();
}

#define LUMO_LOCKED_GETTER(Type, Name, member)            \
    Type UpdateCheck::Name() const {                      \
        Win::CriticalSectionLock guard(session_.Guard()); \
        return member;                                    \
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
    Win::CriticalSectionLock guard(session_.Guard());
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
