#include "platform/linux/session/logind_dbus_session.h"

#include <unistd.h>

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <atomic>

#include "core/log.h"

namespace vandrel {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kLockedHint = QStringLiteral("LockedHint");
const QString kActive = QStringLiteral("Active");

// Each connection gets a name of its own.
std::atomic<unsigned> connections{0};

}  // namespace

QDBusConnection LogindDbusSession::systemBus(const QString& name)
{
    return QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
}

LogindDbusSession::LogindDbusSession(BusConnector connector)
    : busName_(QStringLiteral("vandrel-logind-%1").arg(++connections)), bus_(connector(busName_))
{
    if (!bus_.isConnected()) {
        warnOnce(QStringLiteral("system bus unavailable"), bus_.lastError().message());
        return;
    }
    if (!bus_.connect(kService, kManagerPath, kManager, QStringLiteral("PrepareForSleep"), this,
                      SLOT(onPrepareForSleep(bool))))
        warnOnce(QStringLiteral("cannot follow sleep and wake"), bus_.lastError().message());
    findSession();
}

LogindDbusSession::~LogindDbusSession()
{
    QDBusConnection::disconnectFromBus(busName_);
}

void LogindDbusSession::warnOnce(const QString& what, const QString& detail)
{
    if (warned_) return;
    warned_ = true;
    log.warning("logind: " + what.toStdString() +
                    "; a locked session and sleep may go unnoticed, and session switches are not followed: the "
                    "keyboards stay grabbed while another session has the screen",
                detail.toStdString());
}

void LogindDbusSession::findSession()
{
    auto call = QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("GetSession"));
    call << QStringLiteral("auto");  // our own session, or the user's graphical one when we run outside any
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            findSessionByPid();
            return;
        }
        followSession(reply.value().path());
    });
}

void LogindDbusSession::findSessionByPid()
{
    auto call = QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("GetSessionByPID"));
    call << static_cast<uint>(::getpid());
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            warnOnce(QStringLiteral("no login session found"), reply.error().message());
            return;
        }
        followSession(reply.value().path());
    });
}

void LogindDbusSession::followSession(const QString& path)
{
    sessionPath_ = path;
    // Follow first, then read: a change between the two is not lost.
    if (!bus_.connect(kService, path, kProperties, QStringLiteral("PropertiesChanged"), this,
                      SLOT(onPropertiesChanged(QString, QVariantMap, QStringList))))
        warnOnce(QStringLiteral("cannot follow the session's state"), bus_.lastError().message());
    readProperty(kLockedHint);
    readProperty(kActive);
}

void LogindDbusSession::readProperty(const QString& name)
{
    auto call = QDBusMessage::createMethodCall(kService, sessionPath_, kProperties, QStringLiteral("Get"));
    call << kSession << name;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, name](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<QDBusVariant> reply = *w;
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

void LogindDbusSession::onPropertiesChanged(const QString& interfaceName, const QVariantMap& changed,
                                            const QStringList& invalidated)
{
    if (interfaceName != kSession) return;
    for (const QString& name : {kLockedHint, kActive}) {
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
