#include "core/main_queue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <utility>

#include "core/log.h"

namespace vandrel {

namespace {

rx::TimePoint steadyNow()
{
    return std::chrono::time_point_cast<rx::Duration>(std::chrono::steady_clock::now());
}

// Receives the "drain" events. A plain posted event, not a queued functor: its hand-over between threads
// goes through the event queue's lock alone.
class DrainTarget : public QObject {
public:
    static QEvent::Type drainType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    std::function<void()> onDrain;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != drainType()) return QObject::event(e);
        if (onDrain) onDrain();
        return true;
    }
};

// Deletes a QObject on its own thread.
struct DeleteOnOwnThread {
    void operator()(QObject* o) const
    {
        if (o->thread() == QThread::currentThread() || !QCoreApplication::instance())
            delete o;
        else
            o->deleteLater();
    }
};

}  // namespace

// Jobs wait in one deadline-ordered map. A "drain" posted to the event loop runs the jobs that are due;
// a single-shot timer on the main thread wakes the loop for the earliest job that is not.
struct MainQueue::Core : std::enable_shared_from_this<Core> {
    struct Key {
        rx::TimePoint due;
        std::uint64_t seq;
        bool operator<(const Key& o) const { return due != o.due ? due < o.due : seq < o.seq; }
    };

    std::mutex mutex;
    std::map<Key, std::function<void()>> jobs;
    std::uint64_t nextSeq = 0;
    bool drainPosted = false;
    bool warnedNoApplication = false;
    std::unique_ptr<DrainTarget, DeleteOnOwnThread> context;
    QTimer* timer = nullptr;  // owned by context
    std::shared_ptr<const std::function<void(rx::TimePoint)>> observer;

    rx::Disposable post(rx::TimePoint due, std::function<void()> work)
    {
        Key key;
        bool wake = false;
        bool warn = false;
        {
            std::lock_guard lock(mutex);
            key = Key{due, nextSeq++};
            wake = jobs.empty() || key < jobs.begin()->first || due <= steadyNow();
            jobs.emplace(key, std::move(work));
            if (wake && !ensureContextLocked()) {
                wake = false;
                warn = !std::exchange(warnedNoApplication, true);
            }
            if (wake && drainPosted) wake = false;
            if (wake) drainPosted = true;
        }
        // Logged outside the lock: a log destination may itself use the main queue.
        if (warn) log.warning("main queue: no application object yet, jobs wait for it");
        if (wake) postDrain();
        std::weak_ptr<Core> weak = weak_from_this();
        return rx::Disposable::create([weak, key] {
            if (auto self = weak.lock()) self->cancel(key);
        });
    }

    void cancel(const Key& key)
    {
        std::function<void()> dropped;  // released outside the lock
        std::lock_guard lock(mutex);
        auto it = jobs.find(key);
        if (it == jobs.end()) return;
        dropped = std::move(it->second);
        jobs.erase(it);
    }

    // The context object lives on the application's thread; without an application jobs wait.
    bool ensureContextLocked()
    {
        if (context) return true;
        auto* app = QCoreApplication::instance();
        if (!app) return false;
        context.reset(new DrainTarget);
        timer = new QTimer(context.get());
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        std::weak_ptr<Core> weak = weak_from_this();
        QObject::connect(timer, &QTimer::timeout, context.get(), [weak] {
            if (auto self = weak.lock()) self->drain();
        });
        context->onDrain = [weak] {
            if (auto self = weak.lock()) {
                {
                    std::lock_guard lock(self->mutex);
                    self->drainPosted = false;
                }
                self->drain();
            }
        };
        context->moveToThread(app->thread());
        return true;
    }

    void postDrain()
    {
        QObject* target = nullptr;
        {
            std::lock_guard lock(mutex);
            target = context.get();
        }
        QCoreApplication::postEvent(target, new QEvent(DrainTarget::drainType()));
    }

    // On the main thread: runs the jobs that were due when it started (later ones wait for the next turn,
    // so a job that keeps queueing jobs cannot starve the event loop), then arms the timer.
    void drain()
    {
        static thread_local bool labelled = false;
        if (!labelled) {
            setCurrentThreadLabel("main");
            labelled = true;
        }
        const auto start = steadyNow();
        std::uint64_t limit;
        {
            std::lock_guard lock(mutex);
            limit = nextSeq;
        }
        for (;;) {
            std::function<void()> job;
            rx::TimePoint due;
            std::shared_ptr<const std::function<void(rx::TimePoint)>> watcher;
            {
                std::lock_guard lock(mutex);
                auto it = std::find_if(jobs.begin(), jobs.end(), [&](const auto& j) { return j.first.seq < limit; });
                if (it == jobs.end() || it->first.due > start) break;
                due = it->first.due;
                job = std::move(it->second);
                jobs.erase(it);
                watcher = observer;
            }
            if (watcher) (*watcher)(due);
            try {
                job();
            } catch (const std::exception& e) {
                log.error("job failed on the main queue ->", e.what());
            } catch (...) {
                log.error("job failed on the main queue with an unknown exception");
            }
        }
        bool again = false;
        std::optional<rx::Duration> wait;
        {
            std::lock_guard lock(mutex);
            if (!jobs.empty()) {
                const auto now = steadyNow();
                const auto due = jobs.begin()->first.due;
                if (due <= now) {
                    again = !drainPosted;
                    drainPosted = true;
                } else {
                    wait = due - now;
                }
            }
        }
        if (again) postDrain();
        if (wait) {
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wait).count();
            timer->start(static_cast<int>(std::clamp<std::int64_t>(ms, 0, INT_MAX)));
        } else {
            timer->stop();
        }
    }
};

std::shared_ptr<MainQueue> MainQueue::shared()
{
    static const auto queue = std::make_shared<MainQueue>();
    return queue;
}

bool MainQueue::isMainThread()
{
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

MainQueue::MainQueue() : core_(std::make_shared<Core>())
{
    if (isMainThread()) setCurrentThreadLabel("main");
}

MainQueue::~MainQueue() = default;

rx::Disposable MainQueue::async(std::function<void()> work)
{
    return core_->post(now(), std::move(work));
}

rx::Disposable MainQueue::asyncAfter(rx::Duration delay, std::function<void()> work)
{
    return core_->post(rx::saturatingAdd(now(), std::max(delay, rx::Duration::zero())), std::move(work));
}

void MainQueue::setJobObserver(std::function<void(rx::TimePoint due)> observer)
{
    auto next = observer ? std::make_shared<const std::function<void(rx::TimePoint)>>(std::move(observer)) : nullptr;
    std::lock_guard lock(core_->mutex);
    core_->observer = std::move(next);
}

rx::TimePoint MainQueue::now() const
{
    return steadyNow();
}

rx::Disposable MainQueue::schedule(std::function<void()> work)
{
    return async(std::move(work));
}

rx::Disposable MainQueue::scheduleAfter(rx::Duration delay, std::function<void()> work)
{
    return asyncAfter(delay, std::move(work));
}

void MainQueue::syncImpl(const std::function<void()>& work)
{
    if (isMainThread() || !QCoreApplication::instance()) {
        if (!QCoreApplication::instance()) log.warning("main queue sync without an application runs on the caller");
        work();
        return;
    }
    runAndWait(work, [this](std::function<void()> job) {
        async(std::move(job));
        return true;
    });
}

}  // namespace vandrel
