// The WinINet session: one status callback for every session, the table that
// turns WinINet's context values back into live contexts, and the open / read
// state machine of one request.
#include "update/WinINetSession.h"

#include <map>

#include "win/Boundary.h"
#include "win/Errors.h"
#include "win/Handle.h"
#include "win/Lock.h"

namespace Lumo::WinINet {

class Session::Lock {
public:
    Win::CriticalSection section;
};

// Contexts that WinINet holds a value of. The table owns them, so a context
// (and the module reference in it) lives until WinINet is done with it even
// when its session is long gone.
struct Registry {
    Win::CriticalSection section;
    std::map<DWORD_PTR, std::shared_ptr<Session::Context>> contexts;
    DWORD_PTR nextId = 0;

    static Registry& Instance() {
        static Registry registry;
        return registry;
    }
    DWORD_PTR NewId() {
        Win::ScopedLock guard(section);
        return ++nextId;
    }
    void Add(const std::shared_ptr<Session::Context>& context) {
        Win::ScopedLock guard(section);
        contexts.emplace(context->id, context);
    }
    std::shared_ptr<Session::Context> Find(DWORD_PTR id) {
        Win::ScopedLock guard(section);
        auto it = contexts.find(id);
        return it == contexts.end() ? nullptr : it->second;
    }
    // Called under the context's lock after anything that may have been its
    // last notification.
    void ReleaseIfDone(const Session::Context& context) {
        if (!context.closed || !context.liveHandles.empty()) return;
        // A pending call that never produced a handle ends with its
        // completion; once handles existed, their closing is the end.
        if (context.awaitingCompletion && !context.sawHandle) return;
        std::shared_ptr<Session::Context> released;  // freed outside the table's lock
        Win::ScopedLock guard(section);
        auto it = contexts.find(context.id);
        if (it == contexts.end()) return;
        released = std::move(it->second);
        contexts.erase(it);
    }
    std::size_t Count() {
        Win::ScopedLock guard(section);
        return contexts.size();
    }
};

namespace {

// The handle a HANDLE_CREATED / HANDLE_CLOSING notification names: WinINet
// passes either the handle itself or an INTERNET_ASYNC_RESULT holding it.
HINTERNET NotifiedHandle(const void* info, DWORD length) {
    if (!info) return nullptr;
    if (length == sizeof(INTERNET_ASYNC_RESULT)) {
        return reinterpret_cast<HINTERNET>(static_cast<const INTERNET_ASYNC_RESULT*>(info)->dwResult);
    }
    if (length >= sizeof(HINTERNET)) return *static_cast<const HINTERNET*>(info);
    return nullptr;
}

bool IsHttpUrl(const std::wstring& url) {
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = 1;
    return ::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) &&
           (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS);
}

}  // namespace

Session::Context::Context(Session* owner, std::shared_ptr<Lock> sessionLock)
    : session(owner), id(Registry::Instance().NewId()), lock(std::move(sessionLock)) {}

Session::Context::~Context() = default;

namespace {

// What keeps this module mapped while a status callback runs. The callback
// holds a module reference from its first instruction; dropping it is its
// last act, and may leave the module without any (a context's reference goes
// inside the callback that brings the last notification). From that moment
// COM may unload the module, yet the callback still has instructions of this
// module to run: the ones that return. So before dropping its reference the
// callback makes sure its thread holds a cover: a loader reference on the
// module whose release, FreeLibrary itself, is queued as an APC to that
// thread. The system runs an APC only when the thread waits alertably, which
// nothing of this module does: the release runs after the callback has
// returned, from the system's code, and the module cannot be unmapped before.
// A thread keeps at most one cover; an APC of ours queued just before the
// release marks the thread uncovered again while the reference still holds.
// A thread that never waits alertably keeps its cover for good, and the module
// stays loaded: safe, never early (so does a thread that ends with its APCs
// pending, whose stale mark then names a cover that is never released).
SRWLOCK g_coverLock = SRWLOCK_INIT;
std::set<DWORD> g_coveredThreads;

void CALLBACK Uncover(ULONG_PTR) noexcept {
    Win::ScopedLock hold(g_coverLock);
    g_coveredThreads.erase(::GetCurrentThreadId());
}

// False when the thread has no cover and none could be made.
bool CoverThread() noexcept {
    const DWORD thread = ::GetCurrentThreadId();
    {
        Win::ScopedLock hold(g_coverLock);
        if (g_coveredThreads.count(thread) != 0) return true;
    }
    HMODULE self = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&StatusCallback), &self)) {
        return false;
    }
    // Either APC failing leaves the loader reference for good.
    if (::QueueUserAPC(&Uncover, ::GetCurrentThread(), 0)) {
        ::QueueUserAPC(reinterpret_cast<PAPCFUNC>(&::FreeLibrary), ::GetCurrentThread(),
                       reinterpret_cast<ULONG_PTR>(self));
    }
    // Unmarked, the thread takes another cover next time: one more for good.
    Win::VoidBoundary([thread] {
        Win::ScopedLock hold(g_coverLock);
        g_coveredThreads.insert(thread);
    });
    return true;
}

