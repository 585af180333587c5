// The HTTP client against a local server that records what arrives and can
// misbehave: what goes on the wire, keep-alive, chunks, reading to the
// close, redirects and errors with their texts, progress, and time limits.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/TestHttpServer.h"
#include "update/HttpClient.h"
#include "update/HttpErrors.h"

namespace zt {
namespace {

using test::HttpReply;
using test::TestHttpServer;
using Server = TestHttpServer;

// Progress notifications as text: "begin 5", "work 5", "end".
struct Progress {
    std::vector<std::string> events;
    void Attach(TIdHTTP& http) {
        http.OnWorkBegin = [this](TWorkMode, int64_t n) {
            events.push_back("begin " + std::to_string(n));
        };
        http.OnWork = [this](TWorkMode, int64_t n) {
            events.push_back("work " + std::to_string(n));
        };
        http.OnWorkEnd = [this](TWorkMode) { events.push_back("end"); };
    }
    std::vector<std::string> BeginsAndEnds() const {
        std::vector<std::string> out;
        for (const std::string& e : events)
            if (e.rfind("work", 0) != 0) out.push_back(e);
        return out;
    }
};

// The message of what `fn` throws as E, or "" when it throws nothing.
template <class E, class F>
std::string ErrorOf(F fn) {
    try {
        fn();
    } catch (const E& e) {
        return e.what();
    }
    return "";
}

class HttpClientTest : public ::testing::Test {
protected:
    HttpClientTest() { http_.ReadTimeout = 10000; }
    Server server_;
    TIdHTTP http_;
};

TEST_F(HttpClientTest, TheRequestGoesOnTheWireAsSpecified) {
    server_.SetDefault(
        {Server::WaitRequest(),
         Server::Send(HttpReply("200 OK", "Set-Cookie: sid=42; path=/\r\n", "first"))});
    EXPECT_EQ(http_.Get(server_.Url("/atualizacao/versao.php?v=2012.05.03.17&x=a b")), "first");
    EXPECT_EQ(http_.Get(server_.Url("/b")), "first");
    const std::string host = "127.0.0.1:" + std::to_string(server_.Port());
    ASSERT_EQ(server_.Connections(), 1) << "kept alive";
    EXPECT_EQ(server_.Received()[0],
              "GET /atualizacao/versao.php?v=2012.05.03.17&x=a b HTTP/1.1\r\n"
              "Host: " +
                  host +
                  "\r\n"
                  "Accept: text/html, */*\r\n"
                  "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                  "\r\n"
                  "GET /b HTTP/1.1\r\n"
                  "Host: " +
                  host +
                  "\r\n"
                  "Accept: text/html, */*\r\n"
                  "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                  "Cookie: sid=42\r\n"
                  "\r\n");

    // HTTP/1.0 asks for keep-alive first, and gets it only when answered so.
    TIdHTTP old;
    old.ProtocolVersion10 = true;
    server_.Queue({Server::WaitRequest(), Server::Send(HttpReply("200 OK", "", "x"))});
    old.Get(server_.Url("/"));
    EXPECT_FALSE(old.Connected());
    EXPECT_EQ(server_.Received()[1].rfind("GET / HTTP/1.0\r\nConnection: keep-alive\r\nHost: ", 0),
              0u)
        << server_.Received()[1];
}

TEST_F(HttpClientTest, ConnectionCloseIsHonouredAfterTheBodyIsRead) {
    server_.Queue({Server::WaitRequest(),
                   Server::Send(HttpReply("200 OK", "Connection: close\r\n", "all of it")),
                   Server::Pause(200), Server::Close()});
    EXPECT_EQ(http_.Get(server_.Url()), "all of it");
    EXPECT_FALSE(http_.Connected());
    EXPECT_EQ(http_.Get(server_.Url()), "ok");
    EXPECT_EQ(server_.Connections(), 2);
}

TEST_F(HttpClientTest, BodiesOfEveryShape) {
    struct Case {
        const char* name;
        std::string reply;
        std::string body;
        std::vector<std::string> progress;  // begins and ends
    };
    const std::vector<Case> cases = {
        {"length", HttpReply("200 OK", "", "0123456789"), "0123456789", {"begin 10", "end"}},
        {"two chunks",
         HttpReply("200 OK", "Transfer-Encoding: chunked\r\n",
                   "5\r\nhello\r\n7 ; ext\r\n, world\r\n0\r\n\r\n", false),
         "hello, world",
         {"begin 5", "end", "begin 7", "end"}},
        {"to the close",
         HttpReply("200 OK", "", "until closed", false),
         "until closed",
         {"begin 0", "end"}},
        {"100 first",
         "HTTP/1.1 100 Continue\r\n\r\n" + HttpReply("200 OK", "", "after"),
         "after",
         {"begin 5", "end"}},
        {"cut short",
         "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this",
         "only this",
         {"begin 100", "end"}},
        {"no content", "HTTP/1.1 204 No Content\r\n\r\n", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIdHTTP http;
        http.ReadTimeout = 10000;
        Progress progress;
        progress.Attach(http);
        server_.Queue({Server::WaitRequest(), Server::Send(c.reply), Server::Close()});
        EXPECT_EQ(http.Get(server_.Url()), c.body);
        EXPECT_EQ(progress.BeginsAndEnds(), c.progress);
    }
}

TEST_F(HttpClientTest, UnsuccessfulAnswersAndRedirectsRaiseWithTheStatusLine) {
    struct Case {
        std::string reply;
        std::string message;
        int code;
        std::string body;
    };
    const std::vector<Case> cases = {
        {HttpReply("404 Not Found", "", "no such page"), "HTTP/1.1 404 Not Found", 404,
         "no such page"},
        {HttpReply("302 Found", "Location: /elsewhere\r\n", "moved"), "HTTP/1.1 302 Found", 302,
         "moved"},
        {HttpReply("200 OK", "Location: /elsewhere\r\n", ""), "HTTP/1.1 200 OK", 200, ""},
        {HttpReply("500 Internal Server Error", "", "boom"), "HTTP/1.1 500 Internal Server Error",
         500, "boom"},
        {HttpReply("304 Not Modified", "", ""), "HTTP/1.1 304 Not Modified", 304, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TIdHTTP http;
        http.ReadTimeout = 10000;
        server_.Queue({Server::WaitRequest(), Server::Send(c.reply)});
        try {
            http.Get(server_.Url("/page"));
            ADD_FAILURE() << "no error";
        } catch (const EIdHTTPProtocolException& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
            EXPECT_EQ(e.ReplyErrorCode(), c.code);
            EXPECT_EQ(e.ErrorMessage(), c.body);
        }
    }
    // Redirects were not followed: one request per answer.
    for (const std::string& received : server_.Received())
        EXPECT_EQ(received.find("/elsewhere"), std::string::npos);
}

TEST_F(HttpClientTest, BrokenAnswersEndWithTheClientsErrors) {
    struct Case {
        const char* name;
        Server::Script script;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"closed before answering",
         {Server::WaitRequest(), Server::Close()},
         "Connection Closed Gracefully."},
        {"closed inside a chunk",
         {Server::WaitRequest(),
          Server::Send(HttpReply("200 OK", "Transfer-Encoding: chunked\r\n", "10\r\nshort", false)),
          Server::Close()},
         "Connection Closed Gracefully."},
        {"a line over 16384 bytes",
         {Server::WaitRequest(),
          Server::Send("HTTP/1.1 200 OK\r\nX-Long: " + std::string(20000, 'a') + "\r\n\r\n")},
         "Max line length exceeded."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIdHTTP http;
        http.ReadTimeout = 10000;
        server_.Queue(c.script);
        EXPECT_EQ(ErrorOf<Exception>([&] { http.Get(server_.Url()); }), c.message);
    }
    EXPECT_EQ(ErrorOf<Exception>([&] { http_.Get("https://127.0.0.1/"); }),
              "IOHandler value is not valid");
    EXPECT_EQ(ErrorOf<EIdUnknownProtocol>([&] { http_.Get("ftp://127.0.0.1/x"); }),
              "Unknown Protocol");
    // A port nobody listens on.
    TestHttpServer* none = new TestHttpServer;
    const std::string closed = none->Url();
    delete none;
    EXPECT_EQ(ErrorOf<Exception>([&] { http_.Get(closed); }), "Connection refused.");
}

TEST_F(HttpClientTest, AServerThatNeverAnswersEndsInTheTimeAllowed) {
    server_.SetDefault({Server::Hang()});
    TIdHTTP http;
    http.ReadTimeout = 300;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorOf<EIdReadTimeout>([&] { http.Get(server_.Url()); }), "Read timed out.");
    // A trickle that never ends is bounded by the whole request's limit.
    server_.Queue({Server::WaitRequest(), Server::Send("HTTP/1.1 200 OK\r\n"), Server::Pause(100),
                   Server::Send("X-A: 1\r\n"), Server::Pause(100), Server::Send("X-B: 1\r\n"),
                   Server::Pause(100), Server::Send("X-C: 1\r\n"), Server::Hang()});
    TIdHTTP trickle;
    trickle.ReadTimeout = 10000;
    trickle.RequestTimeout = 250;
    EXPECT_EQ(ErrorOf<EIdReadTimeout>([&] { trickle.Get(server_.Url()); }), "Read timed out.");
    // And another thread can end a wait that has no limit.
    TIdHTTP endless;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        endless.Cancel();
    });
    EXPECT_EQ(ErrorOf<EIdReadTimeout>([&] { endless.Get(server_.Url()); }), "Cancelled.");
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(HttpUrlTest, PortsAndRequestUris) {
    struct Case {
        std::string url, protocol, host;
        int port;
        std::string uri;
    };
    const std::vector<Case> cases = {
        {"http://example.org/a/b.php?x=1", "http", "example.org", 80, "/a/b.php?x=1"},
        {"http://example.org:8080", "http", "example.org", 8080, "/"},
        {"HTTPS://example.org/", "https", "example.org", 443, "/"},
        {"example.org/x", "http", "example.org", 80, "/x"},
        {"http://example.org?q", "http", "example.org", 80, "/?q"},
    };
    for (const Case& c : cases) {
        const HttpUrl u = ParseHttpUrl(c.url);
        EXPECT_EQ(u.protocol, c.protocol) << c.url;
        EXPECT_EQ(u.host, c.host) << c.url;
        EXPECT_EQ(u.port, c.port) << c.url;
        EXPECT_EQ(u.uri, c.uri) << c.url;
    }
}

TEST(HttpResponseReaderTest, ThePortIsLeftOutOfTheHostOnlyForEighty) {
    // Port 80 cannot be listened on here: the request is checked on a
    // connection that records what is written.
    struct Recording : HttpConnection {
        std::string* written;
        std::string reply = HttpReply("200 OK", "", "");
        size_t at = 0;
        size_t Read(char* b, size_t n, int) override {
            n = std::min(n, reply.size() - at);
            std::copy_n(reply.data() + at, n, b);
            at += n;
            return n;
        }
        void Write(const std::string& bytes) override { *written += bytes; }
        bool PeerClosed() override { return false; }
    };
    struct Connector : HttpConnector {
        std::string written;
        std::unique_ptr<HttpConnection> Connect(const std::string&, int, int) override {
            auto c = std::make_unique<Recording>();
            c->written = &written;
            return c;
        }
    };
    auto connector = std::make_unique<Connector>();
    Connector* seen = connector.get();
    TIdHTTP http(std::move(connector));
    http.Get("http://updates.example/v");
    EXPECT_NE(seen->written.find("\r\nHost: updates.example\r\n"), std::string::npos)
        << seen->written;
}

}  // namespace
}  // namespace zt
