#include "update/HttpClient.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "update/HttpErrors.h"

namespace zt {

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool SameWord(const std::string& value, const char* word) {
    return Lower(Trim(value)) == word;
}

// A decimal number of the whole (trimmed) text, or nullopt.
std::optional<int64_t> Decimal(const std::string& text, size_t maxDigits = 18) {
    const std::string t = Trim(text);
    if (t.empty() || t.size() > maxDigits) return std::nullopt;
    int64_t value = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The chunk size: hexadecimal up to the first blank; 0 when not a number.
int64_t ChunkSize(const std::string& line) {
    const std::string text = line.substr(0, line.find(' '));
    if (text.empty() || text.size() > 15) return 0;
    int64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return 0;
        value = value * 16 + digit;
    }
    return value;
}

class MemoryConnection final : public HttpConnection {
public:
    explicit MemoryConnection(const std::string& bytes) : bytes_(bytes) {}
    size_t Read(char* buffer, size_t size, int) override {
        // Small pieces, so that lines and chunks straddle reads.
        const size_t n = std::min({size, bytes_.size() - at_, size_t(7 + at_ % 13)});
        std::copy_n(bytes_.data() + at_, n, buffer);
        at_ += n;
        return n;
    }
    void Write(const std::string&) override {}
    bool PeerClosed() override { return at_ == bytes_.size(); }

private:
    const std::string& bytes_;
    size_t at_ = 0;
};

class MemoryConnector final : public HttpConnector {
public:
    explicit MemoryConnector(const std::string& bytes) : bytes_(bytes) {}
    std::unique_ptr<HttpConnection> Connect(const std::string&, int, int) override {
        return std::make_unique<MemoryConnection>(bytes_);
    }

private:
    const std::string& bytes_;
};

}  // namespace

HttpUrl ParseHttpUrl(const std::string& url) {
    HttpUrl out;
    std::string rest = url;
    const size_t scheme = rest.find("://");
    if (scheme != std::string::npos) {
        out.protocol = Lower(rest.substr(0, scheme));
        rest = rest.substr(scheme + 3);
    }
    if (out.protocol.empty()) out.protocol = "http";
    const size_t slash = rest.find_first_of("/?");
    std::string authority = rest.substr(0, slash);
    out.uri = slash == std::string::npos ? "/" : rest.substr(slash);
    if (!out.uri.empty() && out.uri[0] == '?') out.uri = "/" + out.uri;
    const size_t colon = authority.rfind(':');
    std::optional<int64_t> port;
    if (colon != std::string::npos) {
        port = Decimal(authority.substr(colon + 1), 5);
        authority = authority.substr(0, colon);
    }
    out.host = authority;
    if (port && *port > 0 && *port < 65536) {
        out.port = int(*port);
    } else if (out.protocol == "http") {
        out.port = 80;
    } else if (out.protocol == "https") {
        out.port = 443;
    } else {
        throw EIdUnknownProtocol("Unknown Protocol");
    }
    return out;
}

std::string HttpResponse::Header(const std::string& name) const {
    const std::string wanted = Lower(name);
    for (const std::string& line : rawHeaders) {
        const size_t colon = line.find(':');
        if (colon != std::string::npos && Lower(Trim(line.substr(0, colon))) == wanted)
            return Trim(line.substr(colon + 1));
    }
    return {};
}

// Buffered reading from the connection, within the client's time limits.
class TIdHTTP::Reader {
public:
    Reader(TIdHTTP& client, int readTimeout, std::optional<SteadyClock::time_point> deadline)
        : client_(client), readTimeout_(readTimeout), deadline_(deadline) {}

