// An asynchronous HTTP download session over WinINet. One request at a time:
// the derived class starts it, WinINet reports progress on its own threads
// through one status callback shared by every session, and the session turns
// those notifications into OnResponse / OnData / OnFinished / OnError calls.
//
// Lifetime rules that keep WinINet's threads away from freed memory and from
// an unloaded module:
// - WinINet is handed a numeric context id, never a pointer; the callback
//   looks the id up in a process-wide table and ignores ids it no longer has.
// - A context that WinINet may still report on stays in that table after its
//   session closed it, until its last notification (every handle it saw is
//   closing and no asynchronous call is outstanding), and holds a module
//   reference until then; so does a session while it has an internet handle.
// - Notifications are handed to the session under a lock that Close and the
//   destructor take too: once they return, no handler of the session runs.
// - The callback itself holds the module while it runs, and its return is
//   covered by a loader reference that the system drops after it (see
//   CallbackScope).
#pragma once

#include <windows.h>
#include <wininet.h>

#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "win/Lock.h"
#include "win/ModuleReference.h"
#include "win/Network.h"

namespace Lumo::WinINet {

// Connect, send and receive time-outs of a session, in milliseconds.
struct Timeouts {
    DWORD connectMs = 15000;
    DWORD sendMs = 15000;
    DWORD receiveMs = 15000;
};

class Session {
public:
    static constexpr DWORD kReadSize = 4096;
    static constexpr const wchar_t* kAgent = L"msie 5";

    // The lock shared by a session and all its contexts; it outlives the
    // session for as long as a context does.
    class Lock;

    // What WinINet reports on: one request of one session.
    struct Context {
        Context(Session* owner, std::shared_ptr<Lock> lock);
        ~Context();
        Context(const Context&) = delete;
        Context& operator=(const Context&) = delete;

        Session* session;  // null once the context is closed
        Lumo::Win::UniqueInternet request;
        bool closed = false;
        const DWORD_PTR id;
        const std::shared_ptr<Lock> lock;
        // Bookkeeping for "WinINet is done with this context".
        std::set<HINTERNET> liveHandles;
        bool sawHandle = false;
        bool awaitingCompletion = false;
        // WinINet may still write into a read it was given after the request
        // was closed, so the read's buffer lives as long as its context.
        std::vector<char> buffer;
        INTERNET_BUFFERSA readDescriptor{};
        Lumo::Win::ModuleReference keepsModuleLoaded;
    };

    explicit Session(Timeouts timeouts = {});
    virtual ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // InternetOpenW with the system's proxy settings in asynchronous mode;
    // installs the status callback and the first context. False when WinINet
    // gave no handle (the error is kept for the first request to report).
    bool Open();
    // Removes the status callback, closes the internet handle (and with it
    // any request) and forgets the closed contexts. No handler runs after it
    // returns.
    void End();
    bool HasInternetHandle() const;
    // The lock every handler runs under; owners take it to read what the
    // handlers wrote.
    Lumo::Win::CriticalSection& Guard() const;

    virtual void Request(int kind);
    // Ends the current request: closes its handle (or leaves a pending open to
    // finish on its own), starts a fresh context and calls OnClosed.
    virtual void Close(int kind);
    virtual bool OnResponse(int kind);
    virtual bool OnData(int kind, const char* bytes, DWORD count);
    virtual void OnFinished(int kind);
    virtual void OnClosed(int kind);
    virtual void OnError(int kind, DWORD code);

protected:
    // Starts InternetOpenUrlW for `url` with the open-complete handler
    // pending. A failure at once is reported through OnError.
    void OpenUrl(int kind, const std::wstring& url, DWORD flags);
    // The request handle of the current request (null while opening).
    HINTERNET RequestHandle() const;

private:
    using Handler = std::function<void(DWORD status, void* info, DWORD length)>;
    friend void CALLBACK StatusCallback(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD) noexcept;
    friend struct Registry;

    void Dispatch(DWORD status, void* info, DWORD length);
    void OnOpenComplete(int kind, DWORD status, void* info);
    void OnReadComplete(int kind, DWORD status, void* info);
    void ReadLoop(int kind);
    void ResetContext();
    void ApplyTimeouts(HINTERNET handle);

    std::shared_ptr<Lock> lock_;
    Timeouts timeouts_;
    Lumo::Win::UniqueInternet internet_;
    DWORD openError_ = 0;
    std::optional<Lumo::Win::ModuleReference> internetReference_;
    Handler pending_;
    std::shared_ptr<Context> current_;
    std::list<std::shared_ptr<Context>> closed_;
};

// The status callback every session installs.
void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                             DWORD length) noexcept;

// Contexts WinINet may still report on (for tests: leaks and shutdown).
std::size_t LiveContextCount();

}  // namespace Lumo::WinINet
