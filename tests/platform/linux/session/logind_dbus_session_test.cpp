// LogindDbusSession against a login manager of the test's own on a private bus (a dbus-daemon started here),
// so no system bus is needed.
#include "platform/linux/session/logind_dbus_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QObject>
#include <atomic>
#include <mutex>

#include "core/log_capture.h"
#include "rx/virtual_time_scheduler.h"
#include "support/desktop_test_process.h"

namespace vandrel {
namespace {

const QString kSessionPath = QStringLiteral("/org/freedesktop/login1/session/_3");

// The session object. It answers Get from its fields, at once, or while reads are held only when they are let
// go: an answer on its way while the session changed.
class FakeSession : public QDBusVirtualObject {
public:
    std::atomic<bool> locked = false;
    std::atomic<bool> active = true;
    std::atomic<bool> holdReads = false;

    std::size_t heldReads()
    {
        std::lock_guard lock(mutex_);
        return held_.size();
    }
    void letReadsGo(const QDBusConnection& bus)
    {
        std::lock_guard lock(mutex_);
        for (const QDBusMessage& reply : held_) bus.send(reply);
        held_.clear();
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.interface() != QLatin1String("org.freedesktop.DBus.Properties") ||
            message.member() != QLatin1String("Get"))
            return false;
        const QString name = message.arguments().value(1).toString();
        const std::atomic<bool>* value = name == QLatin1String("Active")       ? &active
                                         : name == QLatin1String("LockedHint") ? &locked
                                                                               : nullptr;
        const QDBusMessage reply = value ? message.createReply(QVariant::fromValue(QDBusVariant(value->load())))
                                         : message.createErrorReply(QDBusError::UnknownProperty, name);
        std::lock_guard lock(mutex_);
        if (holdReads)
            held_.push_back(reply);
        else
            connection.send(reply);
        return true;
    }

private:
    std::mutex mutex_;
    std::vector<QDBusMessage> held_;
};

class FakeManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    bool knowsAuto = true;
    uint askedPid = 0;

public slots:
    QDBusObjectPath GetSession(const QString& id)
    {
        if (id != QLatin1String("auto") || !knowsAuto)
            sendErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchSession"), QStringLiteral("no session"));
        return QDBusObjectPath(kSessionPath);
    }
    QDBusObjectPath GetSessionByPID(uint pid)
    {
        askedPid = pid;
        return QDBusObjectPath(kSessionPath);
    }
};

// A private bus with the fake login manager on it; it can end and start again, and logind can leave it.
class FakeLogind {
public:
    FakeLogind() { start(); }
    ~FakeLogind() { stop(); }

    void start()
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        daemon_ =
            test::spawnProgram({"dbus-daemon", "--session", "--nofork", "--print-address=" + std::to_string(fds[1])},
                               test::environmentWith({}), fds[1]);
        close(fds[1]);
        std::string address;
        pollfd fd{fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&fd, 1, 10'000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') address += c;
        close(fds[0]);
        if (address.empty()) return;
        address_ = QString::fromStdString(address);
        bus_ =
            std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, QStringLiteral("fake-logind")));
        bus_->registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, QDBusConnection::ExportAllSlots);
        bus_->registerVirtualObject(kSessionPath, &session);
        setOnBus(true);
    }
    // The daemon dies first, and at once: the bus goes away under every client without a word about the names
    // on it (a daemon told to end says first that each client left).
    void stop()
    {
        if (daemon_ > 0) kill(daemon_, SIGKILL);
        test::stopProgram(daemon_);
        if (bus_) {
            // Calls the bus thread queued for the fake objects hold on to the connection: drop them while it
            // still exists, after no new ones can come.
            bus_->unregisterObject(kSessionPath);
            bus_->unregisterObject(QStringLiteral("/org/freedesktop/login1"));
            QCoreApplication::removePostedEvents(&session);
            QCoreApplication::removePostedEvents(&manager);
            bus_.reset();
            QDBusConnection::disconnectFromBus(QStringLiteral("fake-logind"));
        }
    }
    // logind leaves the bus, which stays, or comes back to it.
    void setOnBus(bool on)
    {
        const auto service = QStringLiteral("org.freedesktop.login1");
        on ? bus_->registerService(service) : bus_->unregisterService(service);
    }

    bool ok() const { return bus_ && bus_->isConnected(); }
    void letReadsGo() { session.letReadsGo(*bus_); }
    // Connects to the bus of the moment: a bus that started again has another address.
    LogindDbusSession::BusConnector connector()
    {
        return [this](const QString& name) { return QDBusConnection::connectToBus(address_, name); };
    }

    void sendProperty(const QString& name, std::optional<bool> value)
    {
        auto signal = QDBusMessage::createSignal(kSessionPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                 QStringLiteral("PropertiesChanged"));
        QVariantMap changed;
        QStringList invalidated;
        if (value)
            changed[name] = *value;
        else
            invalidated << name;
        signal << QStringLiteral("org.freedesktop.login1.Session") << changed << invalidated;
        bus_->send(signal);
    }

    void sendPrepareForSleep(bool start)
    {
        auto signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                 QStringLiteral("org.freedesktop.login1.Manager"),
                                                 QStringLiteral("PrepareForSleep"));
        signal << start;
        bus_->send(signal);
    }

    FakeManager manager;
    FakeSession session;