    // Reads more into the pending bytes; false when the peer has closed.
    bool Fill() {
        int timeout = readTimeout_;
        if (deadline_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  *deadline_ - SteadyClock::now())
                                  .count();
            if (left <= 0) throw EIdReadTimeout();
            timeout = timeout > 0 ? int(std::min<int64_t>(timeout, left)) : int(left);
        }
        char buffer[kBufferSize];
        const size_t n = client_.connection_->Read(buffer, sizeof buffer, timeout);
        if (n == 0) return false;
        client_.pending_.append(buffer, n);
        return true;
    }

    // A line without its line end; nullopt when the peer closed first.
    std::optional<std::string> ReadLine() {
        std::string& pending = client_.pending_;
        size_t searched = 0;
        for (;;) {
            const size_t end = pending.find('\n', searched);
            if (end != std::string::npos) {
                if (end > kMaxLineLength) throw Exception("Max line length exceeded.");
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                return line;
            }
            if (pending.size() > kMaxLineLength) throw Exception("Max line length exceeded.");
            searched = pending.size();
            if (!Fill()) return std::nullopt;
        }
    }

    // `count` bytes to the sink as one piece of work. An orderly close
    // before the end ends the read when `tolerateClose`, else raises.
    void ReadExact(int64_t count, const std::function<void(const char*, size_t)>& sink,
                   bool tolerateClose) {
        const WorkPiece piece(client_, count);
        int64_t done = 0;
        std::string& pending = client_.pending_;
        while (done < count) {
            if (pending.empty() && !Fill()) {
                if (tolerateClose) return;
                throw EIdConnClosedGracefully();
            }
            const size_t take = size_t(std::min<int64_t>(count - done, int64_t(pending.size())));
            sink(pending.data(), take);
            pending.erase(0, take);
            done += int64_t(take);
            client_.Work(done);
        }
    }

    // Everything up to the peer's close, as one piece of work of count 0.
    void ReadToClose(const std::function<void(const char*, size_t)>& sink) {
        const WorkPiece piece(client_, 0);
        int64_t done = 0;
        std::string& pending = client_.pending_;
        for (;;) {
            if (!pending.empty()) {
                sink(pending.data(), pending.size());
                done += int64_t(pending.size());
                pending.clear();
                client_.Work(done);
            }
            if (!Fill()) return;
        }
    }

private:
    // One piece of work: begun here, ended however the read ends.
    struct WorkPiece {
        WorkPiece(TIdHTTP& c, int64_t count) : client(c) { client.BeginWork(count); }
        ~WorkPiece() { client.EndWork(); }
        TIdHTTP& client;
    };

    TIdHTTP& client_;
    int readTimeout_;
    std::optional<SteadyClock::time_point> deadline_;
};

TIdHTTP::TIdHTTP(std::unique_ptr<HttpConnector> connector)
    : connector_(connector ? std::move(connector) : MakeSocketConnector(&cancel_)) {}

TIdHTTP::~TIdHTTP() = default;

void TIdHTTP::Disconnect() {
    connection_.reset();
    pending_.clear();
}

const std::map<std::string, std::string>& TIdHTTP::Cookies(const std::string& host) const {
    static const std::map<std::string, std::string> none;
    const auto it = cookies_.find(Lower(host));
    return it == cookies_.end() ? none : it->second;
}

std::string TIdHTTP::Get(const std::string& url) {
    std::string body;
    Get(url, [&](const char* data, size_t size) { body.append(data, size); });
    return body;
}

void TIdHTTP::Get(const std::string& url, const std::function<void(const char*, size_t)>& sink) {
    const HttpUrl target = ParseHttpUrl(url);
    if (target.protocol == "https") throw Exception("IOHandler value is not valid");
    std::optional<SteadyClock::time_point> deadline;
    if (RequestTimeout > 0)
        deadline = SteadyClock::now() + std::chrono::milliseconds(RequestTimeout);

    // Prepare and connect.
    if (connection_ &&
        (Lower(target.host) != Lower(connectedHost_) || target.port != connectedPort_))
        Disconnect();
    if (connection_ && !response_.keepAlive) Disconnect();
    if (connection_ && connection_->PeerClosed()) Disconnect();
    if (!connection_) {
        int timeout = ConnectTimeout;
        if (RequestTimeout > 0)
            timeout = timeout > 0 ? std::min(timeout, RequestTimeout) : RequestTimeout;
        connection_ = connector_->Connect(target.host, target.port, timeout);
        connectedHost_ = target.host;
        connectedPort_ = target.port;
        pending_.clear();
    }

    // Send.
    std::string request =
        "GET " + target.uri + " HTTP/" + (ProtocolVersion10 ? "1.0" : "1.1") + "\r\n";
    auto header = [&](const char* name, const std::string& value) {
        if (!value.empty()) request += std::string(name) + ": " + value + "\r\n";
    };
    if (ProtocolVersion10) header("Connection", "keep-alive");
    header("Host",
           target.port == 80 ? target.host : target.host + ":" + std::to_string(target.port));
    header("Accept", Accept);
    header("User-Agent", UserAgent);
    const auto& cookies = Cookies(target.host);
    std::string cookieText;
    for (const auto& [name, value] : cookies)
        cookieText += (cookieText.empty() ? "" : "; ") + name + "=" + value;
    header("Cookie", cookieText);
    request += "\r\n";
    connection_->Write(request);

    // Receive.
    response_ = HttpResponse{};
    Reader reader(*this, ReadTimeout, deadline);
    ReadResponseHead(reader);
    for (const std::string& line : response_.rawHeaders) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = Lower(Trim(line.substr(0, colon)));
        if (name != "set-cookie" && name != "set-cookie2") continue;
        const std::string value = Trim(line.substr(colon + 1));
        const std::string pair = value.substr(0, value.find(';'));
        const size_t eq = pair.find('=');
        if (eq == std::string::npos || Trim(pair.substr(0, eq)).empty()) continue;
        cookies_[Lower(target.host)][Trim(pair.substr(0, eq))] = Trim(pair.substr(eq + 1));
    }

    const int code = response_.code;
    if (code / 100 == 2 && response_.location.empty()) {
        if (code != 204) ReadBody(reader, sink);
    } else {
        // Not followed, not successful: the body is the error's text.
        std::string body;
        try {
            Reader errorReader(*this, 2000, deadline);
            ReadBody(errorReader, [&](const char* data, size_t size) {
                if (body.size() < (1u << 20)) body.append(data, size);
            });
        } catch (const Exception&) {
        }
        throw EIdHTTPProtocolException(response_.statusLine, code, body);
    }
    if (!response_.keepAlive) Disconnect();
}

