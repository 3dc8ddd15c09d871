// Waits for network work in tests: runs the Qt event loop until a condition holds. The bound only keeps a
// broken test from hanging; passing tests end as soon as the condition holds.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace vandrel::test {

inline bool runEventLoopUntil(const std::function<bool()>& done, int boundMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > boundMs) loop.quit();
    });
    tick.start(2);
    if (!done()) loop.exec();
    return done();
}

}  // namespace vandrel::test
