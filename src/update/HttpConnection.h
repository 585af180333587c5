#pragma once
// The byte stream under the HTTP client: a TCP connection for the program,
// bytes in memory for the fuzz target and the reader's tests.
//
// Threads: one connection is used by one thread at a time (the thread that
// runs its client's request).

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

namespace zt {

class HttpConnection {
public:
    virtual ~HttpConnection() = default;
    // Reads up to `size` bytes, waiting at most `timeoutMs` (0: as long as
    // it takes) for the first; returns 0 when the peer has closed in an
    // orderly way. Throws EIdReadTimeout when nothing arrived in time and
    // EIdSocketError when the socket failed.
    virtual size_t Read(char* buffer, size_t size, int timeoutMs) = 0;
    // Writes all of it, or throws EIdSocketError.
    virtual void Write(const std::string& bytes) = 0;
    // Whether the peer has closed the connection (looked at without waiting).
    virtual bool PeerClosed() = 0;
};

class HttpConnector {
public:
    virtual ~HttpConnector() = default;
    // Opens a connection to host:port within `timeoutMs` (0: as long as the
    // system waits). Throws "Host not found.", "Connection refused.",
    // EIdSocketError or EIdReadTimeout ("Connect timed out.").
    virtual std::unique_ptr<HttpConnection> Connect(const std::string& host, int port,
                                                    int timeoutMs) = 0;
};

// TCP through the system's sockets. `cancel`, when given and set, ends a
// wait within about 100 ms with EIdReadTimeout("Cancelled.").
std::unique_ptr<HttpConnector> MakeSocketConnector(const std::atomic<bool>* cancel = nullptr);

}  // namespace zt
