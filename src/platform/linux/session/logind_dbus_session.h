// LogindSession over D-Bus: org.freedesktop.login1 on the system bus. The session is the caller's own
// ("auto"), else the one of our process id. LockedHint and Active are read once and then followed through the
// session's PropertiesChanged signal, so isLocked() and isActive() never wait on the bus; PrepareForSleep gives
// the power events. Without a system bus or logind the session reads as unlocked and active and never sleeps,
// with one warning in the log.
//
// When the bus goes away (its daemon ends) or logind leaves a bus that stays, the session reads as it does
// without logind (unlocked and active, each change published as any other) with one warning per loss. Every
// retry period it then connects anew when the bus was lost, finds the session again and reads its state, and
// says so once in the log when it follows the session again.
//
// Make it on the main thread (the thread of the Qt event loop): the bus replies and signals arrive there, and
// the retries must run there too.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <map>
#include <memory>

#include "platform/linux/session/logind_session.h"
#include "rx/scheduler.h"
#include "rx/serial_disposable.h"
#include "rx/subjects.h"

class QDBusPendingCallWatcher;

namespace vandrel {

class LogindDbusSession final : public QObject, public LogindSession {
    Q_OBJECT

public:
    // Makes a connection to the bus under the given connection name (Qt's name for it in this process); each
    // connection the watcher makes has a fresh name, and it disconnects the names it is done with.
    using BusConnector = std::function<QDBusConnection(const QString& name)>;
    static QDBusConnection systemBus(const QString& name);

    static constexpr rx::Duration kRetryPeriod = std::chrono::seconds(5);

    // retries: where the retries after a loss wait their period; it must run its work on the main thread.
    // Null: the main queue.
    explicit LogindDbusSession(BusConnector connector = systemBus, rx::SchedulerPtr retries = nullptr);
    ~LogindDbusSession() override;

    bool isLocked() const override { return flags().locked.load(std::memory_order_acquire); }
    rx::Observable<PowerEvent> powerEvents() override { return power_.asObservable(); }
    rx::Observable<bool> lockChanges() override { return lockChanges_.asObservable(); }
    rx::Observable<bool> activeChanges() override { return activeChanges_.asObservable(); }

    // The session object followed; empty until it is known and while the bus or logind is gone.
    QString sessionPath() const { return sessionPath_; }

private slots:
    void onPrepareForSleep(bool start);
    void onPropertiesChanged(const QString& interfaceName, const QVariantMap& changed, const QStringList& invalidated);
    void onBusDisconnected();

private:
    bool connectBus();
    void findSession();
    void findSessionByPid();
    void followSession(const QString& path);
    void stopFollowing();
    void readProperty(const QString& name);
    // Sends the call; onReply gets its reply unless the bus or logind was lost since. A reply that tells of a
    // dropped connection is that loss.
    void call(const QDBusMessage& message, std::function<void(QDBusPendingCallWatcher&)> onReply);
    void setProperty(const QString& name, const QVariant& value);
    void setLocked(bool locked);
    void setActive(bool active);
    void lose(const QString& what, const QString& detail);
    void retryLater();
    void retry();
    void warn(const QString& what, const QString& detail);
    void warnOnce(const QString& what, const QString& detail);

    const BusConnector connectBus_;
    const rx::SchedulerPtr retries_;
    QString busName_;
    QDBusConnection bus_;
    QDBusServiceWatcher logindWatcher_;
    QString sessionPath_;
    bool warned_ = false;
    // Between a loss and following the session again.
    bool lost_ = false;
    // Counts the losses: a reply to a call made before the last one is of no use.
    unsigned generation_ = 0;
    // Per property, the change signals taken: an answer to a read asked before the latest is out of date.
    std::map<QString, unsigned> changes_;
    rx::SerialDisposable retry_;
    rx::PublishSubject<PowerEvent> power_;
    rx::PublishSubject<bool> lockChanges_;
    rx::PublishSubject<bool> activeChanges_;
};

}  // namespace vandrel
