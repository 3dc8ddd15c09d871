#include "core/blocking_call.h"

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

namespace vandrel {

bool runAndWait(const std::function<void()>& work, const std::function<bool(std::function<void()>)>& post)
{
    struct Done {
        std::mutex mutex;
        std::condition_variable cv;
        bool finished = false;
        std::exception_ptr error;
    };
    auto done = std::make_shared<Done>();
    const bool queued = post([&work, done] {
        std::exception_ptr error;
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(done->mutex);
        done->error = error;
        done->finished = true;
        done->cv.notify_all();
    });
    if (!queued) return false;
    std::unique_lock lock(done->mutex);
    done->cv.wait(lock, [&] { return done->finished; });
    if (done->error) std::rethrow_exception(done->error);
    return true;
}

}  // namespace vandrel
