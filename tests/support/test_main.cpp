// Test entry point: every test runs inside a Qt application (offscreen
// unless told otherwise), so main-thread hand-offs, timers and widgets work
// as they do in the program.
//
// With ZT_TEST_X11=1 the tests run on a real X server instead: the
// executable starts its own Xvfb and connects to it through Qt's xcb
// platform, whatever QT_QPA_PLATFORM says. A missing or failing Xvfb fails
// the run with the reason. Listing the tests (ctest's discovery at build
// time) needs no server and starts none.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "support/XvfbServer.h"

namespace {

bool ListsOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::unique_ptr<zt::test::XvfbServer> server;
    if (qEnvironmentVariable("ZT_TEST_X11") == QLatin1String("1") && !ListsOnly(argc, argv)) {
        try {
            server = std::make_unique<zt::test::XvfbServer>();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "FAILED: no X server for the X11 tests: %s\n", e.what());
            return 1;
        }
        qputenv("DISPLAY", QByteArray::fromStdString(server->Display()));
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        // The application goes before the server it is connected to.
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
