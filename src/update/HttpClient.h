#pragma once
// TIdHTTP: the HTTP/1.1 client of the update service. Only GET, without
// proxy, authentication or encryption.
//
// One GET: the URL is split (protocol, host, port, request URI as it
// stands); a connection to another host or port is closed first; the
// request goes out as one write:
//   GET <uri> HTTP/1.1            (1.0 with ProtocolVersion10)
//   Connection: keep-alive        (1.0 only)
//   Host: <host>[:<port> unless 80]
//   Accept: text/html, */*
//   User-Agent: Mozilla/3.0 (compatible; Indy Library)
//   Cookie: <cookies stored for the host>   (when there are any)
// The status line and headers are read up to the empty line (a line may
// hold 16384 bytes; "Max line length exceeded." beyond); 100 answers are
// skipped; Set-Cookie values are stored. The connection is kept for 1.1
// unless Connection or Proxy-Connection says "close", for 1.0 only when one
// says "keep-alive". A 2xx answer without Location is read into the target
// (Content-Length bytes, tolerating an orderly close before the end; chunks;
// or everything up to the close); any other answer raises
// EIdHTTPProtocolException with the status line, after its body is read
// with a 2 s limit. Redirects are not followed.
//
// Progress: each read of a known number of bytes (the body of known
// length, each chunk) is one piece of work: OnWorkBegin(count), OnWork
// (bytes so far) after every read, OnWorkEnd; reading to the close is one
// piece with count 0; a piece inside another notifies nothing.
//
// Time limits: ConnectTimeout and ReadTimeout (milliseconds, 0: as long as
// the system waits) for the connection and for each wait for bytes;
// RequestTimeout bounds a whole GET. The program sets them so that no
// request can hang (the original client had none).
//
// Threads: a client is used by one thread at a time, a worker thread in
// the program (never the main thread, so the window stays responsive);
// its callbacks run on that thread. Cancel() may be called from any thread
// (it is an atomic flag the waits look at).

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "update/HttpConnection.h"

namespace zt {

enum class TWorkMode { wmRead, wmWrite };

struct HttpUrl {
    std::string protocol;  // lower case; "http" when the URL names none
    std::string host;
    int port = 80;
    std::string uri;  // path, document and parameters as written; "/" at least
};
// Splits a URL; EIdUnknownProtocol for a protocol without a known port.
HttpUrl ParseHttpUrl(const std::string& url);

struct HttpResponse {
    std::string statusLine;
    int code = -1;
    std::vector<std::string> rawHeaders;
    std::string connection, proxyConnection, contentType, transferEncoding, location;
    int64_t contentLength = -1;
    bool hasContentLength = false;
    bool keepAlive = false;
    // The value of the first header of that name ("" when none).
    std::string Header(const std::string& name) const;
};

class TIdHTTP {
public:
    static constexpr size_t kMaxLineLength = 16384;
    static constexpr size_t kBufferSize = 32768;

    // Connections come from `connector` (sockets when none is given).
    explicit TIdHTTP(std::unique_ptr<HttpConnector> connector = nullptr);
    ~TIdHTTP();
    TIdHTTP(const TIdHTTP&) = delete;
    TIdHTTP& operator=(const TIdHTTP&) = delete;

    // The body as bytes.
    std::string Get(const std::string& url);
    // Appends the body to `sink` piece by piece.
    void Get(const std::string& url, const std::function<void(const char*, size_t)>& sink);

    bool Connected() const { return connection_ != nullptr; }
    void Disconnect();
    // Ends a wait of the running request within about 100 ms (any thread).
    void Cancel() { cancel_.store(true); }
    const std::atomic<bool>& CancelFlag() const { return cancel_; }

    const HttpResponse& Response() const { return response_; }
    // Cookies stored for a host, name -> value.
    const std::map<std::string, std::string>& Cookies(const std::string& host) const;

    bool ProtocolVersion10 = false;
    std::string Accept = "text/html, */*";
    std::string UserAgent = "Mozilla/3.0 (compatible; Indy Library)";
    int ConnectTimeout = 0;
    int ReadTimeout = 0;
    int RequestTimeout = 0;

    std::function<void(TWorkMode, int64_t count)> OnWorkBegin;
    std::function<void(TWorkMode, int64_t done)> OnWork;
    std::function<void(TWorkMode)> OnWorkEnd;

private:
    class Reader;
    void ReadResponseHead(Reader& reader);
    void ReadBody(Reader& reader, const std::function<void(const char*, size_t)>& sink);
    void BeginWork(int64_t count);
    void Work(int64_t done);
    void EndWork();

    std::unique_ptr<HttpConnector> connector_;
    std::unique_ptr<HttpConnection> connection_;
    std::string connectedHost_;
    int connectedPort_ = 0;
    std::string pending_;  // bytes read past the last response
    HttpResponse response_;
    std::map<std::string, std::map<std::string, std::string>> cookies_;
    std::atomic<bool> cancel_{false};
    int workDepth_ = 0;
    int64_t workDone_ = 0;
};

// Reads one response (head and body) from bytes, as the client reads it
// from a connection (in small pieces), for the fuzz target and the reader's
// tests. Errors are the client's; `response` holds what was read either way.
std::string ReadResponseFromBytes(const std::string& bytes, HttpResponse& response);

}  // namespace zt
