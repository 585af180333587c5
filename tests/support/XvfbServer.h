#pragma once
// A real X server for the tests that need one (window shapes, grabs of the
// screen, pointer events from outside the program): Xvfb on a display
// number it picks itself (-displayfd), one 1024 x 768 screen at 24 bits,
// no TCP. The server is stopped when the object goes.
//
// Threads: the test's main thread, before the QApplication exists (the
// application connects to the display at its creation).

#include <sys/types.h>

#include <string>

namespace zt::test {

class XvfbServer {
public:
    // Starts the server and waits until it accepts connections. Throws
    // std::runtime_error saying what is missing or what went wrong.
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // ":<number>", for DISPLAY.
    const std::string& Display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string logPath_;
};

// The full path of `program` found on PATH, "" when it is not there.
std::string FindOnPath(const std::string& program);

}  // namespace zt::test
