#pragma once
// A small HTTP server for tests on 127.0.0.1 and a free port. Each
// connection it accepts is served by the next script of its queue (or the
// default one): the script sees the request bytes read so far and answers
// by sending bytes, pausing, closing, or never answering. Everything every
// connection sent is recorded, so tests see what went on the wire.
//
// Threads: the server runs one thread that accepts connections and one
// thread per connection that serves it; the test's thread sets scripts and
// reads the records under the server's lock.

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zt::test {

class TestHttpServer {
public:
    // What a connection does, step by step, once a whole request head
    // ("\r\n\r\n") has arrived (or at once for steps before WaitRequest).
    struct Step {
        enum Kind { Send, Pause, Close, WaitRequest, Hang };
        Kind kind = Send;
        std::string bytes;                   // Send
        std::chrono::milliseconds pause{0};  // Pause
    };
    using Script = std::vector<Step>;

    static Step Send(std::string bytes) { return {Step::Send, std::move(bytes), {}}; }
    static Step Pause(int ms) { return {Step::Pause, {}, std::chrono::milliseconds(ms)}; }
    static Step Close() { return {Step::Close, {}, {}}; }
    static Step WaitRequest() { return {Step::WaitRequest, {}, {}}; }
    // Keeps the connection open, answering nothing, until the server stops.
    static Step Hang() { return {Step::Hang, {}, {}}; }

    TestHttpServer();
    ~TestHttpServer();

    int Port() const { return port_; }
    std::string Url(const std::string& path = "/") const;

    // Scripts for the next connections, in order; after them `fallback`.
    void Queue(Script script);
    void SetDefault(Script script);

    // Answers by the request instead of by connection: every request
    // (on any connection, kept open between requests unless the script
    // closes it) is answered by the script `route` returns for its head
    // ("GET /path HTTP/1.1\r\n..."). Set before the connections it serves.
    using Router = std::function<Script(const std::string& head)>;
    void SetRouter(Router route);
    // The request lines of the requests routed so far, in order of arrival.
    std::vector<std::string> Requests() const;

    // The bytes each connection sent, in order of connection.
    std::vector<std::string> Received() const;
    int Connections() const;

private:
    void Run();
    void Serve(int fd, const Script& script, size_t index);
    void Route(int fd, const Router& route, size_t index);
    // Waits up to timeoutMs for bytes of connection `index`, appends them to
    // `seen` and to its record. False once the peer has closed.
    bool ReadSome(int fd, size_t index, int timeoutMs, std::string& seen);
    // Takes the next whole request head off `seen`, reading as needed.
    // False once the peer has closed or the server stops.
    bool TakeRequest(int fd, size_t index, std::string& seen, std::string* head);
    // One step of a script; false when the connection ends with it.
    bool RunStep(int fd, size_t index, const Step& step, std::string& seen);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;
    std::deque<Script> queue_;
    Script fallback_;
    Router router_;
    std::vector<std::string> requests_;
    std::vector<std::string> received_;
    std::vector<std::thread> workers_;  // the accepting thread's own
    std::thread thread_;
};

// "HTTP/1.1 <status>\r\n<headers>\r\n\r\n<body>" with Content-Length added
// when `length` is set.
std::string HttpReply(const std::string& status, const std::string& headers,
                      const std::string& body, bool length = true);

}  // namespace zt::test
