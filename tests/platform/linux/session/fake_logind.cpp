// A login manager standing in for logind on the bus at argv[1]: one session, active and unlocked. SIGUSR1 makes
// the session inactive (another session took the seat), SIGUSR2 active again, each with the PropertiesChanged
// signal logind sends. Prints "ready" once its name is on the bus.
#include <signal.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QTimer>
#include <QVariantMap>
#include <cstdio>

namespace {

const QString kSessionPath = QStringLiteral("/org/freedesktop/login1/session/_3");

volatile sig_atomic_t wantedActive = 1;

class Session : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(bool LockedHint READ lockedHint)
    Q_PROPERTY(bool Active READ isActive)

public:
    bool lockedHint() const { return false; }
    bool isActive() const { return active; }
    bool active = true;
};

class Manager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public slots:
    QDBusObjectPath GetSession(const QString&) { return QDBusObjectPath(kSessionPath); }
    QDBusObjectPath GetSessionByPID(uint) { return QDBusObjectPath(kSessionPath); }
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    auto bus = QDBusConnection::connectToBus(QString::fromLocal8Bit(argv[1]), QStringLiteral("logind"));
    Manager manager;
    Session session;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, QDBusConnection::ExportAllSlots) ||
        !bus.registerObject(kSessionPath, &session, QDBusConnection::ExportAllProperties) ||
        !bus.registerService(QStringLiteral("org.freedesktop.login1")))
        return 1;
    ::signal(SIGUSR1, [](int) { wantedActive = 0; });
    ::signal(SIGUSR2, [](int) { wantedActive = 1; });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (session.active == (wantedActive != 0)) return;
        session.active = wantedActive != 0;
        auto signal = QDBusMessage::createSignal(kSessionPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                 QStringLiteral("PropertiesChanged"));
        signal << QStringLiteral("org.freedesktop.login1.Session")
               << QVariantMap{{QStringLiteral("Active"), session.active}} << QStringList{};
        bus.send(signal);
        std::printf(session.active ? "active\n" : "inactive\n");
        std::fflush(stdout);
    });
    poll.start(10);
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "fake_logind.moc"
