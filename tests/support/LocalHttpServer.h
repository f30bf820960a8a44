// A small HTTP/1.1 server on 127.0.0.1 for the update tests: it answers each
// path with a given status and body, and can misbehave as a broken or hostile
// server does: hold the answer, never answer, send the body in small pieces,
// close before the announced length, or stream more than any limit.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "win/Handle.h"

namespace QuelvarTest {

struct HttpAnswer {
    enum Mode {
        Whole,       // headers and body at once
        Pieces,      // the body in pieces of `pieceSize` bytes, `pauseMs` apart
        Stall,       // reads the request and never answers
        CloseEarly,  // announces more bytes than it sends, then closes
        NoLength,    // no Content-Length: the body runs until the connection closes
    };
    int status = 200;
    std::string body;
    Mode mode = Whole;
    DWORD delayMs = 0;  // before the headers
    std::size_t pieceSize = 0;
    DWORD pauseMs = 0;
};

class LocalHttpServer {
public:
    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    // Paths without an answer get a 404.
    void Serve(const std::string& path, HttpAnswer answer);
    unsigned short Port() const { return port_; }
    // "http://127.0.0.1:<port>/update/".
    std::wstring UpdateBaseUrl() const;
    // How many requests asked for `path` so far.
    int Requests(const std::string& path) const;
    // A loopback port nothing listens on.
    static unsigned short UnusedPort();

private:
    void AcceptLoop();
    void Answer(SOCKET connection);

    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    Lumo::Win::UniqueHandle stop_;
    mutable std::mutex lock_;
    std::map<std::string, HttpAnswer> answers_;
    std::map<std::string, int> requests_;
    std::vector<SOCKET> open_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

}  // namespace QuelvarTest
