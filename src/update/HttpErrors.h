#pragma once
// The HTTP client's errors, each with the text the update window shows.

#include <string>

#include "platform/Exceptions.h"

namespace zt {

// A socket call failed: "Socket Error # <code>\r\n<the system's text>";
// name resolution and refused connections have texts of their own.
class EIdSocketError : public Exception {
public:
    EIdSocketError(int code, const std::string& message) : Exception(message), code_(code) {}
    int LastError() const { return code_; }

private:
    int code_;
};

// The server closed the connection in an orderly way where more was due.
class EIdConnClosedGracefully : public Exception {
public:
    EIdConnClosedGracefully() : Exception("Connection Closed Gracefully.") {}
};

// Nothing arrived (or the connection did not open) within the time allowed.
class EIdReadTimeout : public Exception {
public:
    explicit EIdReadTimeout(const std::string& message = "Read timed out.") : Exception(message) {}
};

// A URL whose protocol has no known port.
class EIdUnknownProtocol : public Exception {
public:
    using Exception::Exception;
};

// An unsuccessful answer (or a redirect, which is not followed): the
// message is the status line as the server wrote it, the error text the
// body it sent.
class EIdHTTPProtocolException : public Exception {
public:
    EIdHTTPProtocolException(const std::string& statusLine, int replyCode, std::string body)
        : Exception(statusLine), replyCode_(replyCode), body_(std::move(body)) {}
    int ReplyErrorCode() const { return replyCode_; }
    const std::string& ErrorMessage() const { return body_; }

private:
    int replyCode_;
    std::string body_;
};

}  // namespace zt
