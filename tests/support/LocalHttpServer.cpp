// The loopback HTTP server of the update tests: one thread accepts, one
// thread per connection answers.
#include "support/LocalHttpServer.h"

#include <ws2tcpip.h>

#include <stdexcept>

namespace QuelvarTest {
namespace {

struct WinsockStartup {
    WinsockStartup() {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    }
    ~WinsockStartup() { ::WSACleanup(); }
};

void EnsureWinsock() { static WinsockStartup startup; }

SOCKET ListenOnLoopback(unsigned short& port) {
    EnsureWinsock();
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int size = sizeof(address);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener, SOMAXCONN) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::closesocket(listener);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return listener;
}

bool SendAll(SOCKET connection, const char* data, std::size_t size) {
    while (size > 0) {
        const int sent = ::send(connection, data, static_cast<int>(size), 0);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

}  // namespace

LocalHttpServer::LocalHttpServer() : stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    listener_ = ListenOnLoopback(port_);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

LocalHttpServer::~LocalHttpServer() {
    ::SetEvent(stop_.get());
    ::closesocket(listener_);
    acceptor_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (SOCKET open : open_) ::shutdown(open, SD_BOTH);
        connections.swap(connections_);
    }
    for (std::thread& connection : connections) connection.join();
}

void LocalHttpServer::Serve(const std::string& path, HttpAnswer answer) {
    std::lock_guard<std::mutex> guard(lock_);
    answers_[path] = std::move(answer);
}

std::wstring LocalHttpServer::UpdateBaseUrl() const {
    return L"http://127.0.0.1:" + std::to_wstring(port_) + L"/update/";
}

int LocalHttpServer::Requests(const std::string& path) const {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = requests_.find(path);
    return it == requests_.end() ? 0 : it->second;
}

unsigned short LocalHttpServer::UnusedPort() {
    unsigned short port = 0;
    ::closesocket(ListenOnLoopback(port));
    return port;
}

void LocalHttpServer::AcceptLoop() {
    for (;;) {
        SOCKET connection = ::accept(listener_, nullptr, nullptr);
        if (connection == INVALID_SOCKET) return;  // the listener was closed
        std::lock_guard<std::mutex> guard(lock_);
        if (::WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0) {
            ::closesocket(connection);
            return;
        }
        // A client that stops reading or writing must not hold the server.
        const DWORD timeoutMs = 5000;
        ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                     sizeof(timeoutMs));
        ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                     sizeof(timeoutMs));
        open_.push_back(connection);
        connections_.emplace_back([this, connection] { Answer(connection); });
    }
}

void LocalHttpServer::Answer(SOCKET connection) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const int received = ::recv(connection, buffer, sizeof(buffer), 0);
        if (received <= 0) break;
        request.append(buffer, static_cast<std::size_t>(received));
    }
    std::string path;
    const std::size_t start = request.find(' ');
    if (start != std::string::npos)
        path = request.substr(start + 1, request.find(' ', start + 1) - start - 1);

    HttpAnswer answer;
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++requests_[path];
        auto it = answers_.find(path);
        if (it != answers_.end()) {
            answer = it->second;
        } else {
            answer.status = 404;
            answer.body = "<html><body>Not Found</body></html>";
        }
    }
    const HANDLE stop = stop_.get();
    if (answer.mode == HttpAnswer::Stall) {
        ::WaitForSingleObject(stop, INFINITE);
    } else if (answer.delayMs == 0 || ::WaitForSingleObject(stop, answer.delayMs) == WAIT_TIMEOUT) {
        std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " + Reason(answer.status) + "\r\n";
        if (answer.mode != HttpAnswer::NoLength) {
            const std::size_t announced =
                answer.body.size() + (answer.mode == HttpAnswer::CloseEarly ? 1000 : 0);
            head += "Content-Length: " + std::to_string(announced) + "\r\n";
        }
        head += "Content-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
        bool ok = SendAll(connection, head.data(), head.size());
        if (answer.mode == HttpAnswer::Pieces && answer.pieceSize > 0) {
            for (std::size_t at = 0; ok && at < answer.body.size(); at += answer.pieceSize) {
                ok = SendAll(connection, answer.body.data() + at,
                             std::min(answer.pieceSize, answer.body.size() - at));
                if (ok && ::WaitForSingleObject(stop, answer.pauseMs) == WAIT_OBJECT_0) ok = false;
            }
        } else if (ok) {
            SendAll(connection, answer.body.data(), answer.body.size());
        }
    }
    ::shutdown(connection, SD_SEND);
    // Let the client read to the end before the socket goes.
    while (::recv(connection, buffer, sizeof(buffer), 0) > 0) {
    }
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = open_.begin(); it != open_.end(); ++it) {
        if (*it == connection) {
            open_.erase(it);
            break;
        }
    }
    ::closesocket(connection);
}

}  // namespace QuelvarTest