class CallbackScope {
public:
    CallbackScope() noexcept { Win::ModuleReference::Lock(); }
    ~CallbackScope() {
        // Without a cover the reference stays, and with it the module.
        if (CoverThread()) Win::ModuleReference::Unlock();
    }
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;
};

}  // namespace

void CALLBACK StatusCallback(HINTERNET, DWORD_PTR contextId, DWORD status, LPVOID info,
                             DWORD length) noexcept {
    const CallbackScope scope;
    Win::VoidBoundary([&] {
        std::shared_ptr<Session::Context> context = Registry::Instance().Find(contextId);
        if (!context) return;  // a context WinINet reports on after it was released
        Win::ScopedLock guard(context->lock->section);
        if (status == INTERNET_STATUS_HANDLE_CREATED) {
            if (HINTERNET created = NotifiedHandle(info, length)) {
                context->liveHandles.insert(created);
                context->sawHandle = true;
            }
        } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
            context->liveHandles.erase(NotifiedHandle(info, length));
        } else if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
            context->awaitingCompletion = false;
        }
        if (!context->closed) {
            if (!context->session) return;
            if (status == INTERNET_STATUS_HANDLE_CREATED)
                context->session->ApplyTimeouts(NotifiedHandle(info, length));
            context->session->Dispatch(status, info, length);
        } else if (status == INTERNET_STATUS_REQUEST_COMPLETE && context->session) {
            context->session->closed_.remove(context);
        }
        Registry::Instance().ReleaseIfDone(*context);
    });
}

std::size_t LiveContextCount() { return Registry::Instance().Count(); }

Session::Session(Timeouts timeouts)
    : lock_(std::make_shared<Lock>()),
      timeouts_(timeouts),
      current_(std::make_shared<Context>(this, lock_)) {}

Session::~Session() { End(); }

Win::CriticalSection& Session::Guard() const { return lock_->section; }

bool Session::Open() {
    Win::ScopedLock guard(Guard());
    if (internet_) return true;
    internet_.reset(
        ::InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC));
    if (!internet_) {
        openError_ = ::GetLastError();
        return false;
    }
    internetReference_.emplace();
    ApplyTimeouts(internet_.get());
    ::InternetSetStatusCallbackW(internet_.get(), &StatusCallback);
    ResetContext();
    return true;
}

void Session::End() {
    Win::UniqueInternet internet;
    Win::UniqueInternet request;
    std::list<std::shared_ptr<Context>> all;
    std::optional<Win::ModuleReference> internetReference;
    {
        // Once the contexts are marked closed no handler of this session runs
        // again; the handles are closed outside the lock, so a notification
        // waiting for it on another thread is never waited for in turn.
        Win::ScopedLock guard(Guard());
        pending_ = nullptr;
        all = std::move(closed_);
        all.push_back(current_);
        request = std::move(current_->request);
        for (const auto& context : all) {
            context->closed = true;
            context->session = nullptr;
        }
        internet = std::move(internet_);
        internetReference = std::move(internetReference_);
        internetReference_.reset();
        current_ = std::make_shared<Context>(this, lock_);
    }
    if (internet) ::InternetSetStatusCallbackW(internet.get(), nullptr);
    // The request first; closing the internet handle then also ends an open
    // that has no request handle yet.
    request.reset();
    internet.reset();
    for (const auto& context : all) {
        Win::ScopedLock guard(context->lock->section);
        // With the callback gone, a handle WinINet creates from now on for an
        // open still queued has no callback to report with: such an open
        // never notifies again.
        if (!context->sawHandle) context->awaitingCompletion = false;
        Registry::Instance().ReleaseIfDone(*context);
    }
}

// Without them a server that accepts and never answers keeps the request
// open for as long as the system's defaults allow. They are set on every
// handle of the request too: not every WinINet hands the send and receive
// time-outs down from the internet handle.
void Session::ApplyTimeouts(HINTERNET handle) {
    if (!handle) return;
    const std::pair<DWORD, DWORD> options[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, timeouts_.connectMs},
                                               {INTERNET_OPTION_SEND_TIMEOUT, timeouts_.sendMs},
                                               {INTERNET_OPTION_RECEIVE_TIMEOUT, timeouts_.receiveMs}};
    for (auto [option, value] : options) ::InternetSetOptionW(handle, option, &value, sizeof(value));
}

bool Session::HasInternetHandle() const {
    Win::ScopedLock guard(Guard());
    return static_cast<bool>(internet_);
}

HINTERNET Session::RequestHandle() const { return current_->request.get(); }

void Session::ResetContext() { current_ = std::make_shared<Context>(this, lock_); }

