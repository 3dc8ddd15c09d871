// What the preferences tests on a real X server share: waiting for Qt and the window manager, and a main()
// that starts Xvfb and fluxbox before the application connects to them.
//
//   VANDREL_PREFS_ON_X_MAIN()   // at the end of the test file
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

// Last: Xlib defines names Qt uses.
#include "support/x11_test_server.h"

namespace vandrel::test {

// The display of the server main() started.
inline std::string& onXDisplayName()
{
    static std::string name;
    return name;
}

// Lets Qt and the window manager work until the condition holds (at most five seconds).
inline bool settleOnX(const std::function<bool()>& condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 5000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

inline int runOnXServer(int argc, char** argv)
{
    X11TestServer server;
    if (!server.ok()) {
        std::fprintf(stderr, "no X server for the test: %s\n", server.failure().c_str());
        return 1;
    }
    onXDisplayName() = server.display();
    setenv("DISPLAY", server.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int code = 0;
    {
        QApplication app(argc, argv);
        testing::InitGoogleTest(&argc, argv);
        code = RUN_ALL_TESTS();
    }
    return code;
}

}  // namespace vandrel::test

#define VANDREL_PREFS_ON_X_MAIN()                       \
    int main(int argc, char** argv)                     \
    {                                                   \
        return vandrel::test::runOnXServer(argc, argv); \
    }
