#include "support/TestHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace zt::test {

TestHttpServer::TestHttpServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0)
        throw std::runtime_error("the test HTTP server cannot listen");
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    fallback_ = {WaitRequest(), Send(HttpReply("200 OK", "", "ok")), Close()};
    thread_ = std::thread([this] { Run(); });
}

TestHttpServer::~TestHttpServer() {
    stop_.store(true);
    thread_.join();
    ::close(listener_);
}

std::string TestHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TestHttpServer::Queue(Script script) {
    std::lock_guard<std::mutex> guard(lock_);
    queue_.push_back(std::move(script));
}

void TestHttpServer::SetDefault(Script script) {
    std::lock_guard<std::mutex> guard(lock_);
    fallback_ = std::move(script);
}

void TestHttpServer::SetRouter(Router route) {
    std::lock_guard<std::mutex> guard(lock_);
    router_ = std::move(route);
}

std::vector<std::string> TestHttpServer::Requests() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

std::vector<std::string> TestHttpServer::Received() const {
    std::lock_guard<std::mutex> guard(lock_);
    return received_;
}

int TestHttpServer::Connections() const {
    std::lock_guard<std::mutex> guard(lock_);
    return int(received_.size());
}

void TestHttpServer::Run() {
    while (!stop_.load()) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        Script script;
        Router router;
        size_t index;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (!queue_.empty()) {
                script = std::move(queue_.front());
                queue_.pop_front();
            } else {
                script = fallback_;
            }
            router = router_;
            index = received_.size();
            received_.emplace_back();
        }
        // Each connection on its own thread: a client may keep one open
        // while it (or another client) opens the next.
        workers_.emplace_back(
            [this, fd, script = std::move(script), router = std::move(router), index] {
                if (router)
                    Route(fd, router, index);
                else
                    Serve(fd, script, index);
                ::close(fd);
            });
    }
    for (std::thread& worker : workers_) worker.join();
}

bool TestHttpServer::ReadSome(int fd, size_t index, int timeoutMs, std::string& seen) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return true;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    seen.append(buffer, size_t(n));
    std::lock_guard<std::mutex> guard(lock_);
    received_[index].append(buffer, size_t(n));
    return true;
}

void TestHttpServer::Serve(int fd, const Script& script, size_t index) {
    std::string seen;  // this connection's bytes not yet taken by a request
    bool waitsForRequests = false;
    for (const Step& step : script) waitsForRequests |= step.kind == Step::WaitRequest;
    // A connection kept open is answered by the same script for every
    // request on it.
    for (;;) {
        for (const Step& step : script)
            if (!RunStep(fd, index, step, seen)) return;
        if (!waitsForRequests) {
            while (!stop_.load() && ReadSome(fd, index, 50, seen)) {
            }
            return;
        }
    }
}

void TestHttpServer::Route(int fd, const Router& route, size_t index) {
    std::string seen;
    std::string head;
    while (TakeRequest(fd, index, seen, &head)) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            requests_.push_back(head.substr(0, head.find("\r\n")));
        }
        for (const Step& step : route(head))
            if (!RunStep(fd, index, step, seen)) return;
    }
}

bool TestHttpServer::TakeRequest(int fd, size_t index, std::string& seen, std::string* head) {
    size_t end;
    while ((end = seen.find("\r\n\r\n")) == std::string::npos) {
        if (stop_.load() || !ReadSome(fd, index, 50, seen)) return false;
    }
    if (head) *head = seen.substr(0, end + 4);
    seen.erase(0, end + 4);
    return true;
}

bool TestHttpServer::RunStep(int fd, size_t index, const Step& step, std::string& seen) {
    if (stop_.load()) return false;
    switch (step.kind) {
        case Step::WaitRequest:
            return TakeRequest(fd, index, seen, nullptr);
        case Step::Send:
            ::send(fd, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL);
            return true;
        case Step::Pause:
            std::this_thread::sleep_for(step.pause);
            return true;
        case Step::Close:
            return false;
        case Step::Hang:
            while (!stop_.load() && ReadSome(fd, index, 50, seen)) {
            }
            return false;
    }
    return false;
}

std::string HttpReply(const std::string& status, const std::string& headers,
                      const std::string& body, bool length) {
    std::string out = "HTTP/1.1 " + status + "\r\n" + headers;
    if (length) out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return out + "\r\n" + body;
}

}  // namespace zt::test
