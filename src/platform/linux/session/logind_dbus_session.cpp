#include "platform/linux/session/logind_dbus_session.h"

#include <unistd.h>

#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <atomic>

#include "core/log.h"
#include "core/main_queue.h"

namespace vandrel {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kLockedHint = QStringLiteral("LockedHint");
const QString kActive = QStringLiteral("Active");
const QString kBusGone = QStringLiteral("the system bus went away");

// Each connection gets a name of its own.
std::atomic<unsigned> connections{0};

}  // namespace

QDBusConnection LogindDbusSession::systemBus(const QString& name)
{
    return QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
}

LogindDbusSession::LogindDbusSession(BusConnector connector, rx::SchedulerPtr retries)
    : connectBus_(std::move(connector)), retries_(retries ? std::move(retries) : MainQueue::shared()), bus_(QString())
{
    logindWatcher_.setWatchedServices({kService});
    logindWatcher_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&logindWatcher_, &QDBusServiceWatcher::serviceUnregistered, this,
            [this] { lose(QStringLiteral("left the system bus"), {}); });
    if (!connectBus()) {
        warnOnce(QStringLiteral("system bus unavailable"), bus_.lastError().message());
        return;
    }
    findSession();
}

LogindDbusSession::~LogindDbusSession()
{
    retry_.dispose();
    QDBusConnection::disconnectFromBus(busName_);
}

bool LogindDbusSession::connectBus()
{
    // A connection that lost its bus never comes back: the next one is a new connection.
    if (!busName_.isEmpty()) QDBusConnection::disconnectFromBus(busName_);
    busName_ = QStringLiteral("vandrel-logind-%1").arg(++connections);
    bus_ = connectBus_(busName_);
    if (!bus_.isConnected()) return false;
    logindWatcher_.setConnection(bus_);
    // libdbus tells of a dropped connection by this signal on the connection itself; should it not come, the
    // next call fails on the closed connection, which is the same loss.
    bus_.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"), QStringLiteral("org.freedesktop.DBus.Local"),
                 QStringLiteral("Disconnected"), this, SLOT(onBusDisconnected()));
    if (!bus_.connect(kService, kManagerPath, kManager, QStringLiteral("PrepareForSleep"), this,
                      SLOT(onPrepareForSleep(bool))))
        warnOnce(QStringLiteral("cannot follow sleep and wake"), bus_.lastError().message());
    return true;
}

void LogindDbusSession::warn(const QString& what, const QString& detail)
{
    log.warning("logind: " + what.toStdString() +
                    "; a locked session and sleep may go unnoticed, and session switches are not followed: the "
                    "keyboards stay grabbed while another session has the screen",
                detail.toStdString());
}

void LogindDbusSession::warnOnce(const QString& what, const QString& detail)
{
    if (warned_) return;
    warned_ = true;
    warn(what, detail);
}

void LogindDbusSession::call(const QDBusMessage& message, std::function<void(QDBusPendingCallWatcher&)> onReply)
{
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation = generation_, onReply = std::move(onReply)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (generation != generation_) return;
                if (w->isError() && !bus_.isConnected()) {
                    lose(kBusGone, w->error().message());
                    return;
                }
                onReply(*w);
            });
}

void LogindDbusSession::findSession()
{
    auto message = QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("GetSession"));
    message << QStringLiteral("auto");  // our own session, or the user's graphical one when we run outside any
    call(message, [this](QDBusPendingCallWatcher& w) {
        QDBusPendingReply<QDBusObjectPath> reply = w;
        if (reply.isError()) {
            findSessionByPid();
            return;
        }
        followSession(reply.value().path());
    });
}

void LogindDbusSession::findSessionByPid()
{
    auto message = QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("GetSessionByPID"));
    message << static_cast<uint>(::getpid());
    call(message, [this](QDBusPendingCallWatcher& w) {
        QDBusPendingReply<QDBusObjectPath> reply = w;
        if (!reply.isError())
            followSession(reply.value().path());
        else if (lost_)
            retryLater();  // logind is not back yet
        else
            warnOnce(QStringLiteral("no login session found"), reply.error().message());
    });
}