void Session::Request(int) {}
bool Session::OnResponse(int) { return true; }
bool Session::OnData(int, const char*, DWORD) { return true; }
void Session::OnFinished(int) {}
void Session::OnClosed(int) {}
void Session::OnError(int, DWORD) {}

void Session::OpenUrl(int kind, const std::wstring& url, DWORD flags) {
    Win::ScopedLock guard(Guard());
    std::shared_ptr<Context> context = current_;
    context->request.reset();
    context->buffer.resize(kReadSize);
    pending_ = [this, kind](DWORD status, void* info, DWORD) { OnOpenComplete(kind, status, info); };
    if (!internet_) {
        pending_ = nullptr;
        OnError(kind, openError_ ? openError_ : ERROR_INVALID_HANDLE);
        return;
    }
    // WinINet may queue an open of another scheme and never report on it.
    if (!IsHttpUrl(url)) {
        pending_ = nullptr;
        OnError(kind, ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        return;
    }
    context->awaitingCompletion = true;
    Registry::Instance().Add(context);
    HINTERNET request = ::InternetOpenUrlW(internet_.get(), url.c_str(), nullptr, 0, flags, context->id);
    const DWORD error = request ? ERROR_SUCCESS : ::GetLastError();
    if (!request && error == ERROR_IO_PENDING) return;  // the open-complete handler follows
    context->awaitingCompletion = false;
    if (!request) {
        // No notification follows a call that failed at once.
        pending_ = nullptr;
        OnError(kind, error);
        Registry::Instance().ReleaseIfDone(*context);
        return;
    }
    INTERNET_ASYNC_RESULT result{reinterpret_cast<DWORD_PTR>(request), ERROR_SUCCESS};
    OnOpenComplete(kind, INTERNET_STATUS_REQUEST_COMPLETE, &result);
}

void Session::Dispatch(DWORD status, void* info, DWORD length) {
    if (status != INTERNET_STATUS_REQUEST_COMPLETE) return;
    Handler handler = pending_;
    if (handler) handler(status, info, length);
}

void Session::OnOpenComplete(int kind, DWORD, void* info) {
    pending_ = nullptr;
    const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
    if (!result) return;
    if (result->dwError != ERROR_SUCCESS) {
        OnError(kind, result->dwError);
        return;
    }
    std::shared_ptr<Context> context = current_;
    context->request.reset(reinterpret_cast<HINTERNET>(result->dwResult));
    if (context->request) {
        context->liveHandles.insert(context->request.get());
        context->sawHandle = true;
    }
    if (OnResponse(kind)) {
        ReadLoop(kind);
    } else if (current_ == context) {
        Close(kind);
    }
}

void Session::ReadLoop(int kind) {
    std::shared_ptr<Context> context = current_;
    for (;;) {
        INTERNET_BUFFERSA& descriptor = context->readDescriptor;
        descriptor = INTERNET_BUFFERSA{};
        descriptor.dwStructSize = sizeof(INTERNET_BUFFERSA);
        descriptor.lpvBuffer = context->buffer.data();
        descriptor.dwBufferLength = kReadSize;
        pending_ = [this, kind](DWORD status, void* info, DWORD) { OnReadComplete(kind, status, info); };
        context->awaitingCompletion = true;
        if (!::InternetReadFileExA(context->request.get(), &descriptor, IRF_ASYNC, context->id)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING) return;  // the read-complete handler follows
            context->awaitingCompletion = false;
            pending_ = nullptr;
            OnError(kind, error);
            return;
        }
        context->awaitingCompletion = false;
        if (descriptor.dwBufferLength == 0) {
            pending_ = nullptr;
            OnFinished(kind);
            return;
        }
        if (!OnData(kind, context->buffer.data(), descriptor.dwBufferLength)) return;
    }
}

void Session::OnReadComplete(int kind, DWORD, void* info) {
    pending_ = nullptr;
    // A read that failed (the connection reset, the time-out ran out) is a
    // failure, not the end of the body.
    const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
    if (result && result->dwError != ERROR_SUCCESS) {
        OnError(kind, result->dwError);
        return;
    }
    std::shared_ptr<Context> context = current_;
    const DWORD length = context->readDescriptor.dwBufferLength;
    if (length == 0) {
        OnFinished(kind);
        return;
    }
    if (OnData(kind, context->buffer.data(), length)) ReadLoop(kind);
}

void Session::Close(int kind) {
    Win::ScopedLock guard(Guard());
    std::shared_ptr<Context> context = current_;
    // Marked first: closing may report the handle's end on this very thread.
    context->closed = true;
    if (context->request) {
        pending_ = nullptr;
        // A handle that would not close may still be reported on: its
        // context waits in closed_ for the completion that ends it.
        if (!::InternetCloseHandle(context->request.release())) closed_.push_back(context);
    } else {
        closed_.push_back(context);
    }
    ResetContext();
    Registry::Instance().ReleaseIfDone(*context);
    OnClosed(kind);
}

}  // namespace Lumo::WinINet