void TIdHTTP::ReadResponseHead(Reader& reader) {
    do {
        std::optional<std::string> status = reader.ReadLine();
        if (!status) throw EIdConnClosedGracefully();
        HttpResponse response;
        response.statusLine = *status;
        const size_t blank = status->find(' ');
        if (blank != std::string::npos) {
            const size_t end = status->find(' ', blank + 1);
            const std::optional<int64_t> code = Decimal(
                status->substr(blank + 1, end == std::string::npos ? end : end - blank - 1), 9);
            response.code = code ? int(*code) : -1;
        }
        // Headers up to the empty line; a close ends them too.
        for (;;) {
            const std::optional<std::string> line = reader.ReadLine();
            if (!line || line->empty()) break;
            response.rawHeaders.push_back(*line);
        }
        response.connection = response.Header("Connection");
        response.proxyConnection = response.Header("Proxy-Connection");
        response.contentType = response.Header("Content-Type");
        response.transferEncoding = response.Header("Transfer-Encoding");
        response.location = response.Header("Location");
        const std::string length = response.Header("Content-Length");
        for (const std::string& l : response.rawHeaders)
            if (Lower(Trim(l.substr(0, l.find(':')))) == "content-length")
                response.hasContentLength = true;
        if (const auto n = Decimal(length)) response.contentLength = *n;
        response_ = std::move(response);
    } while (response_.code == 100);

    if (!ProtocolVersion10)
        response_.keepAlive = !SameWord(response_.connection, "close") &&
                              !SameWord(response_.proxyConnection, "close");
    else
        response_.keepAlive = SameWord(response_.connection, "keep-alive") ||
                              SameWord(response_.proxyConnection, "keep-alive");
}

void TIdHTTP::ReadBody(Reader& reader, const std::function<void(const char*, size_t)>& sink) {
    if (response_.contentLength >= 1) {
        reader.ReadExact(response_.contentLength, sink, true);
    } else if (Lower(response_.transferEncoding).find("chunked") != std::string::npos) {
        for (;;) {
            const std::optional<std::string> line = reader.ReadLine();
            if (!line) throw EIdConnClosedGracefully();
            const int64_t size = ChunkSize(*line);
            if (size == 0) break;
            reader.ReadExact(size, sink, false);
            if (!reader.ReadLine()) throw EIdConnClosedGracefully();
        }
        reader.ReadLine();  // the end of the trailer
    } else if (!response_.hasContentLength) {
        reader.ReadToClose(sink);
        response_.keepAlive = false;
    }
}

void TIdHTTP::BeginWork(int64_t count) {
    if (workDepth_++ > 0) return;
    workDone_ = 0;
    if (OnWorkBegin) OnWorkBegin(TWorkMode::wmRead, count);
}

void TIdHTTP::Work(int64_t done) {
    if (workDepth_ != 1) return;
    workDone_ = done;
    if (OnWork) OnWork(TWorkMode::wmRead, done);
}

void TIdHTTP::EndWork() {
    if (--workDepth_ > 0) return;
    if (OnWorkEnd) OnWorkEnd(TWorkMode::wmRead);
}

std::string ReadResponseFromBytes(const std::string& bytes, HttpResponse& response) {
    TIdHTTP client(std::make_unique<MemoryConnector>(bytes));
    std::string body;
    try {
        body = client.Get("http://fuzz.example/");
    } catch (...) {
        response = client.Response();
        throw;
    }
    response = client.Response();
    return body;
}

}  // namespace zt