private:
    pid_t daemon_ = -1;
    QString address_;
    std::unique_ptr<QDBusConnection> bus_;
};

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(5))
{
    return test::waitFor(condition, limit);
}

class LogindDbusSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!logind_.ok()) GTEST_SKIP() << "no dbus-daemon for a private bus";
    }

    FakeLogind logind_;
};

TEST_F(LogindDbusSessionTest, ReadsTheLockedHintAndActiveAndFollowsTheirChanges)
{
    struct Case {
        QString property;
        std::atomic<bool> FakeSession::*value;
        bool unknown;  // what the session reads until the bus answers
        bool (*read)(const LogindDbusSession&);
        rx::Observable<bool> (*changes)(LogindDbusSession&);
    };
    const Case cases[] = {
        {QStringLiteral("LockedHint"), &FakeSession::locked, false,
         [](const LogindDbusSession& s) { return s.isLocked(); }, [](LogindDbusSession& s) { return s.lockChanges(); }},
        {QStringLiteral("Active"), &FakeSession::active, true, [](const LogindDbusSession& s) { return s.isActive(); },
         [](LogindDbusSession& s) { return s.activeChanges(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.property.toStdString());
        logind_.session.*c.value = !c.unknown;
        LogindDbusSession session(logind_.connector());
        std::vector<bool> changes;
        auto subscription = c.changes(session).subscribe([&](bool v) { changes.push_back(v); });
        EXPECT_EQ(c.read(session), c.unknown);
        ASSERT_TRUE(eventually([&] { return c.read(session) != c.unknown; }));
        EXPECT_EQ(session.sessionPath(), kSessionPath);

        logind_.sendProperty(c.property, c.unknown);
        EXPECT_TRUE(eventually([&] { return c.read(session) == c.unknown; }));
        logind_.session.*c.value = !c.unknown;
        logind_.sendProperty(c.property, std::nullopt);  // only invalidated: read it again
        EXPECT_TRUE(eventually([&] { return c.read(session) != c.unknown; }));
        EXPECT_EQ(changes, (std::vector<bool>{!c.unknown, c.unknown, !c.unknown}));
        subscription.dispose();
    }
}

TEST_F(LogindDbusSessionTest, AnAnswerHandedOverAfterAChangeSignalDoesNotUndoTheChange)
{
    logind_.session.holdReads = true;
    LogindDbusSession session(logind_.connector());
    ASSERT_TRUE(eventually([&] { return logind_.session.heldReads() == 2; }));  // unlocked and active
    logind_.session.active = false;
    logind_.sendProperty(QStringLiteral("Active"), false);
    ASSERT_TRUE(eventually([&] { return !session.isActive(); }));
    logind_.letReadsGo();
    // A read asked after those answers is answered after them: once it is in, so are they.
    logind_.session.holdReads = false;
    logind_.session.locked = true;
    logind_.sendProperty(QStringLiteral("LockedHint"), std::nullopt);
    ASSERT_TRUE(eventually([&] { return session.isLocked(); }));
    EXPECT_FALSE(session.isActive());
}

TEST_F(LogindDbusSessionTest, FindsTheSessionByProcessWhenAutoIsUnknown)
{
    logind_.manager.knowsAuto = false;
    LogindDbusSession session(logind_.connector());
    ASSERT_TRUE(eventually([&] { return session.sessionPath() == kSessionPath; }));
    EXPECT_EQ(logind_.manager.askedPid, uint(getpid()));
}

TEST_F(LogindDbusSessionTest, SleepAndWakeBecomePowerEvents)
{
    LogindDbusSession session(logind_.connector());
    std::vector<PowerEvent> events;
    auto subscription = session.powerEvents().subscribe([&](PowerEvent e) { events.push_back(e); });
    ASSERT_TRUE(eventually([&] { return !session.sessionPath().isEmpty(); }));  // the bus is set up by then
    logind_.sendPrepareForSleep(true);
    logind_.sendPrepareForSleep(false);
    EXPECT_TRUE(eventually([&] { return events.size() == 2; }));
    EXPECT_EQ(events, (std::vector<PowerEvent>{PowerEvent::willSleep, PowerEvent::didWake}));
    subscription.dispose();
}

// Losing the bus or logind must not leave the keyboards let go for the rest of the run: the session reads as
// without logind until a retry follows it again.
TEST_F(LogindDbusSessionTest, ReadsAsWithoutLogindWhileTheBusOrLogindIsGoneAndFollowsAgainOnceBack)
{
    test::ScopedLogCapture logs;
    const auto retries = rx::VirtualTimeScheduler::make();
    logind_.session.locked = true;
    logind_.session.active = false;
    LogindDbusSession session(logind_.connector(), retries);
    std::vector<bool> actives;
    auto subscription = session.activeChanges().subscribe([&](bool v) { actives.push_back(v); });
    ASSERT_TRUE(eventually([&] { return session.isLocked() && !session.isActive(); }));
    for (const bool busGoesAway : {true, false}) {  // else logind leaves a bus that stays
        SCOPED_TRACE(busGoesAway ? "the bus goes away" : "logind leaves the bus");
        logs->clear();
        actives.clear();
        busGoesAway ? logind_.stop() : logind_.setOnBus(false);
        ASSERT_TRUE(eventually([&] { return !session.isLocked() && session.isActive(); }));
        EXPECT_TRUE(session.sessionPath().isEmpty());
        // A retry while it is still gone says nothing, and the next one waits its period.
        retries->advanceBy(LogindDbusSession::kRetryPeriod);
        EXPECT_TRUE(eventually([&] { return retries->pendingCount() == 1; }));

        busGoesAway ? logind_.start() : logind_.setOnBus(true);
        retries->advanceBy(LogindDbusSession::kRetryPeriod);
        ASSERT_TRUE(eventually([&] { return session.isLocked() && !session.isActive(); }));
        EXPECT_EQ(actives, (std::vector<bool>{true, false}));
        EXPECT_EQ(logs->count(LogLevel::warning), 1u);
        EXPECT_TRUE(logs->contains(LogLevel::info, "logind: following the session again"));
    }
    subscription.dispose();
}

TEST(LogindDbusSessionWithoutBus, ReadsUnlockedAndActiveNeverSleepsAndSaysSoOnce)
{
    test::ScopedLogCapture logs;
    LogindDbusSession session([](const QString& name) {
        return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), name);
    });
    bool any = false;
    auto subscription = session.powerEvents().subscribe([&](PowerEvent) { any = true; });
    EXPECT_FALSE(eventually([&] { return session.isLocked() || any || !session.sessionPath().isEmpty(); },
                            std::chrono::milliseconds(200)));
    EXPECT_TRUE(session.isActive());
    // Whoever reads the log learns that the keyboards stay grabbed across a switch of sessions.
    ASSERT_EQ(logs->count(LogLevel::warning), 1u);
    for (const auto& entry : logs->entries()) {
        if (entry.level == LogLevel::warning) {
            EXPECT_NE(entry.message.find("session switches are not followed"), std::string::npos) << entry.message;
        }
    }
    subscription.dispose();
}

}  // namespace
}  // namespace vandrel

#include "logind_dbus_session_test.moc"
