// In the ThreadSanitizer build: a thread that started a child process through QProcess still has its locks
// seen (tests/support/tsan_clone.cpp). Were they not, the hand-over below would be reported as a race and the
// sanitizer would fail the test at exit. Other builds have nothing to check.
#include <gtest/gtest.h>

#include <QProcess>
#include <memory>

#include "core/serial_queue.h"

namespace vandrel {
namespace {

TEST(TsanChildStart, HandOversThroughTheThreadThatStartedAChildStayOrdered)
{
#if !defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "only the ThreadSanitizer build can tell";
#endif
    // Both threads exist first: the sanitizer's after-fork handling only differs in a process with threads.
    const auto input = SerialQueue::make("input");
    const auto worker = SerialQueue::make("worker");
    input->sync([] {});
    worker->sync([] {});

    // From this thread, as the hotstring's evaluator is started from the main thread.
    QProcess child;
    child.start("/bin/true", {});
    ASSERT_TRUE(child.waitForFinished(20000));

    // Made on one thread and handed through this one to another, as an order barrier goes from the input thread
    // through a main-queue job to the global queue.
    const auto made = input->sync([] { return std::make_shared<int>(7); });
    EXPECT_EQ(worker->sync([made] { return *made; }), 7);
}

}  // namespace
}  // namespace vandrel
