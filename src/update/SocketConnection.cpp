#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "update/HttpConnection.h"
#include "update/HttpErrors.h"

namespace zt {

namespace {

constexpr int kSliceMs = 100;

[[noreturn]] void SocketError(int code) {
    throw EIdSocketError(code,
                         "Socket Error # " + std::to_string(code) + "\r\n" + std::strerror(code));
}

// Waits for `events` on fd up to timeoutMs (0: forever), in slices so that
// a cancel is noticed. False on time-out.
bool WaitFor(int fd, short events, int timeoutMs, const std::atomic<bool>* cancel) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (cancel && cancel->load()) throw EIdReadTimeout("Cancelled.");
        int slice = kSliceMs;
        if (timeoutMs > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0) return false;
            slice = int(std::min<long long>(left, kSliceMs));
        }
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, slice);
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) SocketError(errno);
    }
}

using AddressList = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

// One name resolution, shared between the thread that waits for it and the
// thread that runs getaddrinfo (which cannot be interrupted).
struct Resolution {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    int result = EAI_FAIL;
    addrinfo* found = nullptr;
    bool abandoned = false;
};

// Resolves host within timeoutMs (0: as long as the resolver takes) and
// ends at once on a cancel. The resolver runs on a thread of its own, so a
// name server that never answers holds up neither a request's time limit
// nor a cancel; a resolution given up frees its result when it ends.
AddressList Resolve(const std::string& host, int port, int timeoutMs,
                    const std::atomic<bool>* cancel) {
    auto state = std::make_shared<Resolution>();
    std::thread([state, host, service = std::to_string(port)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int result = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
        std::lock_guard guard(state->lock);
        if (state->abandoned) {
            if (found) ::freeaddrinfo(found);
            return;
        }
        state->result = result;
        state->found = found;
        state->finished = true;
        state->done.notify_all();
    }).detach();

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock guard(state->lock);
    for (;;) {
        if (state->finished) break;
        const bool cancelled = cancel && cancel->load();
        if (cancelled || (timeoutMs > 0 && Clock::now() >= deadline)) {
            state->abandoned = true;
            if (cancelled) throw EIdReadTimeout("Cancelled.");
            throw EIdReadTimeout("Connect timed out.");
        }
        auto wake = Clock::now() + std::chrono::milliseconds(kSliceMs);
        if (timeoutMs > 0 && deadline < wake) wake = deadline;
        state->done.wait_until(guard, wake);
    }
    if (state->result != 0 || !state->found) {
        if (state->found) ::freeaddrinfo(state->found);
        throw Exception("Host not found.");
    }
    return AddressList(state->found, ::freeaddrinfo);
}

class SocketConnection final : public HttpConnection {
public:
    SocketConnection(int fd, const std::atomic<bool>* cancel) : fd_(fd), cancel_(cancel) {}
    ~SocketConnection() override { ::close(fd_); }

    size_t Read(char* buffer, size_t size, int timeoutMs) override {
        if (!WaitFor(fd_, POLLIN, timeoutMs, cancel_)) throw EIdReadTimeout();
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, size, 0);
            if (n >= 0) return size_t(n);
            if (errno == EINTR) continue;
            SocketError(errno);
        }
    }

    void Write(const std::string& bytes) override {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR) continue;
                SocketError(errno);
            }
            sent += size_t(n);
        }
    }

    bool PeerClosed() override {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) return false;
        if (p.revents & (POLLHUP | POLLERR)) return true;
        char c;
        // Readable with nothing to read: the peer has closed.
        return ::recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
    }

private:
    int fd_;
    const std::atomic<bool>* cancel_;
};

class SocketConnector final : public HttpConnector {
public:
    explicit SocketConnector(const std::atomic<bool>* cancel) : cancel_(cancel) {}

    std::unique_ptr<HttpConnection> Connect(const std::string& host, int port,
                                            int timeoutMs) override {
        AddressList list = Resolve(host, port, timeoutMs, cancel_);
        addrinfo* found = list.get();
        int lastError = ECONNREFUSED;
        for (addrinfo* a = found; a; a = a->ai_next) {
            const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
            if (fd < 0) {
                lastError = errno;
                continue;
            }
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            int result = ::connect(fd, a->ai_addr, a->ai_addrlen);
            if (result != 0 && errno == EINPROGRESS) {
                bool ready = false;
                try {
                    ready = WaitFor(fd, POLLOUT, timeoutMs, cancel_);
                } catch (...) {
                    ::close(fd);
                    throw;
                }
                if (!ready) {
                    ::close(fd);
                    throw EIdReadTimeout("Connect timed out.");
                }
                int error = 0;
                socklen_t length = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
                result = error == 0 ? 0 : -1;
                errno = error;
            }
            if (result == 0) {
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
                return std::make_unique<SocketConnection>(fd, cancel_);
            }
            lastError = errno;
            ::close(fd);
        }
        if (lastError == ECONNREFUSED) throw Exception("Connection refused.");
        SocketError(lastError);
    }

private:
    const std::atomic<bool>* cancel_;
};

}  // namespace

std::unique_ptr<HttpConnector> MakeSocketConnector(const std::atomic<bool>* cancel) {
    return std::make_unique<SocketConnector>(cancel);
}

}  // namespace zt
