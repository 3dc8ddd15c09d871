// LogindSession over D-Bus: org.freedesktop.login1 on the system bus. The session is the caller's own
// ("auto"), else the one of our process id. LockedHint and Active are read once and then followed through the
// session's PropertiesChanged signal, so isLocked() and isActive() never wait on the bus; PrepareForSleep gives
// the power events. Without a system bus or logind the session reads as unlocked and active and never sleeps,
// with one warning in the log.
//
// Make it on the main thread (the thread of the Qt event loop): the bus replies and signals arrive there.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <memory>

#include "platform/linux/session/logind_session.h"
#include "rx/subjects.h"

namespace vandrel {

class LogindDbusSession final : public QObject, public LogindSession {
    Q_OBJECT

public:
    // Makes a connection to the bus under the given connection name (Qt's name for it in this process); the
    // watcher disconnects it when it goes.
    using BusConnector = std::function<QDBusConnection(const QString& name)>;
    static QDBusConnection systemBus(const QString& name);

    explicit LogindDbusSession(BusConnector connector = systemBus);
    ~LogindDbusSession() override;

    bool isLocked() const override { return flags().locked.load(std::memory_order_acquire); }
    rx::Observable<PowerEvent> powerEvents() override { return power_.asObservable(); }
    rx::Observable<bool> lockChanges() override { return lockChanges_.asObservable(); }
    rx::Observable<bool> activeChanges() override { return activeChanges_.asObservable(); }

    // The session object followed; empty until it is known.
    QString sessionPath() const { return sessionPath_; }

private slots:
    void onPrepareForSleep(bool start);
    void onPropertiesChanged(const QString& interfaceName, const QVariantMap& changed, const QStringList& invalidated);

private:
    void findSession();
    void findSessionByPid();
    void followSession(const QString& path);
    void readProperty(const QString& name);
    void setProperty(const QString& name, const QVariant& value);
    void setLocked(bool locked);
    void setActive(bool active);
    void warnOnce(const QString& what, const QString& detail);

    QString busName_;
    QDBusConnection bus_;
    QString sessionPath_;
    bool warned_ = false;
    rx::PublishSubject<PowerEvent> power_;
    rx::PublishSubject<bool> lockChanges_;
    rx::PublishSubject<bool> activeChanges_;
};

}  // namespace vandrel
