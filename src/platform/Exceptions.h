#pragma once
// Exception base of the recorder. Every error is an exception carrying a
// message text (UTF-8). The general error display shows that text; the silent
// abort (EAbort) is used by a handler that has already shown its own message
// and only wants to stop, so the display ignores it.

#include <stdexcept>
#include <string>

namespace zt {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
};

// Silent abort: ends the current handler without any message.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

// A text that should hold a number and does not. Raised at the point where
// the number is used, never when the text is loaded.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A system resource (a timer, a thread) could not be had.
class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};

[[noreturn]] inline void Abort() {
    throw EAbort();
}

}  // namespace zt