void LogindDbusSession::followSession(const QString& path)
{
    sessionPath_ = path;
    if (lost_) {
        lost_ = false;
        warned_ = false;
        retry_.set({});
        log.info("logind: following the session again");
    }
    // Follow first, then read: a change between the two is not lost.
    if (!bus_.connect(kService, path, kProperties, QStringLiteral("PropertiesChanged"), this,
                      SLOT(onPropertiesChanged(QString, QVariantMap, QStringList))))
        warnOnce(QStringLiteral("cannot follow the session's state"), bus_.lastError().message());
    readProperty(kLockedHint);
    readProperty(kActive);
}

void LogindDbusSession::stopFollowing()
{
    if (sessionPath_.isEmpty()) return;
    // On a bus that stays, so that following the session again later connects anew.
    bus_.disconnect(kService, sessionPath_, kProperties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    sessionPath_.clear();
}

void LogindDbusSession::readProperty(const QString& name)
{
    auto message = QDBusMessage::createMethodCall(kService, sessionPath_, kProperties, QStringLiteral("Get"));
    message << kSession << name;
    call(message, [this, name, changes = changes_[name]](QDBusPendingCallWatcher& w) {
        // Qt hands an answer over a turn later than a signal that came with it: an answer taken after a change
        // signal may tell of the state before that change.
        if (changes_[name] != changes) return;
        QDBusPendingReply<QDBusVariant> reply = w;
        if (reply.isError()) {
            warnOnce("cannot read the session's " + name, reply.error().message());
            return;
        }
        setProperty(name, reply.value().variant());
    });
}

void LogindDbusSession::setProperty(const QString& name, const QVariant& value)
{
    // Anything but a boolean leaves the state as it was (unknown counts as unlocked and active).
    if (value.metaType().id() != QMetaType::Bool) return;
    if (name == kLockedHint) setLocked(value.toBool());
    if (name == kActive) setActive(value.toBool());
}

void LogindDbusSession::setLocked(bool locked)
{
    if (flags().locked.exchange(locked, std::memory_order_acq_rel) == locked) return;
    log.info(locked ? "session locked" : "session unlocked");
    lockChanges_.onNext(locked);
}

void LogindDbusSession::setActive(bool active)
{
    if (flags().active.exchange(active, std::memory_order_acq_rel) == active) return;
    log.info(active ? "session active again; the keyboards are taken again"
                    : "session inactive (another session has the screen); the keyboards are let go");
    activeChanges_.onNext(active);
}

void LogindDbusSession::lose(const QString& what, const QString& detail)
{
    ++generation_;
    stopFollowing();
    if (!lost_) {
        lost_ = true;
        warned_ = true;  // what fails until logind is back is part of this loss
        const auto period = std::chrono::duration_cast<std::chrono::seconds>(kRetryPeriod).count();
        warn(what + QStringLiteral(" (trying again every %1 s)").arg(period), detail);
        // As without logind: a session left inactive would keep the keyboards let go for the rest of the run.
        setLocked(false);
        setActive(true);
    }
    retryLater();
}

void LogindDbusSession::retryLater()
{
    retry_.set(retries_->scheduleAfter(kRetryPeriod, [this] { retry(); }));
}

void LogindDbusSession::retry()
{
    if (!bus_.isConnected() && !connectBus()) {
        retryLater();
        return;
    }
    findSession();
}

void LogindDbusSession::onBusDisconnected()
{
    lose(kBusGone, {});
}

void LogindDbusSession::onPropertiesChanged(const QString& interfaceName, const QVariantMap& changed,
                                            const QStringList& invalidated)
{
    if (interfaceName != kSession) return;
    for (const QString& name : {kLockedHint, kActive}) {
        if (changed.contains(name) || invalidated.contains(name)) ++changes_[name];
        if (changed.contains(name)) {
            QVariant value = changed.value(name);
            if (value.canConvert<QDBusVariant>()) value = value.value<QDBusVariant>().variant();
            setProperty(name, value);
        } else if (invalidated.contains(name)) {
            readProperty(name);
        }
    }
}

void LogindDbusSession::onPrepareForSleep(bool start)
{
    log.info(start ? "system going to sleep" : "system woke up");
    power_.onNext(start ? PowerEvent::willSleep : PowerEvent::didWake);
}

}  // namespace vandrel
